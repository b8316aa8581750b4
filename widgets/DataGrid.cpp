#include "widgets/DataGrid.h"

#include "data/Dataset.h"
#include "widgets/ErrorHandling.h"
#include "widgets/GridColumnChooser.h"
#include "widgets/GridGroupModel.h"
#include "widgets/GridProxyModel.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

DataGrid::DataGrid(QWidget* parent)
    : QAbstractScrollArea(parent)
    , proxy_(new GridProxyModel(this))
    , groupModel_(new GridGroupModel(this)) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setMouseTracking(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    groupModel_->setSourceModel(proxy_);
    // Every re-read or filter/sort change ends in a rebuilt group tree.
    connect(groupModel_, &QAbstractItemModel::modelReset, this, &DataGrid::rebuildRows);

    // Filter panel under the rows: the active filter in words, a switch and a
    // button that clears it.
    filterPanel_ = new QWidget(this);
    auto* lay = new QHBoxLayout(filterPanel_);
    lay->setContentsMargins(4, 2, 4, 2);
    filterClear_ = new QToolButton(filterPanel_);
    filterClear_->setText(QStringLiteral("\u00d7"));
    filterClear_->setToolTip(tr("Clear the filter"));
    filterClear_->setAutoRaise(true);
    filterCheck_ = new QCheckBox(filterPanel_);
    filterCheck_->setChecked(true);
    filterCheck_->setToolTip(tr("Switch the filter on or off"));
    filterLabel_ = new QLabel(filterPanel_);
    // The filter names values out of the rows: shown as typed, never as markup.
    filterLabel_->setTextFormat(Qt::PlainText);
    lay->addWidget(filterClear_);
    lay->addWidget(filterCheck_);
    lay->addWidget(filterLabel_, 1);
    connect(filterClear_, &QToolButton::clicked, this, &DataGrid::clearFilter);
    connect(filterCheck_, &QCheckBox::toggled, this, &DataGrid::setFilterEnabled);
    filterPanel_->hide();

    // A neutral scheme from the palette until the owner sets one.
    for (int i = 0; i < kGridElementCount; ++i) {
        auto& s = scheme_.styles[size_t(i)];
        s.background = palette().color(QPalette::Base);
        s.fontFamily = font().family();
        s.fontPixelSize = QFontInfo(font()).pixelSize();
    }
    auto set = [this](GridElement e, QPalette::ColorRole bg, QPalette::ColorRole fg) {
        scheme_.styles[size_t(e)].background = palette().color(bg);
        scheme_.styles[size_t(e)].text = palette().color(fg);
    };
    set(GridElement::Header, QPalette::Button, QPalette::ButtonText);
    set(GridElement::Footer, QPalette::Button, QPalette::ButtonText);
    set(GridElement::Indicator, QPalette::Button, QPalette::ButtonText);
    set(GridElement::GroupByBox, QPalette::Dark, QPalette::Light);
    set(GridElement::Group, QPalette::Window, QPalette::WindowText);
    set(GridElement::Selection, QPalette::Highlight, QPalette::HighlightedText);
    set(GridElement::Inactive, QPalette::Mid, QPalette::HighlightedText);
    set(GridElement::ContentOdd, QPalette::AlternateBase, QPalette::Text);
    set(GridElement::ContentEven, QPalette::Base, QPalette::Text);
}

DataGrid::~DataGrid() {
    // Children die after this part of the object: none may call back into it.
    groupModel_->disconnect(this);
    proxy_->disconnect(this);
    filterCheck_->disconnect(this);
    filterClear_->disconnect(this);
}

// ---------------------------------------------------------------- binding

void DataGrid::setSourceModel(QAbstractItemModel* model) {
    const Batch batch(this);
    source_ = model;
    columnOfField_.clear();
    proxy_->setSourceModel(model);
    updateSumColumns();
    applyGroupingAndSort();
}

void DataGrid::setKeyField(const QString& field) {
    keyField_ = field;
    rebuildRows();
}

void DataGrid::setColumns(const QList<GridColumn>& columns) {
    const Batch batch(this);
    designed_ = columns;
    columns_ = columns;
    order_.clear();
    for (int i = 0; i < columns_.size(); ++i)
        order_ << i;
    groups_.clear();
    updateSumColumns();
    applyGroupingAndSort();
    emitColumnsChanged();
}

QStringList DataGrid::columnOrder() const {
    QStringList out;
    for (int i : order_)
        out << columns_.at(i).field;
    return out;
}

int DataGrid::columnIndex(const QString& field) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_.at(i).field == field)
            return i;
    return -1;
}

