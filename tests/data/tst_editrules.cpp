// The changes the program refuses: a login name another user already has as
// the login sees it, taking the rights from or deleting the last
// administrator, deleting a feature that still has tasks; and changing one's
// own password only with the old one.
#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "tests/common/TestRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestEditRules : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TdmGlobals> globals_;
    QHash<QString, int> users_; // by the names the cases use; "new" is 0

    DbConnection& conn() { return globals_->Connection(); }

    // Ann, Bob, Cid and two users whose names the login cannot tell apart
    // (left by older data); `admins` names who holds the flag. Cid's flag is
    // empty unless named.
    void addUsers(const QStringList& admins) {
        const QList<std::pair<QString, QString>> rows{
            {"ann", "Ann"},  {"bob", "bob.smith"}, {"cid", "Cid"},
            {"dup1", "dup"}, {"dup2", "DUP"},      {"long", "averyverylongloginname"}};
        for (const auto& [who, login] : rows) {
            QVariantMap v{{"LoginName", login},
                          {"Name", who},
                          {"Password", hashPassword(QStringLiteral("pw-") + who)}};
            if (admins.contains(who) || who != u"cid")
                v.insert(QStringLiteral("IsAdmin"), admins.contains(who));
            users_.insert(who, addRow(conn(), QStringLiteral("Developers"), v));
        }
        users_.insert(QStringLiteral("new"), 0);
    }
    QString storedHash(int developerID) {
        DbTable t(conn(), QStringLiteral("Developers"));
        t.applyPassword(kTablePassword);
        t.open();
        return t.locate(QStringLiteral("Developer ID"), developerID)
                   ? t.fieldByName(QStringLiteral("Password")).asString()
                   : QString();
    }

