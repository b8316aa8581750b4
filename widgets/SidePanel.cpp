#include "widgets/SidePanel.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QLinearGradient>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Drags stay inside the program: the mime data only names what moves, and
// the widget itself travels in this pointer.
const QString kItemMime = QStringLiteral("application/x-pelloran-sidepanel-item");
const QString kGroupMime = QStringLiteral("application/x-pelloran-sidepanel-group");
QPointer<QWidget> g_dragged;

constexpr int kCaptionHeight = 24;
constexpr int kItemPadding = 4;

void startDrag(QWidget* source, const QString& mime) {
    g_dragged = source;
    auto* data = new QMimeData; // owned by the drag
    data->setData(mime, QByteArray());
    QDrag drag(source);
    drag.setMimeData(data);
    drag.setPixmap(source->grab());
    drag.exec(Qt::MoveAction);
    g_dragged = nullptr;
}
} // namespace

// ---------------------------------------------------------------- item

SidePanelItem::SidePanelItem(QAction* action, QWidget* parent)
    : QWidget(parent)
    , action_(action) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    connect(action, &QAction::changed, this, &SidePanelItem::actionChanged);
    actionChanged();
}

QString SidePanelItem::text() const {
    if (!action_)
        return {};
    QString t = action_->text();
    return t.remove(QLatin1Char('&'));
}

QFont SidePanelItem::drawnFont() const {
    QFont f = font();
    f.setUnderline(hovered_ && isEnabled());
    return f;
}

QSize SidePanelItem::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 2 * kItemPadding + 8, fm.height() + 2 * kItemPadding};
}

void SidePanelItem::actionChanged() {
    if (!action_)
        return;
    setEnabled(action_->isEnabled());
    setVisible(action_->isVisible());
    setObjectName(action_->objectName());
    updateGeometry();
    update();
}

void SidePanelItem::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setFont(drawnFont());
    p.setPen(isEnabled() ? QColor(Qt::black) : QColor(Qt::gray));
    p.drawText(rect().adjusted(kItemPadding + 8, 0, -kItemPadding, 0),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

void SidePanelItem::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void SidePanelItem::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void SidePanelItem::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(event);
}

void SidePanelItem::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        pressPos_ = event->position().toPoint();
    }
    event->accept();
}

void SidePanelItem::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_ && (event->position().toPoint() - pressPos_).manhattanLength() >=
                        QApplication::startDragDistance()) {
        pressed_ = false;
        hovered_ = false;
        startDrag(this, kItemMime);
    }
}

void SidePanelItem::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    // Nothing stays selected: a click only runs the command.
    if (click && action_ && action_->isEnabled())
        action_->trigger();
}

// ---------------------------------------------------------------- group

SidePanelGroup::SidePanelGroup(const QString& caption, QWidget* parent)
    : QWidget(parent)
    , caption_(caption) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, kCaptionHeight, 0, 0);
    lay->setSpacing(0);
    body_ = new QWidget(this);
    body_->setAutoFillBackground(true);
    QPalette pal = body_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    body_->setPalette(pal);
    bodyLayout_ = new QVBoxLayout(body_);
    bodyLayout_->setContentsMargins(0, 4, 0, 4);
    bodyLayout_->setSpacing(0);
    lay->addWidget(body_);

    expandButton_ = new QToolButton(this);
    expandButton_->setObjectName(QStringLiteral("expandButton"));
    expandButton_->setAutoRaise(true);
    expandButton_->setArrowType(Qt::UpArrow);
    expandButton_->setFixedSize(kCaptionHeight - 4, kCaptionHeight - 4);
    expandButton_->setCursor(Qt::ArrowCursor);
    connect(expandButton_, &QToolButton::clicked, this, [this] { setExpanded(!expanded_); });
}

void SidePanelGroup::setExpanded(bool expanded) {
    if (expanded_ == expanded)
        return;
    expanded_ = expanded;
    body_->setVisible(expanded);
    expandButton_->setArrowType(expanded ? Qt::UpArrow : Qt::DownArrow);
    emit expandedChanged(expanded);
}

SidePanelItem* SidePanelGroup::addItem(QAction* action) {
    auto* item = new SidePanelItem(action, body_);
    bodyLayout_->addWidget(item);
    return item;
}

void SidePanelGroup::insertItem(int position, SidePanelItem* item) {
    if (item->parentWidget() == body_) {
        const int at = bodyLayout_->indexOf(item);
        bodyLayout_->removeWidget(item);
        if (at < position)
            --position;
    } else {
        item->setParent(body_);
    }
    bodyLayout_->insertWidget(std::clamp(position, 0, bodyLayout_->count()), item);
    item->show();
}

