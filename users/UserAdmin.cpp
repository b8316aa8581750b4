#include "users/UserAdmin.h"

#include "data/DataChangeWatcher.h"
#include "data/Dataset.h"
#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "users/EditDeveloper.h"
#include "widgets/ErrorHandling.h"
#include "widgets/LiveRefresh.h"
#include "widgets/MessageBoxes.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

UserAdmin::UserAdmin(QWidget* owner)
    : QObject(owner)
    , owner_(owner) {
    const auto make = [this](const QString& caption, const char* name) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("category", QStringLiteral("Users"));
        return a;
    };
    actAddUser = make(QStringLiteral("&Add User..."), "actAddUser");
    actEditUser = make(QStringLiteral("&Edit User..."), "actEditUser");
    actDeleteUser = make(QStringLiteral("&Delete User"), "actDeleteUser");

    const bool admin = dmGlobals && dmGlobals->CurrentUserIsAdmin;
    actEditUser->setEnabled(admin);
    actDeleteUser->setEnabled(admin);

    connect(actAddUser, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { btnAddUserClick(); }); });
    connect(actEditUser, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { btnEditUserClick(); }); });
    connect(actDeleteUser, &QAction::triggered, this,
            [this] { ErrorHandling::guarded([this] { btnDeleteUserClick(); }); });

    popUsers = new QMenu(owner);
    popUsers->setObjectName(QStringLiteral("popUsers"));
    popUsers->addAction(actAddUser);
    popUsers->addAction(actEditUser);
    popUsers->addSeparator();
    popUsers->addAction(actDeleteUser);

    // Users another copy adds, edits or deletes show while the list is open.
    if (dmGlobals)
        new LiveRefresh(owner, *dmGlobals->changeWatcher, [this] {
            dmGlobals->dbUsers->refresh();
            emit usersChanged();
        });
}

UserAdmin::~UserAdmin() = default;

QPushButton* UserAdmin::makeButton(QAction* action, QWidget* parent) {
    auto* button = new QPushButton(action->text(), parent);
    button->setObjectName(QStringLiteral("btn") + action->objectName().mid(3));
    button->setAutoDefault(false);
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    return button;
}

int UserAdmin::btnAddUserClick() {
    const int id = AddDeveloper(owner_);
    dmGlobals->dbUsers->refresh();
    emit usersChanged();
    return id;
}

void UserAdmin::btnEditUserClick() {
    // Only administrators edit users, however the command was reached.
    if (!dmGlobals->CurrentUserIsAdmin || !dmGlobals->dbUsers->hasCurrent())
        return;
    EditDeveloper(dmGlobals->dbUsers->fieldByName(QStringLiteral("Developer ID")).asInteger(),
                  owner_);
    dmGlobals->dbUsers->refresh();
    emit usersChanged();
}

bool UserAdmin::btnDeleteUserClick() {
    DbTable* users = dmGlobals->dbUsers;
    if (!dmGlobals->CurrentUserIsAdmin || !users->hasCurrent())
        return false;
    if (users->recordCount() == 1) {
        Msg::information(owner_, QStringLiteral("You cannot delete the only user."));
        return false;
    }
    // Without an administrator nobody could manage users any more.
    DbConnection& conn = users->connection();
    const int developerID = users->fieldByName(QStringLiteral("Developer ID")).asInteger();
    QString refusal = refuseUserDelete(conn, developerID);
    if (refusal.isEmpty()) {
        if (!Msg::confirm(owner_, QStringLiteral("Are you sure you want to delete this user?")))
            return false;
        // Asked again in the write: another copy may have demoted the others meanwhile.
        DbConnection::Transaction tx(conn);
        refusal = refuseUserDelete(conn, developerID);
        if (refusal.isEmpty()) {
            users->deleteRecord();
            tx.commit();
        }
    }
    if (!refusal.isEmpty()) {
        Msg::information(owner_, refusal);
        return false;
    }
    emit usersChanged();
    return true;
}
