// The user dialog and the user administration commands, driven through their
// own event loops: who may add, edit and delete users, what the dialog stores
// (passwords as hashes only), its two validation messages and the last user.
#include "users/EditDeveloper.h"
#include "users/UserAdmin.h"

#include "UsersFixture.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

namespace {
const QString kLoginMissing = QStringLiteral("You must specify a Login for this user.");
const QString kNameMissing = QStringLiteral("You must specify a Name for this user.");
const QString kOnlyUser = QStringLiteral("You cannot delete the only user.");
const QString kConfirmDelete = QStringLiteral("Are you sure you want to delete this user?");
const QString kLastAdminDemoted = QStringLiteral(
    "This user is the last administrator. Make another user an administrator before removing "
    "this one's administrator rights.");
const QString kLastAdminDeleted = QStringLiteral(
    "You cannot delete the last administrator. Make another user an administrator first.");
QString loginTaken(const QString& login) {
    return QStringLiteral("Another user already has the login name \"") + login +
           QStringLiteral("\". Please choose another login name.");
}

struct StoredUser {
    bool found = false;
    QString login, name, passwordHash;
    int defaultProject = 0;
    bool adminNull = true;
    bool admin = false;
};
} // namespace

class TestEditDeveloper : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init();
    void cleanup() {
        drainMessageAnswers();
        owner.reset();
        data.reset();
    }

    void administration_data();
    void administration();
    void validation_data();
    void validation();
    void addStoresTypedValuesWithinFieldWidths();
    void cancelAddsNothing();
    void passwordOnEdit_data();
    void passwordOnEdit();
    void editUnknownUserShowsNothing();
    void deleteOnlyUser();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void refusedSaves_data();
    void refusedSaves();
    void deleteLastAdministrator();

private:
    int addUser(const QString& login, const QString& name, const QString& password, bool admin);
    int projectNamed(const QString& name);
    StoredUser stored(int developerID);
    int userCount() { return data->table(QStringLiteral("Developers"))->recordCount(); }
    void logIn(int id, bool admin) {
        data->globals->CurrentUserID = id;
        data->globals->CurrentUserIsAdmin = admin;
    }

    std::unique_ptr<UsersFixture> data;
    std::unique_ptr<QWidget> owner;
    int adminID = 0;
    int bobID = 0;
    int projectID = 0;
};

int TestEditDeveloper::addUser(const QString& login, const QString& name, const QString& password,
                               bool admin) {
    DbTable* users = data->globals->dbUsers;
    users->append();
    users->fieldByName(QStringLiteral("LoginName")).setAsString(login);
    users->fieldByName(QStringLiteral("Name")).setAsString(name);
    users->fieldByName(QStringLiteral("Password")).setAsString(hashPassword(password));
    users->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(admin);
    users->post();
    return users->fieldByName(QStringLiteral("Developer ID")).asInteger();
}

int TestEditDeveloper::projectNamed(const QString& name) {
    auto projects = data->table(QStringLiteral("Projects"));
    projects->append();
    projects->fieldByName(QStringLiteral("Name")).setAsString(name);
    projects->post();
    return projects->fieldByName(QStringLiteral("Project ID")).asInteger();
}

StoredUser TestEditDeveloper::stored(int developerID) {
    StoredUser u;
    auto users = data->table(QStringLiteral("Developers"));
    if (!users->locate(QStringLiteral("Developer ID"), developerID))
        return u;
    u.found = true;
    u.login = users->fieldByName(QStringLiteral("LoginName")).asString();
    u.name = users->fieldByName(QStringLiteral("Name")).asString();
    u.passwordHash = users->fieldByName(QStringLiteral("Password")).asString();
    u.defaultProject = users->fieldByName(QStringLiteral("Default Project ID")).asInteger();
    u.adminNull = users->fieldByName(QStringLiteral("IsAdmin")).isNull();
    u.admin = users->fieldByName(QStringLiteral("IsAdmin")).asBoolean();
    return u;
}

void TestEditDeveloper::init() {
    data = std::make_unique<UsersFixture>();
    owner = std::make_unique<QWidget>();
    adminID = addUser(QStringLiteral("admin"), QStringLiteral("Administrator"),
                      QStringLiteral("secret"), true);
    bobID =
        addUser(QStringLiteral("bob"), QStringLiteral("Bob Jones"), QStringLiteral("bobpw"), false);
    projectID = projectNamed(QStringLiteral("Apollo"));
    logIn(adminID, true);
}

