#pragma once
// The data grid: a read-only table view with grouping, column filters,
// sorting, footer sums, a preview line under each row, a master/detail level,
// colour schemes and a savable column layout. It draws everything itself and
// only lays out and paints the rows on screen, so its cost per screenful does
// not grow with the number of rows.
//
// Binding: give it a flat source model whose columns are named (GridRole::
// FieldName or the header text), the key field, the designed columns and,
// where wanted, a preview field and a detail provider. A re-read of the data
// (model reset or any change) keeps the focused row, expanded rows and groups.
#include "data/StyleRepository.h"
#include "widgets/GridColumnChooser.h"
#include "widgets/GridLayoutIO.h"
#include "widgets/GridTypes.h"

#include <QAbstractItemModel>
#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <exception>
#include <optional>
#include <vector>

class GridProxyModel;
class GridGroupModel;

class QCheckBox;
class QLabel;
class QToolButton;

class DataGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // ---- binding ----
    void setSourceModel(QAbstractItemModel* model); // not owned
    QAbstractItemModel* sourceModel() const { return source_; }
    void setKeyField(const QString& field);
    QString keyField() const { return keyField_; }
    // The designed columns in display order; resets the user's layout.
    void setColumns(const QList<GridColumn>& columns);
    // Current columns (captions, widths, visibility as the user left them) in
    // designed order.
    QList<GridColumn> columns() const { return columns_; }
    // Fields in display order, hidden ones included.
    QStringList columnOrder() const;
    void setColumnVisible(const QString& field, bool visible);
    bool isColumnVisible(const QString& field) const;
    void setColumnWidth(const QString& field, int width);
    int columnWidth(const QString& field) const;
    // Moves a column to a display position (counted among all columns).
    void moveColumn(const QString& field, int position);
    QStringList hiddenFields() const;

    // ---- preview line ----
    void setPreviewField(const QString& field, int maxLines = 8);
    void setPreviewVisible(bool visible);
    bool isPreviewVisible() const { return previewVisible_; }

    // ---- master/detail ----
    // Captions of the detail columns ("Action", "Modified") and the loader of
    // one master row's detail rows, called when that row is expanded and again
    // after each re-read while it stays expanded.
    void setDetailProvider(const QStringList& captions, GridDetailProvider provider);
    void setRowExpanded(const QVariant& key, bool expanded);
    bool isRowExpanded(const QVariant& key) const;
    // Detail rows as loaded for an expanded row (empty when collapsed).
    QList<GridDetailRow> detailRows(const QVariant& key) const;

    // ---- colour scheme ----
    void setColorScheme(const GridStyleSheet& sheet);
    const GridStyleSheet& colorScheme() const { return scheme_; }

    // ---- grouping ----
    void setGroupPanelVisible(bool visible);
    bool isGroupPanelVisible() const { return groupPanelVisible_; }
    void setGroupFields(const QStringList& fields);
    QStringList groupFields() const;
    void setGroupExpanded(const QVariantList& path, bool expanded);
    bool isGroupExpanded(const QVariantList& path) const;
    void expandAllGroups();

    // ---- sorting ----
    void setSortOrder(const QList<GridSortKey>& keys);
    QList<GridSortKey> sortOrder() const { return sortKeys_; }

    // ---- filtering ----
    void setFilter(const GridFilter& filter);
    GridFilter filter() const;
    void clearFilter();
    void setFilterEnabled(bool enabled);
    bool isFilterEnabled() const;
    // The filter in words as the filter panel shows it.
    QString filterText() const;
    // Keys of the rows that pass the filter (all rows when it is off or empty).
    QVariantList filteredKeys() const;
    // Distinct display values of a field over all rows, sorted, at most 1000.
    QStringList distinctValues(const QString& field) const;
    static constexpr int kMaxFilterValues = 1000;
    static constexpr int kFilterRowsVisible = 12;

    // ---- footer ----
    // Sum of a field over the rows that pass the filter.
    double footerSum(const QString& field) const;
    double groupFooterSum(const QVariantList& path, const QString& field) const;

    // ---- focus ----
    QVariant focusedKey() const; // invalid when no data row has the focus
    bool setFocusedKey(const QVariant& key);
    // Value of a field in the focused row.
    QVariant focusedValue(const QString& field) const;

    // ---- hit testing (viewport coordinates) ----
    GridHit hitTest(const QPoint& pos) const;
    // Where a data row's cell, preview or expand button lies (viewport
    // coordinates); empty when the row is not on screen.
    QRect cellRect(const QVariant& key, const QString& field) const;
    QRect previewRect(const QVariant& key) const;
    QRect expandButtonRect(const QVariant& key) const;
    QRect headerRect(const QString& field) const;
    QRect footerRect(const QString& field) const;
    QRect detailRect(const QVariant& key, int detailIndex) const;
    QRect groupRowRect(const QVariantList& path) const;

    // ---- layout ----
    QString saveLayout() const;
    // False (and nothing changed) for input that is not a readable layout.
    // Columns the text names but the grid lacks are skipped; columns it does
    // not name keep their designed settings after the named ones.
    bool restoreLayout(const QString& text);
    QList<GridColumnState> columnStates() const;

    // ---- rows as shown ----
    QList<GridShownColumn> shownColumns() const;
    QList<GridShownRow> shownRows() const;
    // A value as a column shows it ("" for icon columns).
    QString displayText(const QString& field, const QVariant& value) const;

    // ---- column chooser ----
    void showColumnChooser();
    GridColumnChooser* columnChooser() const { return chooser_; }

    // Rows painted by the last paint (for checks and benchmarks).
    int paintedRowCount() const { return paintedRows_; }

