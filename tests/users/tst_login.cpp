// The login dialog driven through its own event loop against a users table
// with known rows: name and password rules, the attempt limit, and what a
// login writes into the global data module.
#include "users/LoginForm.h"

#include "UsersFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <sodium.h>

using Attempt = QPair<QString, QString>; // name, password as typed
using Attempts = QList<Attempt>;

class TestLogin : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init();
    void cleanup() {
        drainMessageAnswers();
        data.reset();
    }

    void dialogLayout();
    void attempts_data();
    void attempts();
    void cancelLeavesNobodyLoggedIn_data();
    void cancelLeavesNobodyLoggedIn();

private:
    int addUser(const QString& login, const QString& name, const QString& password, bool admin,
                int defaultProject);
    std::unique_ptr<UsersFixture> data;
    int adminID = 0;
    int bobID = 0;
    int longID = 0;
    QHash<QString, int> others; // further users by the name the cases give them
};

namespace {
const QString kLongPassword = QStringLiteral("abcdefghij0123456789ABCDEFGHIJklmnopqrst"); // 40
const QString kInvalid = QStringLiteral("Invalid username or password.");
// 22 characters: the field keeps the first 20.
const QString kLongLogin = QStringLiteral("averyverylongloginname");

// A real hash of the password, made with `passes` passes and the least memory:
// only the limit on what a stored hash may ask can refuse it.
QString hashWithPasses(const QString& password, unsigned long long passes) {
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()), passes,
                          crypto_pwhash_MEMLIMIT_MIN) != 0)
        return {};
    return QString::fromLatin1(out);
}
} // namespace

int TestLogin::addUser(const QString& login, const QString& name, const QString& password,
                       bool admin, int defaultProject) {
    DbTable* users = data->globals->dbUsers;
    users->append();
    users->fieldByName(QStringLiteral("LoginName")).setAsString(login);
    users->fieldByName(QStringLiteral("Name")).setAsString(name);
    users->fieldByName(QStringLiteral("Password")).setAsString(hashPassword(password));
    users->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(admin);
    if (defaultProject)
        users->fieldByName(QStringLiteral("Default Project ID")).setAsInteger(defaultProject);
    users->post();
    return users->fieldByName(QStringLiteral("Developer ID")).asInteger();
}

void TestLogin::init() {
    data = std::make_unique<UsersFixture>();
    adminID = addUser(QStringLiteral("admin"), QStringLiteral("Administrator"),
                      QStringLiteral("Secret1"), true, 7);
    bobID =
        addUser(QStringLiteral("Bob"), QStringLiteral("Bob Smith"), QStringLiteral("pw"), false, 0);
    longID =
        addUser(QStringLiteral("longpw"), QStringLiteral("Long Password"), kLongPassword, false, 0);
    others.insert(QStringLiteral("long login"), addUser(kLongLogin, QStringLiteral("Long Login"),
                                                        QStringLiteral("pw2"), false, 0));
    // Two users whose stored hashes name 10 and 11 passes (the program writes 2).
    for (const auto& [login, passes] : {std::pair{"tenpasses", 10}, {"elevenpasses", 11}}) {
        const int id = addUser(QLatin1String(login), QLatin1String(login), QString(), false, 0);
        DbTable* users = data->globals->dbUsers;
        QVERIFY(users->locate(QStringLiteral("Developer ID"), id));
        users->edit();
        users->fieldByName(QStringLiteral("Password"))
            .setAsString(hashWithPasses(QStringLiteral("pw3"), passes));
        users->post();
        others.insert(QLatin1String(login), id);
    }
}

