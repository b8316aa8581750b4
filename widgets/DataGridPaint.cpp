// Geometry and drawing of the data grid. Everything is painted on the
// viewport: group panel, header, the rows on screen, footer.
#include "widgets/DataGrid.h"
#include "widgets/GridGroupModel.h"

#include <QDateTime>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>

// ---------------------------------------------------------------- styles

QFont DataGrid::styleFont(GridElement e) const {
    const GridStyle& s = scheme_.style(e);
    QFont f = font();
    if (!s.fontFamily.isEmpty())
        f.setFamily(s.fontFamily);
    if (s.fontPixelSize > 0)
        f.setPixelSize(s.fontPixelSize);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    return f;
}

QColor DataGrid::styleBackground(GridElement e) const {
    const QColor c = scheme_.style(e).background;
    return c.isValid() ? c : palette().color(QPalette::Base);
}

QColor DataGrid::styleText(GridElement e) const {
    const QColor c = scheme_.style(e).text;
    return c.isValid() ? c : palette().color(QPalette::Text);
}

// ---------------------------------------------------------------- geometry

int DataGrid::headerHeight() const {
    return QFontMetrics(styleFont(GridElement::Header)).lineSpacing() + 8;
}

int DataGrid::footerHeight() const {
    return QFontMetrics(styleFont(GridElement::Footer)).lineSpacing() + 8;
}

int DataGrid::rowLineHeight() const {
    const int a = QFontMetrics(styleFont(GridElement::Content)).lineSpacing();
    const int b = QFontMetrics(styleFont(GridElement::Group)).lineSpacing();
    return std::max(a, b) + 6;
}

int DataGrid::groupPanelHeight() const {
    if (!groupPanelVisible_)
        return 0;
    const int h = headerHeight();
    return std::max(2 * h, 12 + h + std::max(0, int(groups_.size()) - 1) * (h / 2));
}

int DataGrid::indentWidth() const {
    return kIndent;
}

int DataGrid::leftAreaWidth() const {
    return kIndicatorWidth + int(groups_.size()) * kIndent + (detailProvider_ ? kIndent : 0);
}

int DataGrid::columnsWidth() const {
    int w = 0;
    for (int c : visibleOrder())
        w += columns_.at(c).width;
    return w;
}

int DataGrid::columnX(int column) const {
    int x = leftAreaWidth() - horizontalScrollBar()->value();
    for (int c : visibleOrder()) {
        if (c == column)
            return x;
        x += columns_.at(c).width;
    }
    return x;
}

int DataGrid::bodyTop() const {
    return groupPanelHeight() + headerHeight();
}

int DataGrid::bodyBottom() const {
    return std::max(bodyTop(), viewport()->height() - footerHeight());
}

QRect DataGrid::rowRect(int visualRow) const {
    if (visualRow < 0 || visualRow >= int(rows_.size()))
        return {};
    const auto& r = rows_[size_t(visualRow)];
    return QRect(0, bodyTop() + r.y - verticalScrollBar()->value(), viewport()->width(), r.height);
}

QRect DataGrid::expandButtonRectFor(const VisualRow& row) const {
    const int hs = horizontalScrollBar()->value();
    const int line = rowLineHeight();
    int x = kIndicatorWidth + row.level * kIndent - hs;
    if (row.kind == RowKind::Data) {
        if (!detailProvider_)
            return {};
        x = kIndicatorWidth + int(groups_.size()) * kIndent - hs;
    } else if (row.kind != RowKind::Group) {
        return {};
    }
    return QRect(x, 0, kIndent, line);
}

QRect DataGrid::filterButtonRect(int column) const {
    const int x = columnX(column) + columns_.at(column).width - kFilterButton - 2;
    return QRect(x, groupPanelHeight() + 2, kFilterButton, headerHeight() - 4);
}

QList<QRect> DataGrid::groupChipRects() const {
    QList<QRect> out;
    const QFontMetrics fm(styleFont(GridElement::Header));
    const int h = headerHeight();
    int x = 8;
    for (int i = 0; i < groups_.size(); ++i) {
        const int c = columnIndex(groups_.at(i).field);
        const int w =
            fm.horizontalAdvance(c < 0 ? groups_.at(i).field : columns_.at(c).caption) + 28;
        out << QRect(x, 6 + i * (h / 2), w, h);
        x += w + 6;
    }
    return out;
}

