#pragma once
// The eighteen colour schemes of the grids, held as data. A scheme gives a
// style (background, text colour, font) to each of eleven elements of a grid.
#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <array>

enum class GridElement {
    Content,
    ContentEven,
    ContentOdd,
    Inactive,
    Selection,
    Footer,
    Group,
    GroupByBox,
    Header,
    Indicator,
    Preview,
};
constexpr int kGridElementCount = 11;

struct GridStyle {
    QColor background;
    QColor text;        // invalid QColor: the grid's ordinary text colour ("default")
    QString fontFamily; // as the scheme names it ("Microsoft Sans Serif")
    int fontPixelSize = 0;
    bool bold = false;
    bool italic = false;
    // The font to draw with: the named family (the platform substitutes a
    // similar face where it is missing) at the pixel size.
    QFont font() const;
};

struct GridStyleSheet {
    QString name;    // identifier kept in user settings, "GridTableViewStyleSheetSlate"
    QString caption; // shown in the options dialog, "Slate"
    std::array<GridStyle, kGridElementCount> styles;
    const GridStyle& style(GridElement e) const { return styles[static_cast<int>(e)]; }
};

class GridStyleRepository {
public:
    GridStyleRepository();
    int count() const { return int(sheets_.size()); }
    const GridStyleSheet& sheet(int i) const { return sheets_.at(i); }
    // -1 when no sheet has that name (compared exactly).
    int indexOf(const QString& name) const;
    const GridStyleSheet* byName(const QString& name) const;
    // "GridTableViewStyleSheetSlate": where grids start.
    const GridStyleSheet& slate() const;

private:
    QList<GridStyleSheet> sheets_;
};
