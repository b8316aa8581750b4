// "Change My Password" driven through its own event loop: any logged-in user
// changes their own password with the old one and the new one typed twice.
#include "users/ChangePassword.h"

#include "UsersFixture.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kMismatch =
    QStringLiteral("The passwords do not match. Please reenter the password and confirm.");
const QString kWrongOld = QStringLiteral("The old password is not correct.");
} // namespace

class TestChangePassword : public QObject {
    Q_OBJECT

    std::unique_ptr<UsersFixture> data;
    int adminID = 0, bobID = 0;

    int addUser(const QString& login, const QString& password, bool admin) {
        DbTable* users = data->globals->dbUsers;
        users->append();
        users->fieldByName(QStringLiteral("LoginName")).setAsString(login);
        users->fieldByName(QStringLiteral("Name")).setAsString(login);
        users->fieldByName(QStringLiteral("Password")).setAsString(hashPassword(password));
        users->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(admin);
        users->post();
        return users->fieldByName(QStringLiteral("Developer ID")).asInteger();
    }
    QString storedHash(int id) {
        auto users = data->table(QStringLiteral("Developers"));
        return users->locate(QStringLiteral("Developer ID"), id)
                   ? users->fieldByName(QStringLiteral("Password")).asString()
                   : QString();
    }

private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init() {
        data = std::make_unique<UsersFixture>();
        adminID = addUser(QStringLiteral("admin"), QStringLiteral("Secret1"), true);
        bobID = addUser(QStringLiteral("bob"), QStringLiteral("bobpw"), false);
    }
    void cleanup() {
        drainMessageAnswers();
        data.reset();
    }

    void dialogLayout() {
        data->globals->CurrentUserID = bobID;
        driveModal<ChangePasswordDialog, bool>(
            [] { return changeMyPassword(); },
            [](ChangePasswordDialog* d) {
                QCOMPARE(d->windowTitle(), QStringLiteral("Change My Password"));
                QCOMPARE(QApplication::focusWidget(), d->txtOldPassword);
                for (QLineEdit* box :
                     {d->txtOldPassword, d->txtNewPassword, d->txtConfirmPassword}) {
                    QCOMPARE(box->echoMode(), QLineEdit::Password);
                    QCOMPARE(box->maxLength(), kPasswordWidth);
                    QVERIFY(d->rect().contains(box->geometry()));
                }
                QVERIFY(d->btnOK->isDefault());
                QVERIFY(d->rect().contains(d->btnCancel->geometry()));
                QTest::keyClick(d, Qt::Key_Escape);
            });
    }

    void change_data() {
        QTest::addColumn<QString>("who"); // "admin" or "bob", logged in
        QTest::addColumn<QString>("oldTyped");
        QTest::addColumn<QString>("newTyped");
        QTest::addColumn<QString>("confirmTyped");
        QTest::addColumn<QString>("message"); // empty: stored and closed
        QTest::addColumn<QString>("newPassword");
        QTest::newRow("a user who is no administrator") << "bob"
                                                        << "bobpw"
                                                        << "n3w"
                                                        << "n3w"
                                                        << ""
                                                        << "n3w";
        QTest::newRow("an administrator") << "admin"
                                          << "Secret1"
                                          << "n3w"
                                          << "n3w"
                                          << ""
                                          << "n3w";
        QTest::newRow("empty new password") << "bob"
                                            << "bobpw"
                                            << ""
                                            << ""
                                            << ""
                                            << "";
        QTest::newRow("typing stops at 30 characters")
            << "bob"
            << "bobpw" << QString(35, u'p') << QString(35, u'p') << "" << QString(30, u'p');
        QTest::newRow("new passwords differ") << "bob"
                                              << "bobpw"
                                              << "n3w"
                                              << "N3w" << kMismatch << "";
        QTest::newRow("wrong old password") << "bob"
                                            << "BOBPW"
                                            << "n3w"
                                            << "n3w" << kWrongOld << "";
        QTest::newRow("another user's old password") << "bob"
                                                     << "Secret1"
                                                     << "n3w"
                                                     << "n3w" << kWrongOld << "";
    }
    void change() {
        QFETCH(QString, who);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newTyped);
        QFETCH(QString, confirmTyped);
        QFETCH(QString, message);
        QFETCH(QString, newPassword);
        const int id = who == u"bob" ? bobID : adminID;
        data->globals->CurrentUserID = id;
        data->globals->CurrentUserIsAdmin = id == adminID;
        const QString before = storedHash(id),
                      otherBefore = storedHash(id == bobID ? adminID : bobID);

        bool stayedOpen = false;
        QWidget* focused = nullptr;
        QStringList boxes;
        QWidget* oldBox = nullptr;
        QWidget* newBox = nullptr;
        const bool changed = driveModal<ChangePasswordDialog, bool>(
            [] { return changeMyPassword(); },
            [&](ChangePasswordDialog* d) {
                oldBox = d->txtOldPassword;
                newBox = d->txtNewPassword;
                QTest::keyClicks(d->txtOldPassword, oldTyped);
                QTest::keyClicks(d->txtNewPassword, newTyped);
                QTest::keyClicks(d->txtConfirmPassword, confirmTyped);
                Msg::pushAnswer(Msg::Answer::Ok);
                QTest::keyClick(d->txtConfirmPassword, Qt::Key_Return);
                stayedOpen = d->isVisible();
                focused = QApplication::focusWidget();
                boxes = {d->txtOldPassword->text(), d->txtNewPassword->text(),
                         d->txtConfirmPassword->text()};
            });
        const QList<Msg::Shown> shown = Msg::takeShown();
        drainMessageAnswers();
        QCOMPARE(storedHash(id == bobID ? adminID : bobID), otherBefore);
        if (message.isEmpty()) {
            QVERIFY(shown.isEmpty());
            QVERIFY(changed);
            QVERIFY(!stayedOpen);
            QVERIFY(passwordMatches(storedHash(id), newPassword));
            QVERIFY(!passwordMatches(storedHash(id), oldTyped));
            return;
        }
        QVERIFY(!changed);
        QVERIFY(stayedOpen);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, message);
        QCOMPARE(storedHash(id), before);
        if (message == kMismatch) {
            // Both new boxes emptied for another try; the old one kept.
            QCOMPARE(shown[0].kind, Msg::Kind::Error);
            QCOMPARE(boxes, (QStringList{oldTyped, QString(), QString()}));
            QCOMPARE(focused, newBox);
        } else {
            QCOMPARE(shown[0].kind, Msg::Kind::Information);
            QCOMPARE(boxes, (QStringList{QString(), newTyped, confirmTyped}));
            QCOMPARE(focused, oldBox);
        }
    }
};

QTEST_MAIN(TestChangePassword)
#include "tst_changepassword.moc"
