#pragma once
// Plain types shared by the data grid, its models and its callers.
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QPainter;

// Item roles the grid reads from (and its models give) beyond Qt's own.
namespace GridRole {
enum : int {
    FieldName = Qt::UserRole + 100, // horizontal header: the column's field name
    IsGroup,                        // group model: true on group rows
    GroupField,                     // group model: field a group row groups by
    GroupValue,                     // group model: the value shared by the group
    GroupCount,                     // group model: number of data rows below the group
    SourceRow,                      // group model: row of the flat (filtered) model, -1 on groups
};
}

enum class GridDisplayKind { Text, Number, Icon };

// Paints the picture of an icon column for one value into rect.
using GridIconPainter =
    std::function<void(QPainter* painter, const QRect& rect, const QVariant& value)>;

// One column of the grid as designed; the user's changes (order, width,
// visibility, caption, sorting, grouping) are kept by the grid itself.
struct GridColumn {
    QString field;   // field name in the source model
    QString caption; // header text
    int width = 80;  // pixels
    GridDisplayKind kind = GridDisplayKind::Text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter; // cell text
    Qt::Alignment headerAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool visible = true;
    bool footerSum = false;      // sum shown in the footer and group footers
    GridIconPainter iconPainter; // for GridDisplayKind::Icon
};

struct GridSortKey {
    QString field;
    Qt::SortOrder order = Qt::AscendingOrder;
    bool operator==(const GridSortKey&) const = default;
};

struct GridCondition {
    enum class Op { Equals, NotEquals, Contains };
    QString field;
    Op op = Op::Equals;
    QVariant value;
    bool operator==(const GridCondition&) const = default;
};

// The grid's filter: every condition must hold (AND). An empty filter lets
// every row through.
struct GridFilter {
    QList<GridCondition> conditions;
    bool isEmpty() const { return conditions.isEmpty(); }
    bool operator==(const GridFilter&) const = default;
};

// One row of the detail level (the history of a task): its column values and
// the full-width text shown under it.
struct GridDetailRow {
    QVariantList values;
    QString preview;
};
// Loads the detail rows of one master row, in the order they are to be shown.
using GridDetailProvider = std::function<QList<GridDetailRow>(const QVariant& key)>;

enum class GridRegion {
    None,         // empty space below or right of the rows
    Cell,         // data cell of a row
    Preview,      // preview line under a row
    Indicator,    // the indicator column left of a row
    ExpandButton, // expand/collapse button of a row or a group
    Header,       // column header
    HeaderFilterButton,
    Footer,
    GroupRow,
    GroupFooter,
    GroupPanel,
    DetailRow, // a detail row or its preview
};

struct GridHit {
    GridRegion region = GridRegion::None;
    QVariant key;           // key of the data row (also of the master row of a detail row)
    QString field;          // column under the point (cells, headers, footers)
    QVariantList groupPath; // group values from the top level (group rows and footers)
    int detailIndex = -1;   // index among the master row's detail rows
};

struct GridShownColumn {
    QString field;
    QString caption;
    bool operator==(const GridShownColumn&) const = default;
};

// A row as the grid shows it: a group row (groupText only) or a data row
// with the display texts and values of the shown columns.
struct GridShownRow {
    bool isGroup = false;
    int level = 0; // grouping depth
    QString groupText;
    QVariant key;
    QStringList texts;
    QVariantList values;
};