QList<int> DataGrid::visibleOrder() const {
    QList<int> out;
    for (int i : order_)
        if (columns_.at(i).visible)
            out << i;
    return out;
}

void DataGrid::setColumnVisible(const QString& field, bool visible) {
    const int c = columnIndex(field);
    if (c < 0 || columns_[c].visible == visible)
        return;
    // The grid always keeps one column to show.
    if (!visible && visibleOrder().size() <= 1)
        return;
    columns_[c].visible = visible;
    rebuildRows();
    emitColumnsChanged();
}

bool DataGrid::isColumnVisible(const QString& field) const {
    const int c = columnIndex(field);
    return c >= 0 && columns_.at(c).visible;
}

void DataGrid::setColumnWidth(const QString& field, int width) {
    const int c = columnIndex(field);
    if (c < 0)
        return;
    columns_[c].width = std::clamp(width, 8, 10000);
    rebuildRows();
    emitColumnsChanged();
}

int DataGrid::columnWidth(const QString& field) const {
    const int c = columnIndex(field);
    return c < 0 ? 0 : columns_.at(c).width;
}

void DataGrid::moveColumn(const QString& field, int position) {
    const int c = columnIndex(field);
    if (c < 0)
        return;
    order_.removeOne(c);
    order_.insert(std::clamp(position, 0, int(order_.size())), c);
    viewport()->update();
    emitColumnsChanged();
}

QStringList DataGrid::hiddenFields() const {
    QStringList out;
    for (int i : order_)
        if (!columns_.at(i).visible)
            out << columns_.at(i).field;
    return out;
}

void DataGrid::setPreviewField(const QString& field, int maxLines) {
    previewField_ = field;
    previewMaxLines_ = maxLines;
    rebuildRows();
}

void DataGrid::setPreviewVisible(bool visible) {
    if (previewVisible_ == visible)
        return;
    previewVisible_ = visible;
    rebuildRows();
}

void DataGrid::setDetailProvider(const QStringList& captions, GridDetailProvider provider) {
    detailCaptions_ = captions;
    detailProvider_ = std::move(provider);
    details_.clear();
    rebuildRows();
}

void DataGrid::setRowExpanded(const QVariant& key, bool expanded) {
    const QString k = keyText(key);
    if (!detailProvider_ || expandedKeys_.contains(k) == expanded)
        return;
    if (expanded) {
        expandedKeys_.insert(k);
    } else {
        expandedKeys_.remove(k);
        details_.remove(k);
    }
    rebuildRows();
}

bool DataGrid::isRowExpanded(const QVariant& key) const {
    return expandedKeys_.contains(keyText(key));
}

QList<GridDetailRow> DataGrid::detailRows(const QVariant& key) const {
    return details_.value(keyText(key));
}

void DataGrid::setColorScheme(const GridStyleSheet& sheet) {
    scheme_ = sheet;
    rebuildRows(); // fonts change the row heights
}

// ---------------------------------------------------------------- grouping and sorting

void DataGrid::setGroupPanelVisible(bool visible) {
    groupPanelVisible_ = visible;
    updateGeometries();
    viewport()->update();
}

void DataGrid::setGroupFields(const QStringList& fields) {
    const Batch batch(this);
    QList<GridSortKey> levels;
    for (const auto& f : fields) {
        if (columnIndex(f) < 0)
            continue;
        auto order = Qt::AscendingOrder;
        for (const auto& k : sortKeys_)
            if (k.field == f)
                order = k.order;
        levels.append({f, order});
    }
    if (levels == groups_)
        return;
    groups_ = levels;
    groupingChanging_ = true; // until the rows are rebuilt
    applyGroupingAndSort();
    emitColumnsChanged();
}

QStringList DataGrid::groupFields() const {
    QStringList out;
    for (const auto& g : groups_)
        out << g.field;
    return out;
}

void DataGrid::setGroupExpanded(const QVariantList& path, bool expanded) {
    const QString k = GridGroupModel::pathKey(path);
    if (expanded)
        expandedGroups_.insert(k);
    else
        expandedGroups_.remove(k);
    rebuildRows();
}

bool DataGrid::isGroupExpanded(const QVariantList& path) const {
    return expandedGroups_.contains(GridGroupModel::pathKey(path));
}

void DataGrid::expandAllGroups() {
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int r = 0; r < groupModel_->rowCount(parent); ++r) {
            const QModelIndex i = groupModel_->index(r, 0, parent);
            if (!groupModel_->isGroup(i))
                return;
            expandedGroups_.insert(GridGroupModel::pathKey(groupModel_->groupPath(i)));
            walk(i);
        }
    };
    walk({});
    rebuildRows();
}