signals:
    void focusedKeyChanged(const QVariant& key);
    void editRequested(const QVariant& key);
    void contextMenuRequested(const QPoint& globalPos, const GridHit& hit);
    void filterChanged();
    // Order, widths, visibility, captions, sorting or grouping changed.
    void columnsChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class GridColumnChooser;
    enum class RowKind : unsigned char { Group, Data, GroupFooter, Detail };
    struct VisualRow {
        RowKind kind;
        int level;         // grouping depth
        int flatRow;       // data rows and details: row of the filtered model
        int detail;        // detail rows: index in the master's detail list
        int dataIndex;     // data rows: index among data rows (even/odd)
        QModelIndex group; // group rows and footers: index in the group model
        int y;             // top, in content coordinates
        int height;
        int previewHeight; // data and detail rows: part of height under the cells
        // Who the row is across re-reads: data and detail rows their key,
        // group rows and group footers their group's path.
        QString id;
    };
    enum class DragKind { None, Resize, HeaderColumn, GroupChip };
    static constexpr int kIndicatorWidth = 12;
    static constexpr int kIndent = 16;
    static constexpr int kFilterButton = 12;
    static constexpr int kPreviewRightMargin = 3;
    static constexpr int kDetailPreviewIndent = 5;
    static constexpr int kResizeGrip = 4;

    // plumbing (DataGrid.cpp)
    int columnIndex(const QString& field) const;
    QList<int> visibleOrder() const;
    int sourceColumn(const QString& field) const;
    QVariant flatValue(int flatRow, const QString& field) const;
    QVariant keyOf(int flatRow) const;
    static QString keyText(const QVariant& key);
    void applyGroupingAndSort();
    void updateSumColumns();
    void rebuildRows();
    void rebuildOnce(std::exception_ptr& detailError);
    // After the rows were built anew from `old`, whose row `oldFocus` had the
    // focus: the focus finds its row again (or its neighbour), the view the
    // row it began with. Neither scrolls to the focus nor opens groups.
    void restoreFocus(const std::vector<VisualRow>& old, int oldFocus);
    void restoreScroll(const std::vector<VisualRow>& old, int oldScroll);
    void announceFocus();
    // The new row that is `like`, or -1.
    int findRow(const VisualRow& like) const;
    int neighbourOf(const std::vector<VisualRow>& old, int index) const;
    // The collapsed group row that holds the data row of `key`, or -1.
    int closedGroupHolding(const QVariant& key) const;
    void updateGeometries();
    void updateFilterPanel();
    void setFocusRow(int visualRow, bool ensureVisible = true);
    void ensureRowVisible(int visualRow);
    int visualRowOfKey(const QVariant& key) const;
    int visualRowOfGroup(const QVariantList& path) const;
    int visualRowAtY(int contentY) const;
    int measurePreview(const QString& text, int width, int maxLines, const QFont& font) const;
    void applyColumnStates(const QList<GridColumnState>& states);
    void emitColumnsChanged();

    // geometry (DataGridPaint.cpp)
    int groupPanelHeight() const;
    int headerHeight() const;
    int footerHeight() const;
    int rowLineHeight() const;
    int indentWidth() const;
    int leftAreaWidth() const;
    int columnsWidth() const;
    int columnX(int column) const; // viewport x of a designed column
    int bodyTop() const;
    int bodyBottom() const;
    QRect expandButtonRectFor(const VisualRow& row) const;
    QRect rowRect(int visualRow) const; // viewport coordinates
    QRect filterButtonRect(int column) const;
    QList<QRect> groupChipRects() const;
    QFont styleFont(GridElement e) const;
    QColor styleBackground(GridElement e) const;
    QColor styleText(GridElement e) const;
    void paintGroupPanel(QPainter& p) const;
    void paintHeader(QPainter& p) const;
    void paintRows(QPainter& p);
    void paintFooter(QPainter& p) const;
    void paintDataRow(QPainter& p, const VisualRow& row, int visual, const QRect& r) const;
    void paintGroupRow(QPainter& p, const VisualRow& row, int visual, const QRect& r) const;
    void paintGroupFooter(QPainter& p, const VisualRow& row, const QRect& r) const;
    void paintDetailRow(QPainter& p, const VisualRow& row, const QRect& r) const;
    void paintExpandButton(QPainter& p, const QRect& r, bool expanded) const;
    void paintDragFeedback(QPainter& p) const;
    QString groupText(const VisualRow& row) const;

    // input (DataGridInput.cpp)
    int headerColumnAt(int x) const;
    int headerDropPosition(int x) const;
    int groupDropPosition(int x) const;
    void toggleExpanded(int visualRow);
    void sortClick(const QString& field, bool add);
    void openFilterPopup(int column);
    void finishColumnDrag(const QPoint& pos, const QPoint& globalPos);
    void finishChipDrag(const QPoint& pos);
    void dropColumnFromChooser(const QString& field, const QPoint& pos);
    void setColumnCondition(const QString& field, const std::optional<GridCondition>& c);
    void moveFocus(int delta);

    QPointer<QAbstractItemModel> source_;
    GridProxyModel* proxy_;      // child
    GridGroupModel* groupModel_; // child
    QString keyField_;
    QList<GridColumn> designed_;
    QList<GridColumn> columns_; // current state, designed order
    QList<int> order_;          // display order of indexes into columns_
    QList<GridSortKey> sortKeys_;
    QList<GridSortKey> groups_; // grouped fields, outermost first
    GridStyleSheet scheme_;
    bool groupPanelVisible_ = false;
    QString previewField_;
    int previewMaxLines_ = 8;
    bool previewVisible_ = false;
    QStringList detailCaptions_;
    GridDetailProvider detailProvider_;

    std::vector<VisualRow> rows_;
    QHash<QString, int> rowOfKey_;              // key text -> visual data row
    QHash<QString, int> rowOfGroup_;            // group path key -> visual group row
    mutable QHash<QString, int> columnOfField_; // field -> column of the filtered model
    int contentHeight_ = 0;
    QSet<QString> expandedKeys_;
    QSet<QString> expandedGroups_;
    QHash<QString, QList<GridDetailRow>> details_;
    QHash<QString, double> footerSums_;

    QVariant wantedKey_;                     // the focused row's key, kept while rows come and go
    std::optional<QVariantList> focusGroup_; // set while a group row has the focus
    int focusRow_ = -1;                      // visual row
    QString focusField_;
    QVariant lastEmittedKey_;
    bool groupingChanging_ = false; // a new grouping is being applied
    bool revealWanted_ = false;     // the rebuild opens the groups around wantedKey_
    bool rebuilding_ = false;
    // The rows before the last rebuild, while it runs.
    std::vector<VisualRow> previousRows_;
    // The rows before a re-read emptied the grid, until it is filled again.
    std::vector<VisualRow> heldRows_;
    int heldFocus_ = -1;
    int heldScroll_ = 0;
    // Several model changes made by one call rebuild the rows once, at its end.
    int batch_ = 0;
    bool rebuildPending_ = false;
    bool columnsChangedPending_ = false;
    bool filterChangedPending_ = false;
    // Rebuilds the rows, then tells listeners, who then see them complete.
    void endBatch();
    void emitFilterChanged();
    struct Batch {
        explicit Batch(DataGrid* g)
            : grid(g) {
            ++grid->batch_;
        }
        ~Batch() {
            if (--grid->batch_ == 0)
                grid->endBatch();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        DataGrid* grid;
    };

    DragKind drag_ = DragKind::None;
    int dragColumn_ = -1; // column being resized or dragged, chip index for chips
    QPoint pressPos_;
    QPoint dragPos_;
    bool dragMoved_ = false;
    int resizeStartWidth_ = 0;

    QWidget* filterPanel_ = nullptr;
    QCheckBox* filterCheck_ = nullptr;
    QLabel* filterLabel_ = nullptr;
    QToolButton* filterClear_ = nullptr;
    QPointer<GridColumnChooser> chooser_;
    int paintedRows_ = 0;
};