private slots:
    // One data folder; every case starts from empty tables.
    void initTestCase() {
        setFastPasswordHashingForTests(true);
        dir_ = std::make_unique<QTemporaryDir>();
        globals_ = std::make_unique<TdmGlobals>(dir_->path());
    }
    void cleanupTestCase() {
        globals_.reset();
        dir_.reset();
    }
    void init() {
        for (const char* table : {"developers", "tasks", "features", "projects"})
            conn().execute(QStringLiteral("delete from ") + QLatin1String(table));
        users_.clear();
    }

    void loginKeys_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::newRow("letters upper-cased") << "aDmIn"
                                             << "ADMIN";
        QTest::newRow("trailing blanks dropped") << "admin  "
                                                 << "ADMIN";
        QTest::newRow("leading blanks kept") << " admin"
                                             << " ADMIN";
        QTest::newRow("only a to z change") << "zoë.1"
                                            << "ZOë.1";
        QTest::newRow("cut to 20 characters") << "averyverylongloginname"
                                              << "AVERYVERYLONGLOGINNA";
        QTest::newRow("blank at the cut dropped") << "abcdefghijklmnopqrs tuv"
                                                  << "ABCDEFGHIJKLMNOPQRS";
    }
    void loginKeys() {
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QCOMPARE(loginKey(typed), key);
    }

    void loginNames_data() {
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("takenBy"); // empty: the name may be used
        QTest::newRow("new: another case") << "new"
                                           << "ANN"
                                           << "ann";
        QTest::newRow("new: trailing blank") << "new"
                                             << "ann "
                                             << "ann";
        QTest::newRow("new: leading blank differs") << "new"
                                                    << " ann"
                                                    << "";
        QTest::newRow("new: longer name") << "new"
                                          << "Anna"
                                          << "";
        QTest::newRow("new: cut to the stored 20") << "new"
                                                   << "AVeryVeryLongLoginNaXYZ"
                                                   << "long";
        QTest::newRow("new: a name held twice") << "new"
                                                << "Dup"
                                                << "dup1";
        QTest::newRow("rename onto another") << "bob"
                                             << "ann"
                                             << "ann";
        QTest::newRow("own name, other case") << "ann"
                                              << "ANN"
                                              << "";
        QTest::newRow("own name held twice kept") << "dup2"
                                                  << "dup"
                                                  << "";
        QTest::newRow("rename to a free name") << "bob"
                                               << "robert"
                                               << "";
    }
    void loginNames() {
        QFETCH(QString, who);
        QFETCH(QString, login);
        QFETCH(QString, takenBy);
        addUsers({QStringLiteral("ann")});
        const QString refusal = refuseLoginName(conn(), users_.value(who), login);
        if (takenBy.isEmpty()) {
            QCOMPARE(refusal, QString());
            return;
        }
        QCOMPARE(refusal, QStringLiteral("Another user already has the login name \"") +
                              login.trimmed() +
                              QStringLiteral("\". Please choose another login name."));
        // Renames and new users are checked against everybody else.
        if (who == u"new" || who == u"bob")
            QCOMPARE(userWithLoginName(conn(), login, users_.value(who)), users_.value(takenBy));
    }

    void administratorRights_data() {
        QTest::addColumn<QStringList>("admins");
        QTest::addColumn<QString>("who");
        QTest::addColumn<bool>("isAdmin");
        QTest::addColumn<bool>("refused");
        QTest::newRow("last administrator demoted") << QStringList{"ann"} << "ann" << false << true;
        QTest::newRow("last administrator stays") << QStringList{"ann"} << "ann" << true << false;
        QTest::newRow("one of two demoted") << QStringList{"ann", "cid"} << "ann" << false << false;
        QTest::newRow("user stays a user") << QStringList{"ann"} << "bob" << false << false;
        QTest::newRow("user made administrator") << QStringList{"ann"} << "bob" << true << false;
        QTest::newRow("new user") << QStringList{"ann"} << "new" << false << false;
        QTest::newRow("nobody is administrator") << QStringList{} << "cid" << false << false;
    }
    void administratorRights() {
        QFETCH(QStringList, admins);
        QFETCH(QString, who);
        QFETCH(bool, isAdmin);
        QFETCH(bool, refused);
        addUsers(admins);
        QCOMPARE(administratorCount(conn()), admins.size());
        const QString refusal = refuseAdministratorChange(conn(), users_.value(who), isAdmin);
        QCOMPARE(refusal, refused
                              ? QStringLiteral("This user is the last administrator. Make another "
                                               "user an administrator before removing this one's "
                                               "administrator rights.")
                              : QString());
    }

    void deletingUsers_data() {
        QTest::addColumn<QStringList>("admins");
        QTest::addColumn<QString>("who");
        QTest::addColumn<bool>("refused");
        QTest::newRow("last administrator") << QStringList{"ann"} << "ann" << true;
        QTest::newRow("a user beside the administrator") << QStringList{"ann"} << "bob" << false;
        QTest::newRow("user with an empty flag") << QStringList{"ann"} << "cid" << false;
        QTest::newRow("one of two administrators") << QStringList{"ann", "bob"} << "ann" << false;
        QTest::newRow("nobody is administrator") << QStringList{} << "bob" << false;
    }
    void deletingUsers() {
        QFETCH(QStringList, admins);
        QFETCH(QString, who);
        QFETCH(bool, refused);
        addUsers(admins);
        QCOMPARE(refuseUserDelete(conn(), users_.value(who)),
                 refused ? QStringLiteral("You cannot delete the last administrator. Make another "
                                          "user an administrator first.")
                         : QString());
    }

    void deletingFeatures_data() {
        QTest::addColumn<int>("tasks");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no task") << 0 << "";
        QTest::newRow("one task") << 1
                                  << "Feature Billing still has 1 task. Move or delete it first.";
        QTest::newRow("three tasks")
            << 3 << "Feature Billing still has 3 tasks. Move or delete them first.";
    }
    void deletingFeatures() {
        QFETCH(int, tasks);
        QFETCH(QString, refusal);
        const int project = addRow(conn(), QStringLiteral("Projects"), {{"Name", "Apollo"}});
        const int other = addRow(conn(), QStringLiteral("Projects"), {{"Name", "Zephyr"}});
        const int billing = addRow(conn(), QStringLiteral("Features"),
                                   {{"Project ID", project}, {"Name", "Billing"}});
        const int neighbour = addRow(conn(), QStringLiteral("Features"),
                                     {{"Project ID", project}, {"Name", "Accounts"}});
        // Tasks of other features do not count; the feature's own count in any project.
        addRow(conn(), QStringLiteral("Tasks"), {{"Feature ID", neighbour}, {"Name", "elsewhere"}});
        for (int i = 0; i < tasks; ++i)
            addRow(conn(), QStringLiteral("Tasks"),
                   {{"Feature ID", billing}, {"Name", QStringLiteral("task %1").arg(i)}});
        if (tasks > 0) {
            DbTable f(conn(), QStringLiteral("Features"));
            f.open();
            QVERIFY(f.locate(QStringLiteral("Feature ID"), billing));
            f.edit();
            f.fieldByName(QStringLiteral("Project ID")).setAsInteger(other);
            f.post();
        }
        QCOMPARE(featureTaskCount(conn(), billing), tasks);
        QCOMPARE(refuseFeatureDelete(conn(), billing, QStringLiteral("Billing")), refusal);
    }

    void changingOwnPassword_data() {
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("oldTyped");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<bool>("changed");
        QTest::newRow("right old password") << "bob"
                                            << "pw-bob"
                                            << "n3w" << true;
        QTest::newRow("to an empty password") << "bob"
                                              << "pw-bob"
                                              << "" << true;
        QTest::newRow("old password, other case") << "bob"
                                                  << "PW-bob"
                                                  << "n3w" << false;
        QTest::newRow("old password, trailing blank") << "bob"
                                                      << "pw-bob "
                                                      << "n3w" << false;
        QTest::newRow("another user's password") << "bob"
                                                 << "pw-ann"
                                                 << "n3w" << false;
        QTest::newRow("user no longer there") << "new"
                                              << "pw-bob"
                                              << "n3w" << false;
    }
    void changingOwnPassword() {
        QFETCH(QString, who);
        QFETCH(QString, oldTyped);
        QFETCH(QString, newPassword);
        QFETCH(bool, changed);
        addUsers({QStringLiteral("ann")});
        const int bob = users_.value(QStringLiteral("bob"));
        const QString before = storedHash(bob);
        QCOMPARE(changeOwnPassword(conn(), users_.value(who), oldTyped, newPassword), changed);
        const QString after = storedHash(bob);
        if (!changed) {
            QCOMPARE(after, before);
            return;
        }
        QVERIFY(passwordMatches(after, newPassword));
        QVERIFY(!passwordMatches(after, QStringLiteral("pw-bob")));
        // Nobody else's password moved.
        QVERIFY(passwordMatches(storedHash(users_.value(QStringLiteral("ann"))),
                                QStringLiteral("pw-ann")));
    }
};

QTEST_MAIN(TestEditRules)
#include "tst_editrules.moc"