void DataGrid::setSortOrder(const QList<GridSortKey>& keys) {
    const Batch batch(this);
    sortKeys_.clear();
    for (const auto& k : keys)
        if (columnIndex(k.field) >= 0)
            sortKeys_ << k;
    applyGroupingAndSort();
    emitColumnsChanged();
}

void DataGrid::applyGroupingAndSort() {
    // Each ends in one rebuilt tree; the rows follow through modelReset. What
    // did not change is left alone: a new grouping must not sort again.
    if (proxy_->sortKeys() != sortKeys_)
        proxy_->setSortKeys(sortKeys_);
    if (groupModel_->grouping() != groups_)
        groupModel_->setGrouping(groups_);
}

void DataGrid::updateSumColumns() {
    QList<int> cols;
    for (const auto& c : columns_)
        if (c.footerSum) {
            const int sc = gridFieldColumn(proxy_, c.field);
            if (sc >= 0)
                cols << sc;
        }
    groupModel_->setSumColumns(cols);
}

// ---------------------------------------------------------------- filtering

void DataGrid::setFilter(const GridFilter& filter) {
    const Batch batch(this);
    proxy_->setGridFilter(filter);
    updateFilterPanel();
    emitFilterChanged();
}

GridFilter DataGrid::filter() const {
    return proxy_->gridFilter();
}

void DataGrid::clearFilter() {
    setFilter({});
}

void DataGrid::setFilterEnabled(bool enabled) {
    const Batch batch(this);
    if (proxy_->gridFilterEnabled() == enabled)
        return;
    proxy_->setGridFilterEnabled(enabled);
    updateFilterPanel();
    emitFilterChanged();
}

bool DataGrid::isFilterEnabled() const {
    return proxy_->gridFilterEnabled();
}

QString DataGrid::filterText() const {
    return gridDescribeFilter(proxy_->gridFilter(), [this](const QString& f) {
        const int c = columnIndex(f);
        return c < 0 ? f : columns_.at(c).caption;
    });
}

QStringList DataGrid::distinctValues(const QString& field) const {
    QStringList out;
    const int sc = gridFieldColumn(source_, field);
    if (sc < 0)
        return out;
    QSet<QString> seen;
    for (int r = 0; r < source_->rowCount() && out.size() < kMaxFilterValues; ++r) {
        const QVariant v = source_->data(source_->index(r, sc));
        const QString t = v.isNull() ? QString() : v.toString();
        if (!seen.contains(t)) {
            seen.insert(t);
            out << t;
        }
    }
    const QCollator& coll = proxy_->collator();
    std::sort(out.begin(), out.end(),
              [&](const QString& a, const QString& b) { return coll.compare(a, b) < 0; });
    return out;
}

void DataGrid::updateFilterPanel() {
    const bool show = !proxy_->gridFilter().isEmpty();
    filterLabel_->setText(filterText());
    {
        const QSignalBlocker block(filterCheck_);
        filterCheck_->setChecked(proxy_->gridFilterEnabled());
    }
    filterPanel_->setVisible(show);
    updateGeometries();
}

// ---------------------------------------------------------------- values

int DataGrid::sourceColumn(const QString& field) const {
    // Looked up once per field until the rows are rebuilt: painting asks per cell.
    auto it = columnOfField_.constFind(field);
    if (it == columnOfField_.constEnd())
        it = columnOfField_.insert(field, gridFieldColumn(proxy_, field));
    return *it;
}

QVariant DataGrid::flatValue(int flatRow, const QString& field) const {
    const int c = sourceColumn(field);
    if (c < 0 || flatRow < 0)
        return {};
    return proxy_->data(proxy_->index(flatRow, c));
}

QVariant DataGrid::keyOf(int flatRow) const {
    return flatValue(flatRow, keyField_);
}

QString DataGrid::keyText(const QVariant& key) {
    return key.isNull() ? QString() : key.toString();
}

QString DataGrid::displayText(const QString& field, const QVariant& value) const {
    const int c = columnIndex(field);
    const auto kind = c < 0 ? GridDisplayKind::Text : columns_.at(c).kind;
    if (kind == GridDisplayKind::Icon || value.isNull() || !value.isValid())
        return {};
    // Numbers read as the data layer writes them (history lines, the editor):
    // general form, the user's decimal separator, no digit grouping.
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return DbField::textOf(FieldKind::Float, value.toDouble());
    case QMetaType::QDateTime:
        return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
    case QMetaType::QDate:
        return QLocale().toString(value.toDate(), QLocale::ShortFormat);
    default:
        if (kind == GridDisplayKind::Number && value.canConvert<double>())
            return DbField::textOf(FieldKind::Float, value.toDouble());
        return value.toString();
    }
}

