#pragma once
// The navigation side panel of the main window: groups with a caption bar
// and an expand button, each holding link-like items bound to actions. An
// item shows its action's text and enabled state and triggers it on click;
// it is underlined while the mouse is over it and grey while disabled.
// Items and groups can be dragged to another place; nothing keeps that order.
#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;
class QToolButton;
class QVBoxLayout;
class SidePanelGroup;

class SidePanelItem : public QWidget {
    Q_OBJECT
public:
    SidePanelItem(QAction* action, QWidget* parent = nullptr);

    QAction* action() const { return action_; }
    QString text() const;
    bool isHovered() const { return hovered_; }
    // The font the text is drawn with at the moment (underlined while hovered).
    QFont drawnFont() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void actionChanged();
    QPointer<QAction> action_;
    bool hovered_ = false;
    bool pressed_ = false;
    QPoint pressPos_;
};

class SidePanelGroup : public QWidget {
    Q_OBJECT
public:
    SidePanelGroup(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    QToolButton* expandButton() const { return expandButton_; }
    void setExpanded(bool expanded);
    bool isExpanded() const { return expanded_; }

    SidePanelItem* addItem(QAction* action);
    // Puts an item (of this or another group) at a position among this group's items.
    void insertItem(int position, SidePanelItem* item);
    QList<SidePanelItem*> items() const;
    // The item position a drop at y (group coordinates) lands on.
    int dropPosition(int y) const;
    // The caption bar, where the group is grabbed to move it.
    QRect captionRect() const;

signals:
    void expandedChanged(bool expanded);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString caption_;
    bool expanded_ = true;
    QToolButton* expandButton_ = nullptr;
    QWidget* body_ = nullptr;
    QVBoxLayout* bodyLayout_ = nullptr;
    QPoint pressPos_;
    bool pressedOnCaption_ = false;
};

class SidePanel : public QWidget {
    Q_OBJECT
public:
    explicit SidePanel(QWidget* parent = nullptr);

    static QColor backgroundColor(); // RGB(178,180,191)

    SidePanelGroup* addGroup(const QString& objectName, const QString& caption);
    QList<SidePanelGroup*> groups() const;
    // Puts a group at a position among the groups.
    void moveGroup(SidePanelGroup* group, int position);
    // The item that shows this action, or null.
    SidePanelItem* itemFor(const QAction* action) const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QVBoxLayout* layout_ = nullptr;
};