void DataGrid::updateGeometries() {
    const int bottom = filterPanel_->isVisible() ? filterPanel_->sizeHint().height() : 0;
    setViewportMargins(0, 0, 0, bottom);
    const QRect vp = viewport()->geometry();
    filterPanel_->setGeometry(vp.left(), vp.bottom() + 1, vp.width(), bottom);

    const int view = bodyBottom() - bodyTop();
    auto* v = verticalScrollBar();
    v->setRange(0, std::max(0, contentHeight_ - view));
    v->setPageStep(std::max(1, view));
    v->setSingleStep(rowLineHeight());
    auto* h = horizontalScrollBar();
    h->setRange(0, std::max(0, leftAreaWidth() + columnsWidth() - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(20);
}

void DataGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // Preview lines wrap at the new width when they are shown.
    if ((previewVisible_ || !expandedKeys_.isEmpty()) &&
        event->size().width() != event->oldSize().width())
        rebuildRows();
    else
        updateGeometries();
}

void DataGrid::scrollContentsBy(int, int) {
    viewport()->update();
}

// ---------------------------------------------------------------- painting

void DataGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect all = viewport()->rect();
    p.fillRect(all, styleBackground(GridElement::Content));
    paintRows(p);
    paintHeader(p);
    paintFooter(p);
    paintGroupPanel(p);
    paintDragFeedback(p);
}