QVariantList DataGrid::filteredKeys() const {
    QVariantList keys;
    keys.reserve(proxy_->rowCount());
    for (int r = 0; r < proxy_->rowCount(); ++r)
        keys << keyOf(r);
    return keys;
}

double DataGrid::footerSum(const QString& field) const {
    return footerSums_.value(field, 0.0);
}

double DataGrid::groupFooterSum(const QVariantList& path, const QString& field) const {
    const int v = visualRowOfGroup(path);
    if (v < 0)
        return 0.0;
    return groupModel_->groupSum(rows_[size_t(v)].group, sourceColumn(field));
}

// ---------------------------------------------------------------- rows

int DataGrid::measurePreview(const QString& text, int width, int maxLines,
                             const QFont& font) const {
    if (text.isEmpty())
        return 0;
    const QFontMetrics fm(font);
    // Most notes are one short line: no wrapping to work out.
    if (!text.contains(QLatin1Char('\n')) && fm.horizontalAdvance(text) <= width)
        return fm.lineSpacing() + 4;
    const int h = fm.boundingRect(QRect(0, 0, std::max(20, width), 100000),
                                  Qt::TextWordWrap | Qt::AlignLeft, text)
                      .height();
    const int limit = maxLines > 0 ? maxLines * fm.lineSpacing() : h;
    return std::min(h, limit) + 4;
}

void DataGrid::rebuildRows() {
    // A rebuild asked for while one runs (the scroll bar that comes or goes
    // resizes the view) runs after it, on the rows it made.
    if (batch_ > 0 || rebuilding_) {
        rebuildPending_ = true;
        return;
    }
    std::exception_ptr detailError;
    {
        const QScopedValueRollback busy(rebuilding_, true);
        for (int pass = 0; pass < 3; ++pass) {
            rebuildPending_ = false;
            rebuildOnce(detailError);
            if (!rebuildPending_)
                break;
        }
        rebuildPending_ = false;
    }
    // Told last, when the rows and the view are complete.
    announceFocus();
    if (detailError)
        ErrorHandling::handleUnexpected(detailError);
}

