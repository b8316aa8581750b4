// Hit testing, mouse, keyboard and drag and drop of the data grid.
#include "widgets/DataGrid.h"
#include "widgets/GridColumnChooser.h"
#include "widgets/GridFilterPopup.h"
#include "widgets/GridGroupModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

// ---------------------------------------------------------------- hit testing

int DataGrid::headerColumnAt(int x) const {
    for (int c : visibleOrder()) {
        const int left = columnX(c);
        if (x >= left && x < left + columns_.at(c).width)
            return c;
    }
    return -1;
}

int DataGrid::headerDropPosition(int x) const {
    const auto vis = visibleOrder();
    for (int i = 0; i < vis.size(); ++i)
        if (x < columnX(vis.at(i)) + columns_.at(vis.at(i)).width / 2)
            return i;
    return int(vis.size());
}

int DataGrid::groupDropPosition(int x) const {
    const auto chips = groupChipRects();
    for (int i = 0; i < chips.size(); ++i)
        if (x < chips.at(i).center().x())
            return i;
    return int(chips.size());
}

GridHit DataGrid::hitTest(const QPoint& pos) const {
    GridHit hit;
    const int gp = groupPanelHeight();
    if (!viewport()->rect().contains(pos))
        return hit;
    if (pos.y() < gp) {
        hit.region = GridRegion::GroupPanel;
        return hit;
    }
    const int column = headerColumnAt(pos.x());
    const QString field =
        column >= 0 && pos.x() >= kIndicatorWidth ? columns_.at(column).field : QString();
    if (pos.y() < bodyTop()) {
        hit.region = GridRegion::Header;
        hit.field = field;
        if (column >= 0 && filterButtonRect(column).contains(pos))
            hit.region = GridRegion::HeaderFilterButton;
        return hit;
    }
    if (pos.y() >= viewport()->height() - footerHeight()) {
        hit.region = GridRegion::Footer;
        hit.field = field;
        return hit;
    }
    if (pos.y() >= bodyBottom())
        return hit;
    const int v = visualRowAtY(pos.y() - bodyTop() + verticalScrollBar()->value());
    if (v < 0)
        return hit;
    const auto& row = rows_[size_t(v)];
    const int localY = pos.y() - (bodyTop() + row.y - verticalScrollBar()->value());
    if (row.kind == RowKind::Group || row.kind == RowKind::GroupFooter) {
        hit.groupPath = groupModel_->groupPath(row.group);
        if (pos.x() < kIndicatorWidth)
            hit.region = GridRegion::Indicator;
        else if (row.kind == RowKind::GroupFooter)
            hit.region = GridRegion::GroupFooter;
        else if (expandButtonRectFor(row).contains(pos.x(), localY))
            hit.region = GridRegion::ExpandButton;
        else
            hit.region = GridRegion::GroupRow;
        if (row.kind == RowKind::GroupFooter)
            hit.field = field;
        return hit;
    }
    hit.key = keyOf(row.flatRow);
    if (pos.x() < kIndicatorWidth) {
        hit.region = GridRegion::Indicator;
        return hit;
    }
    if (row.kind == RowKind::Detail) {
        hit.region = GridRegion::DetailRow;
        hit.detailIndex = row.detail;
        return hit;
    }
    if (expandButtonRectFor(row).contains(pos.x(), localY)) {
        hit.region = GridRegion::ExpandButton;
        return hit;
    }
    const int left = leftAreaWidth() - horizontalScrollBar()->value();
    if (localY >= rowLineHeight()) {
        if (pos.x() >= left)
            hit.region = GridRegion::Preview;
        return hit;
    }
    if (!field.isEmpty()) {
        hit.region = GridRegion::Cell;
        hit.field = field;
    }
    return hit;
}

QRect DataGrid::cellRect(const QVariant& key, const QString& field) const {
    const QRect r = rowRect(visualRowOfKey(key));
    const int c = columnIndex(field);
    if (r.isEmpty() || c < 0 || !columns_.at(c).visible)
        return {};
    return QRect(columnX(c), r.top(), columns_.at(c).width, rowLineHeight());
}