void TestLogin::dialogLayout() {
    const bool ok = driveModal<TfrmLogin, bool>(Login, [](TfrmLogin* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Login"));
        QCOMPARE(w->size(), QSize(347, 69));
        QCOMPARE(w->Image1->size(), QSize(63, 64));
        QCOMPARE(QApplication::focusWidget(), w->txtUsername);
        QCOMPARE(w->txtPassword->echoMode(), QLineEdit::Password);
        QVERIFY(w->btnOK->isDefault());
        QCOMPARE(w->helpContext(), 1500);
        QTest::keyClick(w->txtUsername, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    });
    QVERIFY(!ok);
}

void TestLogin::attempts_data() {
    QTest::addColumn<Attempts>("tries");
    QTest::addColumn<QString>("loggedInAs"); // "admin", "bob", "long" or empty
    QTest::addColumn<int>("messages");
    QTest::addColumn<bool>("stillOpen"); // the dialog waits for another attempt
    const Attempt wrong{QStringLiteral("admin"), QStringLiteral("wrong")};
    const Attempt right{QStringLiteral("admin"), QStringLiteral("Secret1")};

    QTest::newRow("lower-case name") << Attempts{right} << "admin" << 0 << false;
    QTest::newRow("upper-case name") << Attempts{{"ADMIN", "Secret1"}} << "admin" << 0 << false;
    QTest::newRow("mixed-case name") << Attempts{{"aDmIn", "Secret1"}} << "admin" << 0 << false;
    QTest::newRow("stored mixed case") << Attempts{{"bob", "pw"}} << "bob" << 0 << false;
    QTest::newRow("password case differs") << Attempts{{"admin", "secret1"}} << "" << 1 << true;
    QTest::newRow("trailing blank") << Attempts{{"admin", "Secret1 "}} << "" << 1 << true;
    QTest::newRow("unknown user") << Attempts{{"nobody", "Secret1"}} << "" << 1 << true;
    QTest::newRow("another user's password") << Attempts{{"bob", "Secret1"}} << "" << 1 << true;
    QTest::newRow("first 30 of a long password")
        << Attempts{{"longpw", kLongPassword.left(30)}} << "long" << 0 << false;
    QTest::newRow("whole long password") << Attempts{{"longpw", kLongPassword}} << "" << 1 << true;
    // The field holds 20 characters of a login name; the login cuts what is
    // typed the same way, and trailing blanks are not part of a stored name.
    QTest::newRow("login name longer than its field")
        << Attempts{{kLongLogin, "pw2"}} << "long login" << 0 << false;
    QTest::newRow("login name with a trailing blank")
        << Attempts{{"admin ", "Secret1"}} << "admin" << 0 << false;
    // A stored hash may not ask for more work than the limits allow.
    QTest::newRow("hash of 10 passes")
        << Attempts{{"tenpasses", "pw3"}} << "tenpasses" << 0 << false;
    QTest::newRow("hash of 11 passes refused")
        << Attempts{{"elevenpasses", "pw3"}} << "" << 1 << true;
    QTest::newRow("third attempt") << Attempts{wrong, wrong, wrong} << "" << 3 << true;
    QTest::newRow("fourth attempt succeeds")
        << Attempts{wrong, wrong, wrong, right} << "admin" << 3 << false;
    QTest::newRow("fourth failure ends")
        << Attempts{wrong, wrong, wrong, wrong} << "" << 4 << false;
    QTest::newRow("no fifth attempt")
        << Attempts{wrong, wrong, wrong, wrong, right} << "" << 4 << false;
}

void TestLogin::attempts() {
    QFETCH(Attempts, tries);
    QFETCH(QString, loggedInAs);
    QFETCH(int, messages);
    QFETCH(bool, stillOpen);

    bool leftOpen = false;
    const bool ok = driveModal<TfrmLogin, bool>(
        Login,
        [&](TfrmLogin* w) {
            for (const Attempt& a : tries) {
                if (!w->isVisible())
                    break; // the dialog has ended: no further attempt is offered
                w->txtUsername->clear();
                QTest::keyClicks(w->txtUsername, a.first);
                w->txtPassword->clear();
                QTest::keyClicks(w->txtPassword, a.second);
                if (!Msg::answersQueued())
                    Msg::pushAnswer(Msg::Answer::Ok);
                QTest::keyClick(w->txtPassword, Qt::Key_Return);
                if (w->isVisible()) {
                    // A failed attempt leaves both boxes as typed.
                    QCOMPARE(w->txtUsername->text(), a.first);
                    QCOMPARE(w->txtPassword->text(), a.second);
                }
            }
        },
        &leftOpen);

    QCOMPARE(leftOpen, stillOpen);
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), messages);
    for (const Msg::Shown& s : shown) {
        QCOMPARE(s.kind, Msg::Kind::Information);
        QCOMPARE(s.text, kInvalid);
    }

    QCOMPARE(ok, !loggedInAs.isEmpty());
    const TdmGlobals& g = *data->globals;
    if (loggedInAs == QLatin1String("admin")) {
        QCOMPARE(g.CurrentUserID, adminID);
        QCOMPARE(g.CurrentUserName, QStringLiteral("Administrator"));
        QCOMPARE(g.CurrentUserDefaultProjectID, 7);
        QVERIFY(g.CurrentUserIsAdmin);
    } else if (loggedInAs == QLatin1String("bob")) {
        QCOMPARE(g.CurrentUserID, bobID);
        QCOMPARE(g.CurrentUserName, QStringLiteral("Bob Smith"));
        QCOMPARE(g.CurrentUserDefaultProjectID, 0);
        QVERIFY(!g.CurrentUserIsAdmin);
    } else if (loggedInAs == QLatin1String("long")) {
        QCOMPARE(g.CurrentUserID, longID);
    } else if (!loggedInAs.isEmpty()) {
        QVERIFY2(others.contains(loggedInAs), qPrintable(loggedInAs));
        QCOMPARE(g.CurrentUserID, others.value(loggedInAs));
    } else {
        QCOMPARE(g.CurrentUserID, 0);
        QVERIFY(g.CurrentUserName.isEmpty());
        QCOMPARE(g.CurrentUserDefaultProjectID, 0);
        QVERIFY(!g.CurrentUserIsAdmin);
    }
}

void TestLogin::cancelLeavesNobodyLoggedIn_data() {
    QTest::addColumn<int>("how"); // 0 Cancel button, 1 Escape, 2 close box
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

void TestLogin::cancelLeavesNobodyLoggedIn() {
    QFETCH(int, how);
    bool leftOpen = true;
    const bool ok = driveModal<TfrmLogin, bool>(
        Login,
        [&](TfrmLogin* w) {
            QTest::keyClicks(w->txtUsername, QStringLiteral("admin"));
            QTest::keyClicks(w->txtPassword, QStringLiteral("Secret1"));
            if (how == 0)
                QTest::mouseClick(w->btnCancel, Qt::LeftButton);
            else if (how == 1)
                QTest::keyClick(w->txtPassword, Qt::Key_Escape);
            else
                w->close();
        },
        &leftOpen);
    QVERIFY(!ok);
    QVERIFY(!leftOpen);
    const TdmGlobals& g = *data->globals;
    QCOMPARE(g.CurrentUserID, 0);
    QVERIFY(g.CurrentUserName.isEmpty());
    QCOMPARE(g.CurrentUserDefaultProjectID, 0);
    QVERIFY(!g.CurrentUserIsAdmin);
    QVERIFY(Msg::takeShown().isEmpty());
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