void DataGrid::paintGroupPanel(QPainter& p) const {
    const int h = groupPanelHeight();
    if (h == 0)
        return;
    const QRect panel(0, 0, viewport()->width(), h);
    p.fillRect(panel, styleBackground(GridElement::GroupByBox));
    if (groups_.isEmpty()) {
        p.setFont(styleFont(GridElement::GroupByBox));
        p.setPen(styleText(GridElement::GroupByBox));
        p.drawText(panel.adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   tr("Drag a column header here to group by that column"));
        return;
    }
    const auto chips = groupChipRects();
    p.setFont(styleFont(GridElement::Header));
    for (int i = 0; i < chips.size(); ++i) {
        const QRect r = chips.at(i);
        if (i > 0) { // connector from the level above
            p.setPen(styleText(GridElement::GroupByBox));
            const QRect prev = chips.at(i - 1);
            p.drawLine(prev.left() + 6, prev.bottom() + 1, prev.left() + 6, r.center().y());
            p.drawLine(prev.left() + 6, r.center().y(), r.left() - 1, r.center().y());
        }
        p.fillRect(r, styleBackground(GridElement::Header));
        p.setPen(styleText(GridElement::Header));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        const int c = columnIndex(groups_.at(i).field);
        p.drawText(r.adjusted(6, 0, -18, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   c < 0 ? groups_.at(i).field : columns_.at(c).caption);
        // Sort direction of the level.
        const QPointF m(r.right() - 10, r.center().y());
        QPolygonF tri;
        if (groups_.at(i).order == Qt::AscendingOrder)
            tri << m + QPointF(-4, 2) << m + QPointF(4, 2) << m + QPointF(0, -3);
        else
            tri << m + QPointF(-4, -2) << m + QPointF(4, -2) << m + QPointF(0, 3);
        p.setBrush(styleText(GridElement::Header));
        p.drawPolygon(tri);
        p.setBrush(Qt::NoBrush);
    }
}

void DataGrid::paintHeader(QPainter& p) const {
    const int top = groupPanelHeight();
    const int h = headerHeight();
    const QColor bg = styleBackground(GridElement::Header);
    const QColor fg = styleText(GridElement::Header);
    p.fillRect(QRect(0, top, viewport()->width(), h), bg);
    p.setFont(styleFont(GridElement::Header));
    const QColor line = bg.darker(140);
    const auto& filter = this->filter().conditions;
    for (int c : visibleOrder()) {
        const auto& col = columns_.at(c);
        const QRect r(columnX(c), top, col.width, h);
        if (r.right() < kIndicatorWidth || r.left() > viewport()->width())
            continue;
        p.save();
        p.setClipRect(QRect(kIndicatorWidth, top, viewport()->width(), h).intersected(r));
        p.setPen(fg);
        int right = kFilterButton + 4;
        int sortRank = -1;
        for (int i = 0; i < sortKeys_.size(); ++i)
            if (sortKeys_.at(i).field == col.field)
                sortRank = i;
        if (sortRank >= 0)
            right += 10;
        p.drawText(r.adjusted(4, 0, -right, 0), int(col.headerAlignment),
                   p.fontMetrics().elidedText(col.caption, Qt::ElideRight,
                                              std::max(0, r.width() - 4 - right)));
        if (sortRank >= 0) {
            const QPointF m(r.right() - kFilterButton - 10, r.center().y());
            QPolygonF tri;
            if (sortKeys_.at(sortRank).order == Qt::AscendingOrder)
                tri << m + QPointF(-4, 2) << m + QPointF(4, 2) << m + QPointF(0, -3);
            else
                tri << m + QPointF(-4, -2) << m + QPointF(4, -2) << m + QPointF(0, 3);
            p.setBrush(fg);
            p.drawPolygon(tri);
        }
        // Filter drop-down button; filled when the column takes part in the filter.
        const bool filtered = std::any_of(filter.begin(), filter.end(),
                                          [&](const auto& k) { return k.field == col.field; });
        const QRect fb = filterButtonRect(c);
        if (filtered)
            p.fillRect(fb, styleBackground(GridElement::Selection));
        const QPointF fm(fb.center().x() + 0.5, fb.center().y() + 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(filtered ? styleText(GridElement::Selection) : fg);
        p.drawPolygon(QPolygonF() << fm + QPointF(-3, -1.5) << fm + QPointF(3, -1.5)
                                  << fm + QPointF(0, 2));
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(r.right(), r.top() + 2, r.right(), r.bottom() - 2);
        p.restore();
    }
    p.setPen(line);
    p.drawLine(0, top + h - 1, viewport()->width(), top + h - 1);
}

void DataGrid::paintFooter(QPainter& p) const {
    const int h = footerHeight();
    const int top = viewport()->height() - h;
    p.fillRect(QRect(0, top, viewport()->width(), h), styleBackground(GridElement::Footer));
    p.setPen(styleBackground(GridElement::Footer).darker(140));
    p.drawLine(0, top, viewport()->width(), top);
    p.setFont(styleFont(GridElement::Footer));
    p.setPen(styleText(GridElement::Footer));
    for (int c : visibleOrder()) {
        const auto& col = columns_.at(c);
        if (!col.footerSum)
            continue;
        const QRect r(columnX(c), top, col.width, h);
        p.drawText(r.adjusted(3, 0, -3, 0),
                   int((col.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter),
                   displayText(col.field, footerSums_.value(col.field)));
    }
}

void DataGrid::paintRows(QPainter& p) {
    const int top = bodyTop();
    const int bottom = bodyBottom();
    p.save();
    p.setClipRect(QRect(0, top, viewport()->width(), bottom - top));
    const int scroll = verticalScrollBar()->value();
    int painted = 0;
    // Only the rows on screen: found by binary search, then walked down.
    for (int v = std::max(0, visualRowAtY(scroll)); v < int(rows_.size()); ++v) {
        const auto& row = rows_[size_t(v)];
        const int y = top + row.y - scroll;
        if (y >= bottom)
            break;
        const QRect r(0, y, viewport()->width(), row.height);
        switch (row.kind) {
        case RowKind::Data:
            paintDataRow(p, row, v, r);
            break;
        case RowKind::Group:
            paintGroupRow(p, row, v, r);
            break;
        case RowKind::GroupFooter:
            paintGroupFooter(p, row, r);
            break;
        case RowKind::Detail:
            paintDetailRow(p, row, r);
            break;
        }
        // Indicator column: the focused row carries the marker.
        const QRect ind(0, y, kIndicatorWidth, row.height);
        p.fillRect(ind, styleBackground(GridElement::Indicator));
        if (v == focusRow_) {
            p.setPen(Qt::NoPen);
            p.setBrush(styleText(GridElement::Indicator));
            const int cy = y + rowLineHeight() / 2;
            p.drawPolygon(QPolygon() << QPoint(3, cy - 4) << QPoint(8, cy) << QPoint(3, cy + 4));
            p.setBrush(Qt::NoBrush);
        }
        ++painted;
    }
    paintedRows_ = painted;
    p.restore();
}

void DataGrid::paintExpandButton(QPainter& p, const QRect& r, bool expanded) const {
    const QRect box(r.center().x() - 4, r.center().y() - 4, 9, 9);
    p.setPen(palette().color(QPalette::Dark));
    p.fillRect(box, palette().color(QPalette::Base));
    p.drawRect(box);
    p.setPen(palette().color(QPalette::Text));
    p.drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
    if (!expanded)
        p.drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
}

void DataGrid::paintDataRow(QPainter& p, const VisualRow& row, int visual, const QRect& r) const {
    const bool focused = visual == focusRow_;
    const GridElement rowElement =
        row.dataIndex % 2 == 0 ? GridElement::ContentEven : GridElement::ContentOdd;
    const GridElement contentElement =
        scheme_.style(rowElement).background.isValid() ? rowElement : GridElement::Content;
    const GridElement selElement = hasFocus() ? GridElement::Selection : GridElement::Inactive;
    const int line = rowLineHeight();
    const QRect cells(r.left(), r.top(), r.width(), line);
    p.fillRect(cells, styleBackground(focused ? selElement : contentElement));
    const int hs = horizontalScrollBar()->value();
    const int left = leftAreaWidth() - hs;
    const auto shown = visibleOrder();
    // Until a cell is clicked the first column holds the focus rectangle.
    const QString focusField =
        focusField_.isEmpty() && !shown.isEmpty() ? columns_.at(shown.first()).field : focusField_;
    if (detailProvider_) {
        QRect b = expandButtonRectFor(row);
        b.moveTop(r.top());
        paintExpandButton(p, b, isRowExpanded(keyOf(row.flatRow)));
    }
    for (int c : shown) {
        const auto& col = columns_.at(c);
        const QRect cr(columnX(c), r.top(), col.width, line);
        if (cr.right() < left || cr.left() > r.right())
            continue;
        // The focused cell keeps the row colours and gets a focus rectangle.
        const bool focusCell = focused && hasFocus() && col.field == focusField;
        const GridElement e = focused && !focusCell ? selElement : contentElement;
        if (focusCell)
            p.fillRect(cr, styleBackground(contentElement));
        const QVariant value = flatValue(row.flatRow, col.field);
        if (col.kind == GridDisplayKind::Icon) {
            if (col.iconPainter)
                col.iconPainter(&p, cr.adjusted(1, 1, -1, -1), value);
        } else {
            p.setFont(styleFont(focused && !focusCell ? selElement : rowElement));
            p.setPen(styleText(e));
            const QString text = displayText(col.field, value);
            p.drawText(cr.adjusted(3, 0, -3, 0), int(col.alignment),
                       p.fontMetrics().elidedText(text, Qt::ElideRight, cr.width() - 6));
        }
        if (focusCell) {
            p.setPen(QPen(styleText(contentElement), 1, Qt::DotLine));
            p.drawRect(cr.adjusted(0, 0, -1, -1));
        }
    }
    if (row.previewHeight > 0) {
        const QRect pr(left, r.top() + line, std::max(columnsWidth(), r.width() - left),
                       row.previewHeight);
        p.fillRect(pr, styleBackground(GridElement::Preview));
        p.save();
        p.setClipRect(pr, Qt::IntersectClip);
        p.setFont(styleFont(GridElement::Preview));
        p.setPen(styleText(GridElement::Preview));
        p.drawText(pr.adjusted(3, 2, -kPreviewRightMargin, -2), Qt::TextWordWrap | Qt::AlignLeft,
                   flatValue(row.flatRow, previewField_).toString());
        p.restore();
    }
    p.setPen(styleBackground(GridElement::Header).darker(115));
    p.drawLine(left, r.bottom(), r.right(), r.bottom());
}

void DataGrid::paintGroupRow(QPainter& p, const VisualRow& row, int visual, const QRect& r) const {
    const QRect b = expandButtonRectFor(row).translated(0, r.top());
    const GridElement e = visual == focusRow_
                              ? (hasFocus() ? GridElement::Selection : GridElement::Inactive)
                              : GridElement::Group;
    p.fillRect(QRect(b.left(), r.top(), r.right() - b.left() + 1, r.height()), styleBackground(e));
    paintExpandButton(p, b, isGroupExpanded(groupModel_->groupPath(row.group)));
    p.setFont(styleFont(GridElement::Group));
    p.setPen(styleText(e));
    p.drawText(QRect(b.right() + 4, r.top(), r.width(), r.height()),
               Qt::AlignLeft | Qt::AlignVCenter, groupText(row));
}

void DataGrid::paintGroupFooter(QPainter& p, const VisualRow& row, const QRect& r) const {
    const int x0 = kIndicatorWidth + (row.level + 1) * kIndent - horizontalScrollBar()->value();
    p.fillRect(QRect(x0, r.top(), r.right() - x0 + 1, r.height()),
               styleBackground(GridElement::Footer));
    p.setFont(styleFont(GridElement::Footer));
    p.setPen(styleText(GridElement::Footer));
    for (int c : visibleOrder()) {
        const auto& col = columns_.at(c);
        if (!col.footerSum)
            continue;
        const QRect cr(columnX(c), r.top(), col.width, r.height());
        p.drawText(
            cr.adjusted(3, 0, -3, 0),
            int((col.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter),
            displayText(col.field, groupModel_->groupSum(row.group, sourceColumn(col.field))));
    }
}

void DataGrid::paintDetailRow(QPainter& p, const VisualRow& row, const QRect& r) const {
    const auto& list = details_.value(keyText(keyOf(row.flatRow)));
    if (row.detail < 0 || row.detail >= list.size())
        return;
    const GridDetailRow& d = list.at(row.detail);
    const int x0 = leftAreaWidth() - horizontalScrollBar()->value();
    const int width = std::max(columnsWidth(), r.width() - x0);
    const int line = rowLineHeight();
    p.fillRect(QRect(x0, r.top(), width, r.height()), styleBackground(GridElement::Content));
    p.setFont(styleFont(GridElement::Content));
    p.setPen(styleText(GridElement::Content));
    const int n = std::max(1, int(detailCaptions_.size()));
    const int each = width / n;
    for (int i = 0; i < n && i < d.values.size(); ++i) {
        const QVariant& v = d.values.at(i);
        QString text = v.toString();
        if (v.typeId() == QMetaType::QDateTime)
            text = QLocale().toString(v.toDateTime(), QLocale::ShortFormat);
        p.drawText(QRect(x0 + i * each + 3, r.top(), each - 6, line),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(text, Qt::ElideRight, each - 6));
    }
    if (row.previewHeight > 0) {
        const QRect pr(x0, r.top() + line, width, row.previewHeight);
        p.fillRect(pr, styleBackground(GridElement::Preview));
        p.setFont(styleFont(GridElement::Preview));
        p.setPen(styleText(GridElement::Preview));
        p.drawText(pr.adjusted(kDetailPreviewIndent, 2, -kPreviewRightMargin, -2),
                   Qt::TextWordWrap | Qt::AlignLeft, d.preview);
    }
    // Horizontal lines only.
    p.setPen(styleBackground(GridElement::Header).darker(130));
    p.drawLine(x0, r.bottom(), x0 + width, r.bottom());
}

void DataGrid::paintDragFeedback(QPainter& p) const {
    if ((drag_ != DragKind::HeaderColumn && drag_ != DragKind::GroupChip) || !dragMoved_)
        return;
    QString caption;
    if (drag_ == DragKind::HeaderColumn && dragColumn_ >= 0)
        caption = columns_.at(dragColumn_).caption;
    else if (drag_ == DragKind::GroupChip && dragColumn_ >= 0 && dragColumn_ < groups_.size()) {
        const int c = columnIndex(groups_.at(dragColumn_).field);
        caption = c < 0 ? groups_.at(dragColumn_).field : columns_.at(c).caption;
    }
    p.setFont(styleFont(GridElement::Header));
    const int w = p.fontMetrics().horizontalAdvance(caption) + 16;
    const QRect r(dragPos_.x() - w / 2, dragPos_.y() - headerHeight() / 2, w, headerHeight());
    p.setOpacity(0.8);
    p.fillRect(r, styleBackground(GridElement::Header));
    p.setPen(styleText(GridElement::Header));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.drawText(r, Qt::AlignCenter, caption);
    p.setOpacity(1.0);
    // Where the column would land in the header or the group panel.
    const int top = groupPanelHeight();
    if (dragPos_.y() >= top && dragPos_.y() < top + headerHeight()) {
        const int pos = headerDropPosition(dragPos_.x());
        const auto vis = visibleOrder();
        const int x = pos < vis.size()
                          ? columnX(vis.at(pos))
                          : leftAreaWidth() - horizontalScrollBar()->value() + columnsWidth();
        p.fillRect(QRect(x - 1, top, 3, headerHeight()), styleText(GridElement::Header));
    } else if (dragPos_.y() < top) {
        const auto chips = groupChipRects();
        const int pos = groupDropPosition(dragPos_.x());
        const int x = chips.isEmpty()      ? 8
                      : pos < chips.size() ? chips.at(pos).left() - 3
                                           : chips.last().right() + 3;
        p.fillRect(QRect(x - 1, 4, 3, top - 8), styleText(GridElement::GroupByBox));
    }
}