QRect DataGrid::previewRect(const QVariant& key) const {
    const int v = visualRowOfKey(key);
    const QRect r = rowRect(v);
    if (r.isEmpty() || rows_[size_t(v)].previewHeight == 0)
        return {};
    const int left = leftAreaWidth() - horizontalScrollBar()->value();
    return QRect(left, r.top() + rowLineHeight(), r.width() - left, rows_[size_t(v)].previewHeight);
}

QRect DataGrid::expandButtonRect(const QVariant& key) const {
    const int v = visualRowOfKey(key);
    const QRect r = rowRect(v);
    if (r.isEmpty())
        return {};
    return expandButtonRectFor(rows_[size_t(v)]).translated(0, r.top());
}

QRect DataGrid::headerRect(const QString& field) const {
    const int c = columnIndex(field);
    if (c < 0 || !columns_.at(c).visible)
        return {};
    return QRect(columnX(c), groupPanelHeight(), columns_.at(c).width, headerHeight());
}

QRect DataGrid::footerRect(const QString& field) const {
    const int c = columnIndex(field);
    if (c < 0 || !columns_.at(c).visible)
        return {};
    return QRect(columnX(c), viewport()->height() - footerHeight(), columns_.at(c).width,
                 footerHeight());
}

QRect DataGrid::detailRect(const QVariant& key, int detailIndex) const {
    const int master = visualRowOfKey(key);
    if (master < 0)
        return {};
    const int v = master + 1 + detailIndex;
    if (v >= int(rows_.size()) || rows_[size_t(v)].kind != RowKind::Detail ||
        rows_[size_t(v)].detail != detailIndex)
        return {};
    const QRect r = rowRect(v);
    const int left = leftAreaWidth() - horizontalScrollBar()->value();
    return QRect(left, r.top(), r.width() - left, r.height());
}

QRect DataGrid::groupRowRect(const QVariantList& path) const {
    const QRect r = rowRect(visualRowOfGroup(path));
    return r.isEmpty() ? r : r.adjusted(kIndicatorWidth, 0, 0, 0);
}

// ---------------------------------------------------------------- expanding, sorting, filtering

void DataGrid::toggleExpanded(int visualRow) {
    if (visualRow < 0 || visualRow >= int(rows_.size()))
        return;
    const auto& row = rows_[size_t(visualRow)];
    if (row.kind == RowKind::Group) {
        const auto path = groupModel_->groupPath(row.group);
        setGroupExpanded(path, !isGroupExpanded(path));
    } else if (row.kind == RowKind::Data) {
        const QVariant key = keyOf(row.flatRow);
        setRowExpanded(key, !isRowExpanded(key));
    }
}

void DataGrid::sortClick(const QString& field, bool add) {
    auto keys = sortKeys_;
    auto it =
        std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.field == field; });
    auto flip = [](Qt::SortOrder o) {
        return o == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    };
    if (add) {
        if (it != keys.end())
            it->order = flip(it->order);
        else
            keys.append({field, Qt::AscendingOrder});
    } else {
        // A plain click on a sorted column turns it round and makes it the only key.
        const auto order = it != keys.end() ? flip(it->order) : Qt::AscendingOrder;
        keys = {{field, order}};
    }
    // A grouped column's groups follow its sort direction.
    for (auto& g : groups_)
        for (const auto& k : keys)
            if (g.field == k.field)
                g.order = k.order;
    setSortOrder(keys);
}

void DataGrid::setColumnCondition(const QString& field, const std::optional<GridCondition>& c) {
    GridFilter f = filter();
    f.conditions.removeIf([&](const GridCondition& k) { return k.field == field; });
    if (c)
        f.conditions.append(*c);
    setFilter(f);
}