void TestEditDeveloper::administration_data() {
    QTest::addColumn<bool>("isAdmin");
    QTest::addColumn<bool>("mayEditAndDelete");
    QTest::addColumn<bool>("adminBoxEnabled");
    QTest::addColumn<bool>("newUserIsAdmin"); // after ticking the box when it can be ticked

    QTest::newRow("administrator") << true << true << true << true;
    QTest::newRow("other user") << false << false << false << false;
}

// Anyone adds users; only administrators edit, delete, or hand out the flag.
void TestEditDeveloper::administration() {
    QFETCH(bool, isAdmin);
    QFETCH(bool, mayEditAndDelete);
    QFETCH(bool, adminBoxEnabled);
    QFETCH(bool, newUserIsAdmin);
    logIn(isAdmin ? adminID : bobID, isAdmin);

    UserAdmin admin(owner.get());
    QVERIFY(admin.actAddUser->isEnabled());
    QCOMPARE(admin.actEditUser->isEnabled(), mayEditAndDelete);
    QCOMPARE(admin.actDeleteUser->isEnabled(), mayEditAndDelete);
    const QList<QAction*> menu = admin.popUsers->actions();
    QCOMPARE(menu.size(), 4);
    QCOMPARE(menu[0], admin.actAddUser);
    QCOMPARE(menu[1], admin.actEditUser);
    QVERIFY(menu[2]->isSeparator());
    QCOMPARE(menu[3], admin.actDeleteUser);

    QSignalSpy changed(&admin, &UserAdmin::usersChanged);
    bool boxEnabled = !adminBoxEnabled;
    const int newID = driveModal<TfrmEditDeveloper, int>(
        [&] { return admin.btnAddUserClick(); },
        [&](TfrmEditDeveloper* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Add User"));
            boxEnabled = dlg->cbAdministrator->isEnabled();
            QTest::mouseClick(dlg->cbAdministrator, Qt::LeftButton);
            QTest::keyClicks(dlg->txtLogin, QStringLiteral("carol"));
            QTest::keyClicks(dlg->txtName, QStringLiteral("Carol King"));
            QTest::keyClicks(dlg->txtPassword, QStringLiteral("carolpw"));
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        });
    QCOMPARE(boxEnabled, adminBoxEnabled);
    QVERIFY(newID != 0);
    QCOMPARE(stored(newID).admin, newUserIsAdmin);
    QCOMPARE(changed.size(), 1);
    // The shared list sees the new row.
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), newID));

    // Edit through the command (as the double-click does): only administrators get a dialog.
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), bobID));
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto* dlg = qobject_cast<TfrmEditDeveloper*>(QApplication::activeModalWidget())) {
            opened = true;
            QCOMPARE(dlg->txtLogin->text(), QStringLiteral("bob"));
            dlg->reject();
        }
    });
    admin.actEditUser->trigger();
    QTest::qWait(20); // lets the check run when no dialog was opened
    QCOMPARE(opened, mayEditAndDelete);

    // Delete through the command: others cannot even be asked.
    Msg::pushAnswer(Msg::Answer::No);
    admin.actDeleteUser->trigger();
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), mayEditAndDelete ? 1 : 0);
    drainMessageAnswers();
    QVERIFY(stored(bobID).found);
}

void TestEditDeveloper::validation_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("focusOnLogin");

    QTest::newRow("empty login") << QString() << QStringLiteral("Dan") << kLoginMissing << true;
    QTest::newRow("blank login") << QStringLiteral("   ") << QStringLiteral("Dan") << kLoginMissing
                                 << true;
    QTest::newRow("both empty") << QString() << QString() << kLoginMissing << true;
    QTest::newRow("empty name") << QStringLiteral("dan") << QString() << kNameMissing << false;
    QTest::newRow("blank name") << QStringLiteral("dan") << QStringLiteral("  ") << kNameMissing
                                << false;
}

void TestEditDeveloper::validation() {
    QFETCH(QString, login);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(bool, focusOnLogin);

    bool stayedOpen = false;
    bool focusRight = false;
    const int id = driveModal<TfrmEditDeveloper, int>(
        [] { return AddDeveloper(); },
        [&](TfrmEditDeveloper* dlg) {
            QTest::keyClicks(dlg->txtLogin, login);
            QTest::keyClicks(dlg->txtName, name);
            dlg->txtPassword->setFocus();
            Msg::pushAnswer(Msg::Answer::Ok);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
            stayedOpen = dlg->isVisible();
            focusRight =
                QApplication::focusWidget() == (focusOnLogin ? dlg->txtLogin : dlg->txtName);
        });
    QVERIFY(stayedOpen);
    QVERIFY(focusRight);
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, message);
    QCOMPARE(id, 0);
    QCOMPARE(userCount(), 2);
}