void DataGrid::rebuildOnce(std::exception_ptr& detailError) {
    // The rows as they were: among the new ones the focus finds its row or
    // that row's neighbour, and the view the row it began with. A re-read in
    // two steps (emptied, then filled again) is bridged by the rows held over.
    // Both lists keep their storage from one rebuild to the next.
    std::vector<VisualRow>& old = previousRows_;
    old.swap(rows_);
    rows_.clear();
    int oldFocus = focusRow_;
    int oldScroll = verticalScrollBar()->value();
    if (old.empty() && !heldRows_.empty()) {
        old.swap(heldRows_);
        oldFocus = heldFocus_;
        oldScroll = heldScroll_;
    }
    heldRows_.clear();
    rowOfKey_.clear();
    rowOfKey_.reserve(proxy_->rowCount());
    rowOfGroup_.clear();
    columnOfField_.clear();
    const int line = rowLineHeight();
    const QFont previewFont = styleFont(GridElement::Preview);
    const int previewWidth = std::max(columnsWidth(), viewport()->width() - leftAreaWidth()) - 3;
    const bool details = bool(detailProvider_) && !keyField_.isEmpty();

    // A move to a row inside collapsed groups opens them. A re-read never
    // does: groups stay as the user left them.
    if (revealWanted_ && wantedKey_.isValid() && !groups_.isEmpty()) {
        std::function<bool(const QModelIndex&)> find = [&](const QModelIndex& parent) {
            for (int r = 0; r < groupModel_->rowCount(parent); ++r) {
                const QModelIndex i = groupModel_->index(r, 0, parent);
                if (groupModel_->isGroup(i)) {
                    if (find(i)) {
                        expandedGroups_.insert(GridGroupModel::pathKey(groupModel_->groupPath(i)));
                        return true;
                    }
                } else if (keyText(keyOf(groupModel_->sourceRow(i))) == keyText(wantedKey_)) {
                    return true;
                }
            }
            return false;
        };
        find({});
    }

    int y = 0;
    int dataIndex = 0;
    auto push = [&](VisualRow r) {
        r.y = y;
        y += r.height;
        rows_.push_back(std::move(r));
    };
    QSet<QString> loaded;
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int level) {
        const int n = groupModel_->rowCount(parent);
        for (int r = 0; r < n; ++r) {
            const QModelIndex i = groupModel_->index(r, 0, parent);
            if (groupModel_->isGroup(i)) {
                const QString path = GridGroupModel::pathKey(groupModel_->groupPath(i));
                rowOfGroup_.insert(path, int(rows_.size()));
                push({RowKind::Group, level, -1, -1, -1, i, 0, line, 0, path});
                if (expandedGroups_.contains(path)) {
                    walk(i, level + 1);
                    push({RowKind::GroupFooter, level, -1, -1, -1, i, 0, line, 0, path});
                }
                continue;
            }
            const int flat = groupModel_->sourceRow(i);
            int ph = 0;
            if (previewVisible_ && !previewField_.isEmpty())
                ph = measurePreview(flatValue(flat, previewField_).toString(), previewWidth,
                                    previewMaxLines_, previewFont);
            const QString k = keyText(keyOf(flat));
            rowOfKey_.insert(k, int(rows_.size()));
            push({RowKind::Data, level, flat, -1, dataIndex++, {}, 0, line + ph, ph, k});
            if (!details)
                continue;
            if (!expandedKeys_.contains(k))
                continue;
            // Loaded when first shown and again after each re-read. A failing
            // loader leaves the row closed; its error goes to the central handler
            // once the rows are complete (it must not cross Qt's signal delivery).
            if (!details_.contains(k) || !loaded.contains(k)) {
                try {
                    details_.insert(k, detailProvider_(keyOf(flat)));
                } catch (...) {
                    if (!detailError)
                        detailError = std::current_exception();
                    expandedKeys_.remove(k);
                    details_.remove(k);
                    continue;
                }
            }
            loaded.insert(k);
            const auto& list = details_[k];
            const int detailWidth = previewWidth - indentWidth();
            for (int d = 0; d < list.size(); ++d) {
                const int dph = measurePreview(list.at(d).preview, detailWidth - 5, 0, previewFont);
                push({RowKind::Detail, level, flat, d, -1, {}, 0, line + dph, dph, k});
            }
        }
    };
    walk({}, 0);
    contentHeight_ = y;
    // Details of rows no longer shown are dropped, so they load fresh later.
    for (auto it = details_.begin(); it != details_.end();)
        it = loaded.contains(it.key()) ? std::next(it) : details_.erase(it);

    footerSums_.clear();
    for (const auto& c : columns_) {
        if (!c.footerSum)
            continue;
        const int sc = sourceColumn(c.field);
        double s = 0;
        for (int r = 0; sc >= 0 && r < proxy_->rowCount(); ++r)
            s += proxy_->data(proxy_->index(r, sc)).toDouble();
        footerSums_.insert(c.field, s);
    }
    restoreFocus(old, oldFocus);
    groupingChanging_ = false;
    updateGeometries();
    restoreScroll(old, oldScroll);
    if (rows_.empty() && !old.empty()) {
        heldRows_.swap(old);
        heldFocus_ = oldFocus;
        heldScroll_ = oldScroll;
    }
    old.clear();
    viewport()->update();
}

void DataGrid::restoreFocus(const std::vector<VisualRow>& old, int oldFocus) {
    int row = -1;
    if (focusGroup_)
        row = visualRowOfGroup(*focusGroup_);
    if (row < 0 && wantedKey_.isValid())
        row = visualRowOfKey(wantedKey_);
    if (row < 0 && groupingChanging_ && !rows_.empty() && rows_.front().kind == RowKind::Group) {
        // The row now sits in a closed group: that group takes the focus.
        row = 0;
        focusGroup_ = groupModel_->groupPath(rows_.front().group);
    }
    if (row < 0 && wantedKey_.isValid() && !focusGroup_ && !groups_.isEmpty()) {
        // The row is still there, inside a group the user keeps collapsed: the
        // group row stands for it.
        row = closedGroupHolding(wantedKey_);
        if (row >= 0)
            focusGroup_ = groupModel_->groupPath(rows_[size_t(row)].group);
    }
    if (row < 0 && oldFocus >= 0 && oldFocus < int(old.size())) {
        // The focused row went away: its neighbour takes the focus, the row
        // that followed it first, else the one before it.
        row = neighbourOf(old, oldFocus);
        if (row >= 0 && rows_[size_t(row)].kind == RowKind::Group)
            focusGroup_ = groupModel_->groupPath(rows_[size_t(row)].group);
        else
            focusGroup_.reset();
    }
    if (row < 0) {
        focusGroup_.reset();
        // Nothing shown before is left: the first data row takes the focus.
        // The wanted key stays while there are no rows at all (a re-read in
        // two steps, closed then open again, must not lose it).
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].kind == RowKind::Data) {
                row = int(i);
                break;
            }
        if (row < 0 && proxy_->rowCount() > 0)
            row = 0;
    }
    focusRow_ = row;
    if (row >= 0) {
        const auto& r = rows_[size_t(row)];
        if (r.kind == RowKind::Data)
            wantedKey_ = keyOf(r.flatRow);
    }
}