void DataGrid::openFilterPopup(int column) {
    const QString field = columns_.at(column).field;
    auto* popup = new GridFilterPopup(distinctValues(field), kFilterRowsVisible, this);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(popup, &GridFilterPopup::allChosen, this,
            [this, field] { setColumnCondition(field, std::nullopt); });
    connect(popup, &GridFilterPopup::valueChosen, this, [this, field](const QString& v) {
        setColumnCondition(field, GridCondition{field, GridCondition::Op::Equals, v});
    });
    connect(popup, &GridFilterPopup::customChosen, this, [this, field, column] {
        GridConditionDialog dlg(columns_.at(column).caption, distinctValues(field), this);
        for (const auto& c : filter().conditions)
            if (c.field == field)
                dlg.setCondition(c);
        if (dlg.exec() == QDialog::Accepted) {
            GridCondition c = dlg.condition();
            c.field = field;
            setColumnCondition(field, c);
        }
    });
    const QRect fb = filterButtonRect(column);
    popup->move(
        viewport()->mapToGlobal(QPoint(fb.right() - popup->sizeHint().width(), fb.bottom())));
    popup->show();
}

// ---------------------------------------------------------------- mouse

void DataGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    pressPos_ = dragPos_ = pos;
    dragMoved_ = false;
    drag_ = DragKind::None;
    if (event->button() != Qt::LeftButton) {
        if (event->button() == Qt::RightButton) {
            const GridHit hit = hitTest(pos);
            const int v = visualRowAtY(pos.y() - bodyTop() + verticalScrollBar()->value());
            if (pos.y() >= bodyTop() && pos.y() < bodyBottom() && v >= 0)
                setFocusRow(v, false);
            if (!hit.field.isEmpty())
                focusField_ = hit.field;
        }
        return;
    }
    const GridHit hit = hitTest(pos);
    switch (hit.region) {
    case GridRegion::GroupPanel: {
        const auto chips = groupChipRects();
        for (int i = 0; i < chips.size(); ++i)
            if (chips.at(i).contains(pos)) {
                drag_ = DragKind::GroupChip;
                dragColumn_ = i;
            }
        break;
    }
    case GridRegion::HeaderFilterButton:
        openFilterPopup(columnIndex(hit.field));
        break;
    case GridRegion::Header: {
        // Near a right edge the column is resized, elsewhere it is dragged or sorted.
        for (int c : visibleOrder()) {
            const int right = columnX(c) + columns_.at(c).width;
            if (std::abs(pos.x() - right) <= kResizeGrip) {
                drag_ = DragKind::Resize;
                dragColumn_ = c;
                resizeStartWidth_ = columns_.at(c).width;
                return;
            }
        }
        if (!hit.field.isEmpty()) {
            drag_ = DragKind::HeaderColumn;
            dragColumn_ = columnIndex(hit.field);
        }
        break;
    }
    default: {
        const int v = visualRowAtY(pos.y() - bodyTop() + verticalScrollBar()->value());
        if (pos.y() < bodyTop() || pos.y() >= bodyBottom() || v < 0)
            break;
        if (!hit.field.isEmpty())
            focusField_ = hit.field;
        setFocusRow(v, false);
        if (hit.region == GridRegion::ExpandButton)
            toggleExpanded(v);
        break;
    }
    }
}

void DataGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (drag_ == DragKind::Resize) {
        columns_[dragColumn_].width =
            std::clamp(resizeStartWidth_ + pos.x() - pressPos_.x(), 8, 10000);
        updateGeometries();
        viewport()->update();
        return;
    }
    if (drag_ == DragKind::HeaderColumn || drag_ == DragKind::GroupChip) {
        if ((pos - pressPos_).manhattanLength() >= QApplication::startDragDistance())
            dragMoved_ = true;
        dragPos_ = pos;
        viewport()->update();
        return;
    }
    // Resize cursor over the header's column edges.
    bool edge = false;
    if (pos.y() >= groupPanelHeight() && pos.y() < bodyTop())
        for (int c : visibleOrder())
            if (std::abs(pos.x() - (columnX(c) + columns_.at(c).width)) <= kResizeGrip)
                edge = true;
    viewport()->setCursor(edge ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void DataGrid::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const DragKind kind = std::exchange(drag_, DragKind::None);
    switch (kind) {
    case DragKind::Resize:
        rebuildRows();
        emitColumnsChanged();
        break;
    case DragKind::HeaderColumn:
        if (!dragMoved_)
            sortClick(columns_.at(dragColumn_).field,
                      event->modifiers().testFlag(Qt::ShiftModifier));
        else
            finishColumnDrag(pos, event->globalPosition().toPoint());
        break;
    case DragKind::GroupChip:
        if (!dragMoved_) {
            // A click on a group level turns its direction round.
            auto& g = groups_[dragColumn_];
            g.order = g.order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
            for (auto& k : sortKeys_)
                if (k.field == g.field)
                    k.order = g.order;
            applyGroupingAndSort();
            emitColumnsChanged();
        } else {
            finishChipDrag(pos);
        }
        break;
    case DragKind::None:
        break;
    }
    dragMoved_ = false;
    viewport()->update();
}

void DataGrid::finishColumnDrag(const QPoint& pos, const QPoint&) {
    const QString field = columns_.at(dragColumn_).field;
    const int top = groupPanelHeight();
    const bool inside = viewport()->rect().contains(pos);
    if (inside && pos.y() >= top && pos.y() < top + headerHeight()) {
        const int drop = headerDropPosition(pos.x());
        const auto vis = visibleOrder();
        // Convert the place among shown columns into one among all columns.
        int target = drop < vis.size() ? int(order_.indexOf(vis.at(drop))) : int(order_.size());
        if (order_.indexOf(dragColumn_) < target)
            --target;
        moveColumn(field, target);
        return;
    }
    if (inside && pos.y() < top) {
        QStringList fields = groupFields();
        int at = groupDropPosition(pos.x());
        const int old = int(fields.indexOf(field));
        if (old >= 0) {
            fields.removeAt(old);
            if (old < at)
                --at;
        }
        fields.insert(std::clamp(at, 0, int(fields.size())), field);
        setGroupFields(fields);
        return;
    }
    // Dragged out of the header: the column goes to the column chooser.
    setColumnVisible(field, false);
}

void DataGrid::finishChipDrag(const QPoint& pos) {
    QStringList fields = groupFields();
    const QString field = fields.value(dragColumn_);
    if (field.isEmpty())
        return;
    fields.removeAt(dragColumn_);
    if (viewport()->rect().contains(pos) && pos.y() < groupPanelHeight()) {
        int at = groupDropPosition(pos.x());
        if (dragColumn_ < at)
            --at;
        fields.insert(std::clamp(at, 0, int(fields.size())), field);
    }
    setGroupFields(fields);
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const GridHit hit = hitTest(event->position().toPoint());
    // Only a cell or the preview of a data row asks for the editor.
    if ((hit.region == GridRegion::Cell || hit.region == GridRegion::Preview) && hit.key.isValid())
        emit editRequested(hit.key);
}

void DataGrid::contextMenuEvent(QContextMenuEvent* event) {
    const GridHit hit = hitTest(event->pos());
    switch (hit.region) {
    case GridRegion::Header:
    case GridRegion::HeaderFilterButton:
    case GridRegion::Footer:
    case GridRegion::GroupPanel:
        return;
    default:
        emit contextMenuRequested(event->globalPos(), hit);
    }
}

// ---------------------------------------------------------------- keyboard

void DataGrid::moveFocus(int delta) {
    if (rows_.empty())
        return;
    int v = std::clamp(focusRow_ < 0 ? 0 : focusRow_, 0, int(rows_.size()) - 1);
    const int step = delta > 0 ? 1 : -1;
    int remaining = std::abs(delta);
    int last = v;
    // Footers and detail rows are passed over: the focus is on rows and groups.
    for (int i = v + step; i >= 0 && i < int(rows_.size()) && remaining > 0; i += step) {
        const auto k = rows_[size_t(i)].kind;
        if (k == RowKind::Data || k == RowKind::Group) {
            last = i;
            --remaining;
        }
    }
    setFocusRow(last);
}

