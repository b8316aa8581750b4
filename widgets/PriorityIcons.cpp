#include "widgets/PriorityIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace PriorityIcons {

QColor highColor() {
    return QColor(0xD0, 0x10, 0x10);
}
QColor lowColor() {
    return QColor(0x20, 0x50, 0xD0);
}

namespace {
// One mark in a cell w wide, h high, at x.
void exclamation(QPainter* p, const QRectF& r) {
    const double w = r.width() * 0.5;
    const double x = r.center().x() - w / 2;
    p->drawRoundedRect(QRectF(x, r.top(), w, r.height() * 0.64), w / 2.5, w / 2.5);
    p->drawEllipse(QRectF(x, r.bottom() - w, w, w));
}
void downArrow(QPainter* p, const QRectF& r) {
    const double cx = r.center().x();
    const double shaft = r.width() * 0.36;
    QPainterPath path;
    path.moveTo(cx - shaft / 2, r.top());
    path.lineTo(cx + shaft / 2, r.top());
    path.lineTo(cx + shaft / 2, r.top() + r.height() * 0.5);
    path.lineTo(r.right(), r.top() + r.height() * 0.5);
    path.lineTo(cx, r.bottom());
    path.lineTo(r.left(), r.top() + r.height() * 0.5);
    path.lineTo(cx - shaft / 2, r.top() + r.height() * 0.5);
    path.closeSubpath();
    p->drawPath(path);
}
} // namespace

void paint(QPainter* painter, const QRect& rect, int priority) {
    int marks = 0;
    bool high = true;
    switch (priority) {
    case 1:
        marks = 2;
        break;
    case 2:
        marks = 1;
        break;
    case 4:
        marks = 1;
        high = false;
        break;
    case 5:
        marks = 2;
        high = false;
        break;
    default:
        return;
    }
    const double side = std::min(16, std::min(rect.width(), rect.height()) - 2);
    if (side < 4)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(high ? highColor() : lowColor());
    const QRectF box(rect.center().x() - side / 2 + 0.5, rect.center().y() - side / 2 + 0.5, side,
                     side);
    const double each = marks == 2 ? side / 2 : (high ? side / 2 : side * 0.7);
    const double left = box.center().x() - each * marks / 2;
    for (int i = 0; i < marks; ++i) {
        const QRectF cell(left + i * each, box.top(), each, box.height());
        if (high)
            exclamation(painter, cell);
        else
            downArrow(painter, cell.adjusted(each * 0.05, 0, -each * 0.05, 0));
    }
    painter->restore();
}

GridIconPainter painter() {
    return [](QPainter* p, const QRect& r, const QVariant& v) {
        bool ok = false;
        const int priority = v.toInt(&ok);
        if (ok)
            paint(p, r, priority);
    };
}

} // namespace PriorityIcons