void DataGrid::announceFocus() {
    const QVariant now = focusedKey();
    if (keyText(now) != keyText(lastEmittedKey_) || now.isValid() != lastEmittedKey_.isValid()) {
        lastEmittedKey_ = now;
        emit focusedKeyChanged(now);
    }
}

void DataGrid::restoreScroll(const std::vector<VisualRow>& old, int oldScroll) {
    // The first rows, or a view at the very top: it stays at the top.
    if (old.empty() || oldScroll <= 0)
        return;
    auto* bar = verticalScrollBar();
    // The row the view began with stays where it was on screen; when it went
    // away, the first row after it that is left, else the last one before it.
    auto it = std::upper_bound(old.begin(), old.end(), oldScroll,
                               [](int y, const VisualRow& r) { return y < r.y; });
    const int top = std::max(0, int(std::distance(old.begin(), it)) - 1);
    const auto place = [&](int i) {
        const int r = findRow(old[size_t(i)]);
        if (r < 0)
            return false;
        bar->setValue(rows_[size_t(r)].y - (old[size_t(i)].y - oldScroll));
        return true;
    };
    for (int i = top; i < int(old.size()); ++i)
        if (place(i))
            return;
    for (int i = top - 1; i >= 0; --i)
        if (place(i))
            return;
    // Nothing shown before is left (another project, say): from the top.
    bar->setValue(0);
}

int DataGrid::findRow(const VisualRow& like) const {
    switch (like.kind) {
    case RowKind::Data:
        return rowOfKey_.value(like.id, -1);
    case RowKind::Group:
        return rowOfGroup_.value(like.id, -1);
    case RowKind::GroupFooter: {
        const int group = rowOfGroup_.value(like.id, -1);
        if (group < 0)
            return -1;
        // The footer is the first row after the group's own rows.
        for (size_t i = size_t(group) + 1; i < rows_.size(); ++i)
            if (rows_[i].level <= like.level)
                return rows_[i].kind == RowKind::GroupFooter && rows_[i].id == like.id ? int(i)
                                                                                       : -1;
        return -1;
    }
    case RowKind::Detail: {
        const int master = rowOfKey_.value(like.id, -1);
        if (master < 0)
            return -1;
        const size_t d = size_t(master) + 1 + size_t(like.detail);
        return d < rows_.size() && rows_[d].kind == RowKind::Detail && rows_[d].id == like.id
                   ? int(d)
                   : -1;
    }
    }
    return -1;
}

int DataGrid::neighbourOf(const std::vector<VisualRow>& old, int index) const {
    // Within its own group first: the data row after it, else the one before it.
    const int level = old[size_t(index)].level;
    for (int step : {1, -1})
        for (int i = index + step; i >= 0 && i < int(old.size()) && old[size_t(i)].level >= level;
             i += step)
            if (old[size_t(i)].kind == RowKind::Data && old[size_t(i)].level == level)
                if (const int r = findRow(old[size_t(i)]); r >= 0)
                    return r;
    // Then whatever row is left nearest to it, after it first.
    const auto candidate = [&](int i) {
        const VisualRow& r = old[size_t(i)];
        return r.kind == RowKind::Data || r.kind == RowKind::Group ? findRow(r) : -1;
    };
    for (int i = index + 1; i < int(old.size()); ++i)
        if (const int r = candidate(i); r >= 0)
            return r;
    for (int i = index - 1; i >= 0; --i)
        if (const int r = candidate(i); r >= 0)
            return r;
    return -1;
}

int DataGrid::closedGroupHolding(const QVariant& key) const {
    const QString want = keyText(key);
    QList<QModelIndex> chain; // the groups around the row, outermost first
    std::function<bool(const QModelIndex&)> find = [&](const QModelIndex& parent) {
        for (int r = 0; r < groupModel_->rowCount(parent); ++r) {
            const QModelIndex i = groupModel_->index(r, 0, parent);
            if (groupModel_->isGroup(i)) {
                chain.append(i);
                if (find(i))
                    return true;
                chain.removeLast();
            } else if (keyText(keyOf(groupModel_->sourceRow(i))) == want) {
                return true;
            }
        }
        return false;
    };
    if (!find({}))
        return -1;
    for (const QModelIndex& g : chain) {
        const QString path = GridGroupModel::pathKey(groupModel_->groupPath(g));
        if (!expandedGroups_.contains(path))
            return rowOfGroup_.value(path, -1);
    }
    return -1;
}

int DataGrid::visualRowOfKey(const QVariant& key) const {
    if (!key.isValid())
        return -1;
    return rowOfKey_.value(keyText(key), -1);
}