bool DataGrid::event(QEvent* event) {
    // Enter on a group row opens or closes the group. A window's shortcut on
    // Enter (its edit command) would take the key first, so the grid claims it
    // while a group row has the focus; on a data row the shortcut still runs.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (enter && plain && focusRow_ >= 0 && focusRow_ < int(rows_.size()) &&
            rows_[size_t(focusRow_)].kind == RowKind::Group) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, (bodyBottom() - bodyTop()) / std::max(1, rowLineHeight()));
    const auto* row =
        focusRow_ >= 0 && focusRow_ < int(rows_.size()) ? &rows_[size_t(focusRow_)] : nullptr;
    switch (event->key()) {
    case Qt::Key_Up:
        moveFocus(-1);
        break;
    case Qt::Key_Down:
        moveFocus(1);
        break;
    case Qt::Key_PageUp:
        moveFocus(-page);
        break;
    case Qt::Key_PageDown:
        moveFocus(page);
        break;
    case Qt::Key_Home:
        moveFocus(-int(rows_.size()));
        break;
    case Qt::Key_End:
        moveFocus(int(rows_.size()));
        break;
    case Qt::Key_Plus:
    case Qt::Key_Right:
        if (row && row->kind == RowKind::Group)
            setGroupExpanded(groupModel_->groupPath(row->group), true);
        else if (row && row->kind == RowKind::Data)
            setRowExpanded(keyOf(row->flatRow), true);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Left:
        if (row && row->kind == RowKind::Group &&
            isGroupExpanded(groupModel_->groupPath(row->group))) {
            setGroupExpanded(groupModel_->groupPath(row->group), false);
        } else if (row && row->kind == RowKind::Data && isRowExpanded(keyOf(row->flatRow))) {
            setRowExpanded(keyOf(row->flatRow), false);
        } else if (row && row->level > 0) {
            // Already collapsed: go up to the enclosing group.
            for (int i = focusRow_ - 1; i >= 0; --i)
                if (rows_[size_t(i)].kind == RowKind::Group &&
                    rows_[size_t(i)].level < row->level) {
                    setFocusRow(i);
                    break;
                }
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (row && row->kind == RowKind::Data)
            emit editRequested(keyOf(row->flatRow));
        else if (row && row->kind == RowKind::Group)
            toggleExpanded(focusRow_);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void DataGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void DataGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// ---------------------------------------------------------------- drops from the column chooser

void DataGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(GridColumnChooser::kMimeType))
        event->acceptProposedAction();
}

void DataGrid::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(GridColumnChooser::kMimeType))
        event->acceptProposedAction();
}

void DataGrid::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(GridColumnChooser::kMimeType))
        return;
    const QString field = QString::fromUtf8(event->mimeData()->data(GridColumnChooser::kMimeType));
    dropColumnFromChooser(field, event->position().toPoint());
    event->acceptProposedAction();
}

void DataGrid::dropColumnFromChooser(const QString& field, const QPoint& pos) {
    const int c = columnIndex(field);
    if (c < 0)
        return;
    const int top = groupPanelHeight();
    if (pos.y() >= top && pos.y() < top + headerHeight()) {
        const int drop = headerDropPosition(pos.x());
        const auto vis = visibleOrder();
        int target = drop < vis.size() ? int(order_.indexOf(vis.at(drop))) : int(order_.size());
        if (order_.indexOf(c) < target)
            --target;
        moveColumn(field, target);
    } else if (pos.y() < top) {
        QStringList fields = groupFields();
        if (!fields.contains(field)) {
            fields.insert(std::clamp(groupDropPosition(pos.x()), 0, int(fields.size())), field);
            setGroupFields(fields);
        }
    }
    setColumnVisible(field, true);
}