// Values are stored as typed (no trimming, no case change); typing stops at
// the field widths; the password is stored only as a hash.
void TestEditDeveloper::addStoresTypedValuesWithinFieldWidths() {
    const QString longName = QString(60, u'n');
    const int id = driveModal<TfrmEditDeveloper, int>(
        [] { return AddDeveloper(); },
        [&](TfrmEditDeveloper* dlg) {
            QTest::keyClicks(dlg->txtLogin, QStringLiteral(" Bob"));
            QTest::keyClicks(dlg->txtName, longName);
            QTest::keyClicks(dlg->txtPassword, QString(35, u'p'));
            QTest::keyClicks(dlg->txtLogin, QString(30, u'x'));
            dlg->cmbDefaultProject->setKeyValue(projectID);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        });
    QVERIFY(id != 0);
    const StoredUser u = stored(id);
    QCOMPARE(u.login, QStringLiteral(" Bob") + QString(16, u'x'));
    QCOMPARE(u.name, QString(50, u'n'));
    QCOMPARE(u.defaultProject, projectID);
    QVERIFY(!u.adminNull);
    QVERIFY(!u.admin);
    QVERIFY(u.passwordHash != QString(30, u'p'));
    QVERIFY(passwordMatches(u.passwordHash, QString(30, u'p')));
    QCOMPARE(userCount(), 3);
}

void TestEditDeveloper::cancelAddsNothing() {
    for (const bool byEscape : {false, true}) {
        const int id = driveModal<TfrmEditDeveloper, int>(
            [] { return AddDeveloper(); },
            [&](TfrmEditDeveloper* dlg) {
                QTest::keyClicks(dlg->txtLogin, QStringLiteral("erin"));
                QTest::keyClicks(dlg->txtName, QStringLiteral("Erin"));
                if (byEscape)
                    QTest::keyClick(dlg, Qt::Key_Escape);
                else
                    QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
            });
        QCOMPARE(id, 0);
        QCOMPARE(userCount(), 2);
    }
}

void TestEditDeveloper::passwordOnEdit_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("left empty keeps the password") << QString();
    QTest::newRow("typed replaces it") << QStringLiteral("n3w pass");
}

void TestEditDeveloper::passwordOnEdit() {
    QFETCH(QString, typed);
    const StoredUser before = stored(bobID);

    bool boxStartedEmpty = false;
    driveModal<TfrmEditDeveloper, int>(
        [&] {
            EditDeveloper(bobID);
            return 0;
        },
        [&](TfrmEditDeveloper* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Edit User"));
            QCOMPARE(dlg->txtName->text(), QStringLiteral("Bob Jones"));
            boxStartedEmpty = dlg->txtPassword->text().isEmpty();
            dlg->txtName->clear();
            QTest::keyClicks(dlg->txtName, QStringLiteral("Robert Jones"));
            QTest::keyClicks(dlg->txtPassword, typed);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        });
    QVERIFY(boxStartedEmpty);
    const StoredUser after = stored(bobID);
    QCOMPARE(after.name, QStringLiteral("Robert Jones"));
    QCOMPARE(after.login, QStringLiteral("bob"));
    QVERIFY(!after.admin);
    if (typed.isEmpty()) {
        QCOMPARE(after.passwordHash, before.passwordHash);
    } else {
        QVERIFY(after.passwordHash != typed);
        QVERIFY(passwordMatches(after.passwordHash, typed));
        QVERIFY(!passwordMatches(after.passwordHash, QStringLiteral("bobpw")));
    }
}

void TestEditDeveloper::editUnknownUserShowsNothing() {
    bool opened = false;
    QTimer::singleShot(0, [&] { opened = QApplication::activeModalWidget() != nullptr; });
    EditDeveloper(9999);
    QTest::qWait(20);
    QVERIFY(!opened);
}

void TestEditDeveloper::deleteOnlyUser() {
    data->globals->dbUsers->locate(QStringLiteral("Developer ID"), bobID);
    data->globals->dbUsers->deleteRecord();
    QCOMPARE(userCount(), 1);
    data->globals->dbUsers->first();

    UserAdmin admin(owner.get());
    Msg::pushAnswer(Msg::Answer::Ok);
    QVERIFY(!admin.btnDeleteUserClick());
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, kOnlyUser);
    QCOMPARE(userCount(), 1);
}