int DataGrid::visualRowOfGroup(const QVariantList& path) const {
    return rowOfGroup_.value(GridGroupModel::pathKey(path), -1);
}

int DataGrid::visualRowAtY(int contentY) const {
    if (contentY < 0 || contentY >= contentHeight_)
        return -1;
    // Rows are sorted by y: a binary search keeps this independent of the count.
    auto it = std::upper_bound(rows_.begin(), rows_.end(), contentY,
                               [](int y, const VisualRow& r) { return y < r.y; });
    return int(std::distance(rows_.begin(), it)) - 1;
}

// ---------------------------------------------------------------- focus

QVariant DataGrid::focusedKey() const {
    if (focusRow_ < 0 || focusRow_ >= int(rows_.size()))
        return {};
    const auto& r = rows_[size_t(focusRow_)];
    return r.kind == RowKind::Data ? keyOf(r.flatRow) : QVariant();
}

QVariant DataGrid::focusedValue(const QString& field) const {
    if (focusRow_ < 0 || focusRow_ >= int(rows_.size()))
        return {};
    const auto& r = rows_[size_t(focusRow_)];
    return r.kind == RowKind::Data ? flatValue(r.flatRow, field) : QVariant();
}

bool DataGrid::setFocusedKey(const QVariant& key) {
    // A row on the list already needs no rebuild, only the focus.
    if (const int shown = visualRowOfKey(key); shown >= 0) {
        focusGroup_.reset();
        setFocusRow(shown);
        return true;
    }
    const QVariant old = wantedKey_;
    const auto oldGroup = focusGroup_;
    wantedKey_ = key;
    focusGroup_.reset();
    {
        // Opens collapsed groups around the row.
        const QScopedValueRollback reveal(revealWanted_, true);
        rebuildRows();
    }
    const int row = visualRowOfKey(key);
    if (row < 0) {
        wantedKey_ = old;
        focusGroup_ = oldGroup;
        restoreFocus({}, -1);
        announceFocus();
        return false;
    }
    setFocusRow(row);
    return true;
}

void DataGrid::setFocusRow(int visualRow, bool ensure) {
    if (visualRow < 0 || visualRow >= int(rows_.size()))
        return;
    focusRow_ = visualRow;
    const auto& r = rows_[size_t(visualRow)];
    if (r.kind == RowKind::Group) {
        focusGroup_ = groupModel_->groupPath(r.group);
    } else {
        focusGroup_.reset();
        if (r.kind == RowKind::Data || r.kind == RowKind::Detail)
            wantedKey_ = keyOf(r.flatRow);
        if (r.kind == RowKind::Detail) {
            // Details belong to their master: the master keeps the focus.
            for (int i = visualRow; i >= 0; --i)
                if (rows_[size_t(i)].kind == RowKind::Data) {
                    focusRow_ = i;
                    break;
                }
        }
    }
    const QVariant now = focusedKey();
    if (keyText(now) != keyText(lastEmittedKey_) || now.isValid() != lastEmittedKey_.isValid()) {
        lastEmittedKey_ = now;
        emit focusedKeyChanged(now);
    }
    if (ensure)
        ensureRowVisible(focusRow_);
    viewport()->update();
}

void DataGrid::ensureRowVisible(int visualRow) {
    if (visualRow < 0 || visualRow >= int(rows_.size()))
        return;
    const auto& r = rows_[size_t(visualRow)];
    const int view = bodyBottom() - bodyTop();
    auto* bar = verticalScrollBar();
    if (r.y < bar->value())
        bar->setValue(r.y);
    else if (r.y + r.height > bar->value() + view)
        bar->setValue(std::min(r.y, r.y + r.height - view));
}

// ---------------------------------------------------------------- layout

QList<GridColumnState> DataGrid::columnStates() const {
    QList<GridColumnState> out;
    for (int pos = 0; pos < order_.size(); ++pos) {
        const auto& c = columns_.at(order_.at(pos));
        GridColumnState s;
        s.field = c.field;
        s.position = pos;
        s.visible = c.visible;
        s.caption = c.caption;
        s.width = c.width;
        for (int i = 0; i < sortKeys_.size(); ++i)
            if (sortKeys_.at(i).field == c.field) {
                s.sortIndex = i;
                s.sortOrder = sortKeys_.at(i).order;
            }
        for (int i = 0; i < groups_.size(); ++i)
            if (groups_.at(i).field == c.field)
                s.groupIndex = i;
        out << s;
    }
    return out;
}

QString DataGrid::saveLayout() const {
    return GridLayoutIO::save(columnStates());
}

