#pragma once
// The user administration of the options dialog's "User Setup" page: the
// commands Add User, Edit User and Delete User on the users table of the
// global data module, with their captions, enabled rules and context menu.
// The page's list shows dmGlobals->dbUsers; its focused row must be that
// table's current row.
#include <QObject>

class QAction;
class QMenu;
class QPushButton;
class QWidget;

class UserAdmin : public QObject {
    Q_OBJECT
public:
    // `owner` is the window the commands work for (boxes and dialogs belong to
    // it); it owns the context menu. Edit and Delete are enabled once, here,
    // for administrators only.
    explicit UserAdmin(QWidget* owner);
    ~UserAdmin() override;

    QAction* actAddUser = nullptr;    // "&Add User..."
    QAction* actEditUser = nullptr;   // "&Edit User..."
    QAction* actDeleteUser = nullptr; // "&Delete User"
    // Add, Edit, separator, Delete.
    QMenu* popUsers = nullptr;

    // A button under the list that runs the command and shares its caption
    // and enabled state; owned by `parent`.
    static QPushButton* makeButton(QAction* action, QWidget* parent);

    // The handlers. Errors of the table engine propagate; the actions hand
    // them to the central error handler. A double-click on a row should
    // trigger actEditUser, which does nothing while it is disabled.
    // The new user's "Developer ID", or 0 when the dialog was cancelled.
    int btnAddUserClick();
    void btnEditUserClick();
    // True when a user was deleted.
    bool btnDeleteUserClick();

signals:
    // dmGlobals->dbUsers changed (refreshed or a row deleted): the list re-reads it.
    void usersChanged();

private:
    QWidget* owner_;
};