void TestEditDeveloper::deleteAsksFirst_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes deletes") << true;
    QTest::newRow("No keeps") << false;
}

void TestEditDeveloper::deleteAsksFirst() {
    QFETCH(bool, yes);
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), bobID));
    UserAdmin admin(owner.get());
    QSignalSpy changed(&admin, &UserAdmin::usersChanged);
    Msg::pushAnswer(yes ? Msg::Answer::Yes : Msg::Answer::No);
    QCOMPARE(admin.btnDeleteUserClick(), yes);
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Confirm);
    QCOMPARE(shown[0].text, kConfirmDelete);
    QCOMPARE(stored(bobID).found, !yes);
    QVERIFY(stored(adminID).found);
    QCOMPARE(changed.size(), yes ? 1 : 0);
}

void TestEditDeveloper::refusedSaves_data() {
    QTest::addColumn<QString>("who"); // "new", "bob" or "admin"
    QTest::addColumn<QString>("login");
    QTest::addColumn<bool>("untickAdmin");
    QTest::addColumn<QString>("message"); // empty: saved
    QTest::newRow("new user: another's name, other case") << "new"
                                                          << "BOB" << false << loginTaken("BOB");
    QTest::newRow("new user: another's name, trailing blank")
        << "new"
        << "bob " << false << loginTaken("bob");
    QTest::newRow("rename onto another user") << "bob"
                                              << "Admin" << false << loginTaken("Admin");
    QTest::newRow("own name in other case") << "bob"
                                            << "BOB" << false << "";
    QTest::newRow("last administrator gives up the flag") << "admin"
                                                          << "admin" << true << kLastAdminDemoted;
}

// A refused save says why, keeps the dialog open on the box at fault and
// stores nothing.
void TestEditDeveloper::refusedSaves() {
    QFETCH(QString, who);
    QFETCH(QString, login);
    QFETCH(bool, untickAdmin);
    QFETCH(QString, message);
    const int id = who == u"bob" ? bobID : who == u"admin" ? adminID : 0;
    const StoredUser before = stored(id);
    bool stayedOpen = false;
    QWidget* focused = nullptr;
    QWidget* expectedFocus = nullptr;
    driveModal<TfrmEditDeveloper, int>(
        [&] {
            if (id == 0)
                return AddDeveloper();
            EditDeveloper(id);
            return 0;
        },
        [&](TfrmEditDeveloper* dlg) {
            dlg->txtLogin->clear();
            QTest::keyClicks(dlg->txtLogin, login);
            if (id == 0)
                QTest::keyClicks(dlg->txtName, QStringLiteral("Someone"));
            if (untickAdmin)
                dlg->cbAdministrator->setChecked(false);
            Msg::pushAnswer(Msg::Answer::Ok);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
            stayedOpen = dlg->isVisible();
            focused = QApplication::focusWidget();
            expectedFocus = untickAdmin ? static_cast<QWidget*>(dlg->cbAdministrator)
                                        : static_cast<QWidget*>(dlg->txtLogin);
        });
    const QList<Msg::Shown> shown = Msg::takeShown();
    drainMessageAnswers(); // the answer a saved dialog did not need
    if (message.isEmpty()) {
        QVERIFY(shown.isEmpty());
        QVERIFY(!stayedOpen);
        QCOMPARE(stored(id).login, login);
        return;
    }
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, message);
    QVERIFY(stayedOpen);
    QCOMPARE(focused, expectedFocus);
    QCOMPARE(userCount(), 2);
    if (id != 0) {
        QCOMPARE(stored(id).login, before.login);
        QCOMPARE(stored(id).admin, before.admin);
    }
}

void TestEditDeveloper::deleteLastAdministrator() {
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), adminID));
    UserAdmin admin(owner.get());
    Msg::pushAnswer(Msg::Answer::Ok);
    QVERIFY(!admin.btnDeleteUserClick());
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1); // refused before anything is asked
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, kLastAdminDeleted);
    QVERIFY(stored(adminID).found);
    // With a second administrator the first may go.
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), bobID));
    data->globals->dbUsers->edit();
    data->globals->dbUsers->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(true);
    data->globals->dbUsers->post();
    QVERIFY(data->globals->dbUsers->locate(QStringLiteral("Developer ID"), adminID));
    Msg::pushAnswer(Msg::Answer::Yes);
    QVERIFY(admin.btnDeleteUserClick());
    QCOMPARE(Msg::takeShown().size(), 1);
    QVERIFY(!stored(adminID).found);
}

QTEST_MAIN(TestEditDeveloper)
#include "tst_editdeveloper.moc"