bool DataGrid::restoreLayout(const QString& text) {
    const auto states = GridLayoutIO::load(text);
    if (!states)
        return false;
    // Positions, sort ranks and group ranks must each be distinct, or the
    // layout is not one this grid wrote.
    QSet<int> positions, sorts, groups;
    QSet<QString> fields;
    for (const auto& s : *states) {
        if (positions.contains(s.position) || fields.contains(s.field) ||
            (s.sortIndex >= 0 && sorts.contains(s.sortIndex)) ||
            (s.groupIndex >= 0 && groups.contains(s.groupIndex)))
            return false;
        positions.insert(s.position);
        fields.insert(s.field);
        if (s.sortIndex >= 0)
            sorts.insert(s.sortIndex);
        if (s.groupIndex >= 0)
            groups.insert(s.groupIndex);
    }
    applyColumnStates(*states);
    return true;
}

void DataGrid::applyColumnStates(const QList<GridColumnState>& states) {
    const Batch batch(this);
    columns_ = designed_;
    QList<GridColumnState> known;
    for (const auto& s : states)
        if (columnIndex(s.field) >= 0)
            known << s;
    std::stable_sort(known.begin(), known.end(),
                     [](const auto& a, const auto& b) { return a.position < b.position; });
    order_.clear();
    QMap<int, GridSortKey> sorts;
    QMap<int, GridSortKey> groups;
    for (const auto& s : known) {
        const int c = columnIndex(s.field);
        columns_[c].visible = s.visible;
        columns_[c].caption = s.caption;
        columns_[c].width = s.width;
        order_ << c;
        if (s.sortIndex >= 0)
            sorts.insert(s.sortIndex, {s.field, s.sortOrder});
        if (s.groupIndex >= 0)
            groups.insert(s.groupIndex,
                          {s.field, s.sortIndex >= 0 ? s.sortOrder : Qt::AscendingOrder});
    }
    // Columns the layout does not know keep their designed place at the end.
    for (int i = 0; i < columns_.size(); ++i)
        if (!order_.contains(i))
            order_ << i;
    if (visibleOrder().isEmpty() && !columns_.isEmpty())
        columns_[order_.first()].visible = true;
    sortKeys_ = sorts.values();
    groups_ = groups.values();
    applyGroupingAndSort();
    emitColumnsChanged();
}

void DataGrid::emitColumnsChanged() {
    viewport()->update();
    if (batch_ > 0)
        columnsChangedPending_ = true;
    else
        emit columnsChanged();
}

void DataGrid::emitFilterChanged() {
    if (batch_ > 0)
        filterChangedPending_ = true;
    else
        emit filterChanged();
}

void DataGrid::endBatch() {
    if (rebuildPending_)
        rebuildRows();
    if (std::exchange(columnsChangedPending_, false))
        emit columnsChanged();
    if (std::exchange(filterChangedPending_, false))
        emit filterChanged();
}

// ---------------------------------------------------------------- rows as shown

QList<GridShownColumn> DataGrid::shownColumns() const {
    QList<GridShownColumn> out;
    for (int c : visibleOrder())
        out.append({columns_.at(c).field, columns_.at(c).caption});
    return out;
}

QList<GridShownRow> DataGrid::shownRows() const {
    QList<GridShownRow> out;
    const auto cols = visibleOrder();
    for (const auto& r : rows_) {
        if (r.kind == RowKind::Group) {
            GridShownRow s;
            s.isGroup = true;
            s.level = r.level;
            s.groupText = groupText(r);
            out << s;
        } else if (r.kind == RowKind::Data) {
            GridShownRow s;
            s.level = r.level;
            s.key = keyOf(r.flatRow);
            for (int c : cols) {
                const QVariant v = flatValue(r.flatRow, columns_.at(c).field);
                s.values << v;
                s.texts << displayText(columns_.at(c).field, v);
            }
            out << s;
        }
    }
    return out;
}

QString DataGrid::groupText(const VisualRow& row) const {
    const QString field = groupModel_->data(row.group, GridRole::GroupField).toString();
    const int c = columnIndex(field);
    const QVariant value = groupModel_->data(row.group, GridRole::GroupValue);
    QString text = displayText(field, value);
    if (text.isEmpty() && !value.isNull())
        text = value.toString(); // icon columns group by their value
    return QStringLiteral("%1: %2 (%3)")
        .arg(c < 0 ? field : columns_.at(c).caption, text)
        .arg(groupModel_->data(row.group, GridRole::GroupCount).toInt());
}

// ---------------------------------------------------------------- chooser

void DataGrid::showColumnChooser() {
    if (!chooser_)
        chooser_ = new GridColumnChooser(this);
    chooser_->refresh();
    chooser_->show();
    chooser_->raise();
}