QList<SidePanelItem*> SidePanelGroup::items() const {
    QList<SidePanelItem*> out;
    for (int i = 0; i < bodyLayout_->count(); ++i)
        if (auto* item = qobject_cast<SidePanelItem*>(bodyLayout_->itemAt(i)->widget()))
            out << item;
    return out;
}

int SidePanelGroup::dropPosition(int y) const {
    const auto list = items();
    for (int i = 0; i < list.size(); ++i) {
        const QRect r = list.at(i)->geometry().translated(body_->pos());
        if (y < r.center().y())
            return i;
    }
    return int(list.size());
}

QRect SidePanelGroup::captionRect() const {
    return {0, 0, width(), kCaptionHeight};
}

void SidePanelGroup::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect cap = captionRect();
    QLinearGradient g(cap.topLeft(), cap.topRight());
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(192, 192, 192));
    p.fillRect(cap, g);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(cap.adjusted(6, 0, -kCaptionHeight, 0),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    expandButton_->move(cap.right() - kCaptionHeight + 3, 2);
}

void SidePanelGroup::mousePressEvent(QMouseEvent* event) {
    pressPos_ = event->position().toPoint();
    pressedOnCaption_ = event->button() == Qt::LeftButton && captionRect().contains(pressPos_);
}

void SidePanelGroup::mouseMoveEvent(QMouseEvent* event) {
    if (pressedOnCaption_ && (event->position().toPoint() - pressPos_).manhattanLength() >=
                                 QApplication::startDragDistance()) {
        pressedOnCaption_ = false;
        startDrag(this, kGroupMime);
    }
}

void SidePanelGroup::mouseDoubleClickEvent(QMouseEvent* event) {
    if (captionRect().contains(event->position().toPoint()))
        setExpanded(!expanded_);
}

// ---------------------------------------------------------------- panel

SidePanel::SidePanel(QWidget* parent)
    : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, backgroundColor());
    setPalette(pal);
    setAcceptDrops(true);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(8, 8, 8, 8);
    layout_->setSpacing(12);
    layout_->addStretch(1);
}

QColor SidePanel::backgroundColor() {
    return {178, 180, 191};
}

SidePanelGroup* SidePanel::addGroup(const QString& objectName, const QString& caption) {
    auto* group = new SidePanelGroup(caption, this);
    group->setObjectName(objectName);
    layout_->insertWidget(layout_->count() - 1, group); // above the stretch
    return group;
}

QList<SidePanelGroup*> SidePanel::groups() const {
    QList<SidePanelGroup*> out;
    for (int i = 0; i < layout_->count(); ++i)
        if (auto* g = qobject_cast<SidePanelGroup*>(layout_->itemAt(i)->widget()))
            out << g;
    return out;
}

void SidePanel::moveGroup(SidePanelGroup* group, int position) {
    const int at = layout_->indexOf(group);
    if (at < 0)
        return;
    layout_->removeWidget(group);
    if (at < position)
        --position;
    layout_->insertWidget(std::clamp(position, 0, layout_->count() - 1), group);
}

SidePanelItem* SidePanel::itemFor(const QAction* action) const {
    for (SidePanelGroup* g : groups())
        for (SidePanelItem* item : g->items())
            if (item->action() == action)
                return item;
    return nullptr;
}

void SidePanel::dragEnterEvent(QDragEnterEvent* event) {
    if (g_dragged &&
        (event->mimeData()->hasFormat(kItemMime) || event->mimeData()->hasFormat(kGroupMime)))
        event->acceptProposedAction();
}

void SidePanel::dragMoveEvent(QDragMoveEvent* event) {
    if (g_dragged)
        event->acceptProposedAction();
}

void SidePanel::dropEvent(QDropEvent* event) {
    if (!g_dragged)
        return;
    const QPoint pos = event->position().toPoint();
    const auto list = groups();
    if (event->mimeData()->hasFormat(kGroupMime)) {
        auto* group = qobject_cast<SidePanelGroup*>(g_dragged.data());
        int position = 0;
        while (position < list.size() && pos.y() > list.at(position)->geometry().center().y())
            ++position;
        if (group)
            moveGroup(group, position);
    } else if (auto* item = qobject_cast<SidePanelItem*>(g_dragged.data())) {
        // Into the group under the point, or the nearest one above it.
        SidePanelGroup* target = list.isEmpty() ? nullptr : list.first();
        for (SidePanelGroup* g : list)
            if (g->geometry().top() <= pos.y())
                target = g;
        if (target) {
            target->setExpanded(true);
            target->insertItem(target->dropPosition(pos.y() - target->y()), item);
        }
    }
    event->acceptProposedAction();
}
