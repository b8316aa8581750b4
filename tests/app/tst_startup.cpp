// The start-up sequence seen from outside: which windows come up, in which
// order, and how the program ends.
#include "../common/Modal.h"
#include "app/SplashForm.h"
#include "app/Startup.h"
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "schedule/ProjectSchedule.h"
#include "users/GettingStartedForm.h"
#include "users/LoginForm.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

// The engine's handle of a connection, for breaking it on purpose.
struct DbConnectionTestAccess {
    static sqlite3* handle(DbConnection& connection) { return connection.handle(); }
};

namespace {
// Bound on one run of the sequence: a fault that leaves a window waiting fails
// the test instead of hanging it.
constexpr int kSequenceSeconds = 60;

// Waits for a top-level window of type W to be up, then runs `act` on it once.
// The wait belongs to `scope`: one that never came true ends with its test.
template <class W> void whenUp(QObject* scope, std::function<void(W*)> act) {
    auto* timer = new QTimer(scope);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* target = qobject_cast<W*>(w); target && target->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(target);
                return;
            }
        }
    });
    timer->start(10);
}

// Main windows still alive: the sequence owns the one it makes and releases it.
QList<TfrmProjectSchedule*> mainWindows() {
    QList<TfrmProjectSchedule*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<TfrmProjectSchedule*>(w))
            found << m;
    return found;
}

void finishWizard(TfrmGettingStarted* w, const QString& project) {
    w->btnNext->click();
    w->txtLoginName->setText(QStringLiteral("admin"));
    w->txtFullName->setText(QStringLiteral("Ada Admin"));
    w->txtPassword->setText(QStringLiteral("s3cret"));
    w->txtConfirmPassword->setText(QStringLiteral("s3cret"));
    w->btnNext->click();
    w->txtProjectName->setText(project);
    w->btnNext->click();
    w->btnFinish->click();
}

void logIn(TfrmLogin* l, const QString& user, const QString& password) {
    l->txtUsername->setText(user);
    l->txtPassword->setText(password);
    l->btnOK->click();
}

int usersIn(const QString& programFolder) {
    TdmGlobals g(programFolder);
    return g.dbUsers->recordCount();
}

// A data folder in use: user "u" (password "pw") and a project.
void seedUserAndProject(const QString& programFolder) {
    TdmGlobals g(programFolder);
    g.dbUsers->append();
    g.dbUsers->fieldByName(QStringLiteral("LoginName")).setAsString(QStringLiteral("u"));
    g.dbUsers->fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("Uma User"));
    g.dbUsers->fieldByName(QStringLiteral("Password"))
        .setAsString(hashPassword(QStringLiteral("pw")));
    g.dbUsers->post();
    DbTable projects(g.Connection(), QStringLiteral("Projects"));
    projects.open();
    projects.append();
    projects.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("Apollo"));
    projects.post();
}

QString userField(const QString& programFolder, const QString& field) {
    TdmGlobals g(programFolder);
    return g.dbUsers->fieldByName(field).asString();
}

// Every file of a folder with its bytes, to show that nothing was changed.
QMap<QString, QByteArray> filesIn(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.insert(name, f.readAll());
    }
    return files;
}

// Stands in for the problem report dialog: records what reached the central
// handler, and puts the plain error box back when the test ends.
struct CentralHandlerRecorder {
    QStringList messages;
    CentralHandlerRecorder() {
        ErrorHandling::setUnexpectedHandler(
            [this](std::exception_ptr e) { messages << ErrorHandling::messageOf(e); });
    }
    ~CentralHandlerRecorder() {
        ErrorHandling::setUnexpectedHandler({});
        setLoginStepForTests({});
    }
    CentralHandlerRecorder(const CentralHandlerRecorder&) = delete;
    CentralHandlerRecorder& operator=(const CentralHandlerRecorder&) = delete;
};
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init() { drainMessageAnswers(); }

    void firstRunThenLoginThenMainWindowThenClose() {
        QTemporaryDir dir;
        bool splashGoneWhenShown = false;
        QString title;
        QSize size;
        QString caption;
        QFont wizardFont, loginFont, mainFont;
        QObject scope;
        whenUp<TfrmGettingStarted>(&scope, [&wizardFont](TfrmGettingStarted* w) {
            QVERIFY(!frmSplash || !frmSplash->isVisible()); // the splash steps aside for the wizard
            wizardFont = w->font();
            finishWizard(w, QStringLiteral("Apollo"));
        });
        whenUp<TfrmLogin>(&scope, [&loginFont](TfrmLogin* l) {
            loginFont = l->font();
            logIn(l, QStringLiteral("ADMIN"), QStringLiteral("s3cret"));
        });
        whenUp<TfrmProjectSchedule>(&scope, [&](TfrmProjectSchedule* m) {
            splashGoneWhenShown = frmSplash == nullptr;
            mainFont = m->font();
            title = m->windowTitle();
            size = m->size();
            caption = m->myTasksCaption();
            QTimer::singleShot(0, m, [m] { m->btnExit->trigger(); });
        });
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 0);
        QVERIFY(splashGoneWhenShown);
        QCOMPARE(title, QStringLiteral("Pelloran"));
        QCOMPARE(size, QSize(630, 388));
        QCOMPARE(caption, QStringLiteral("My incomplete tasks: 0"));
        // The windows' designed face is the application's font, set by the
        // sequence; the wizard, designed in another face, keeps its own.
        QCOMPARE(mainFont.family(), QStringLiteral("Arial"));
        QCOMPARE(mainFont.pointSize(), 8);
        QCOMPARE(loginFont.family(), QStringLiteral("Arial"));
        QCOMPARE(loginFont.pointSize(), 8);
        QCOMPARE(wizardFont.family(), QStringLiteral("MS Sans Serif"));
        QVERIFY(mainWindows().isEmpty()); // released when the sequence ended
        QCOMPARE(dmGlobals, nullptr);
        QCOMPARE(usersIn(dir.path()), 1);
    }

    void cancelledWizardEndsWithoutLogin() {
        QTemporaryDir dir;
        bool loginSeen = false;
        QObject scope;
        whenUp<TfrmGettingStarted>(&scope, [](TfrmGettingStarted* w) {
            Msg::pushAnswer(Msg::Answer::Yes);
            w->btnCancel->click();
        });
        whenUp<TfrmLogin>(&scope, [&](TfrmLogin* l) {
            loginSeen = true;
            l->reject();
        });
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 0);
        QVERIFY(!loginSeen);
        QCOMPARE(usersIn(dir.path()), 0);
    }

    void cancelledLoginEndsWithoutMainWindow() {
        QTemporaryDir dir;
        {
            TdmGlobals g(dir.path());
            g.dbUsers->append();
            g.dbUsers->fieldByName(QStringLiteral("LoginName")).setAsString(QStringLiteral("u"));
            g.dbUsers->post();
        }
        bool wizardSeen = false;
        QObject scope;
        whenUp<TfrmGettingStarted>(&scope, [&](TfrmGettingStarted* w) {
            wizardSeen = true;
            w->reject();
        });
        whenUp<TfrmLogin>(&scope, [](TfrmLogin* l) {
            QVERIFY(frmSplash && frmSplash->isVisible()); // the login comes up over the splash
            l->btnCancel->click();
        });
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 0);
        QVERIFY(!wizardSeen);
        QVERIFY(mainWindows().isEmpty());
    }

    void unwritableDataFolderEndsWithTheErrorShown() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("Data")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // Answer the two boxes in advance so nothing blocks.
        Msg::pushAnswer(Msg::Answer::Ok);
        Msg::pushAnswer(Msg::Answer::Ok);
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 1);
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, QStringLiteral("Table Developers.adt Could Not Be Created"));
        QCOMPARE(shown[0].title, QStringLiteral("Pelloran"));
        QCOMPARE(shown[1].kind, Msg::Kind::PlainError);
        QCOMPARE(shown[1].text, QStringLiteral("Cannot create the table Developers: a file stands "
                                               "where the data folder should be (%1)")
                                    .arg(dir.filePath(QStringLiteral("Data"))));
        QCOMPARE(dmGlobals, nullptr);
    }

    // An error while the login dialog is made (its users table cannot be read)
    // reaches the central handler once; then the program ends with nothing left.
    void errorBuildingTheLoginReachesTheCentralHandler() {
        QTemporaryDir dir;
        seedUserAndProject(dir.path());
        CentralHandlerRecorder handler;
        bool detached = false;
        setLoginStepForTests([&] {
            // Takes the users table away from the shared connection, so the
            // dialog's own cursor on it fails to open.
            detached =
                sqlite3_exec(DbConnectionTestAccess::handle(dmGlobals->Connection()),
                             "DETACH DATABASE developers", nullptr, nullptr, nullptr) == SQLITE_OK;
            return Login();
        });
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 1);
        QVERIFY(detached);
        QCOMPARE(handler.messages.size(), 1);
        QVERIFY2(handler.messages[0].contains(QStringLiteral("Developers")),
                 qPrintable(handler.messages[0]));
        QCOMPARE(frmSplash, nullptr);
        QVERIFY(mainWindows().isEmpty());
        QCOMPARE(dmGlobals, nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<TfrmLogin*>(w), "the failed login dialog was left behind");
    }

    // Damaged data is not a program fault: a plain error box names the file,
    // the problem report is not offered, and the data folder stays as it was.
    void damagedDataEndsWithAPlainErrorAndChangesNothing_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("remove"); // else overwritten with garbage
        QTest::addColumn<QString>("text");
        QTest::newRow("garbage tasks")
            << QStringLiteral("Tasks.db") << false
            << QStringLiteral("Tasks.db in %1 is not a database or is damaged.\n\n"
                              "Restore the file from a backup. Nothing has been changed.");
        QTest::newRow("users table missing")
            << QStringLiteral("Developers.db") << true
            << QStringLiteral("Developers.db is missing from the data folder %1, while "
                              "Projects.db there holds data.\n\nRestore it from a backup. "
                              "Nothing has been created or changed.");
    }
    void damagedDataEndsWithAPlainErrorAndChangesNothing() {
        QFETCH(QString, file);
        QFETCH(bool, remove);
        QFETCH(QString, text);
        QTemporaryDir dir;
        seedUserAndProject(dir.path());
        const QString data = TdmGlobals::dataFolderFor(dir.path());
        const QString path = QDir(data).filePath(file);
        QVERIFY(QFile::remove(path));
        if (!remove) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, '\x5a'));
        }
        const QMap<QString, QByteArray> before = filesIn(data);
        CentralHandlerRecorder handler;
        bool windowSeen = false;
        QObject scope;
        whenUp<QDialog>(&scope, [&](QDialog* d) {
            windowSeen = true;
            d->reject();
        });
        Msg::pushAnswer(Msg::Answer::Ok);
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 1);
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Msg::Kind::PlainError);
        QCOMPARE(shown[0].title, QStringLiteral("Pelloran"));
        QCOMPARE(shown[0].text, text.arg(data));
        QVERIFY2(handler.messages.isEmpty(), qPrintable(handler.messages.join(u'\n')));
        QVERIFY(!windowSeen); // neither wizard nor login
        QCOMPARE(filesIn(data), before);
        QCOMPARE(dmGlobals, nullptr);
    }

    // Settings that cannot be stored at close: the error is shown and the
    // window stays; the next close ends the program without storing.
    void settingsThatCannotBeStoredDoNotKeepTheWindowOpen() {
        QTemporaryDir dir;
        seedUserAndProject(dir.path());
        CentralHandlerRecorder handler;
        bool openAfterFirstClose = false;
        QStringList shownAtFirstClose;
        QObject scope;
        whenUp<TfrmLogin>(
            &scope, [](TfrmLogin* l) { logIn(l, QStringLiteral("u"), QStringLiteral("pw")); });
        whenUp<TfrmProjectSchedule>(&scope, [&](TfrmProjectSchedule* m) {
            // The users table refuses every change from now on.
            dmGlobals->Connection().execute(QStringLiteral(
                "CREATE TEMP TRIGGER refuse_changes BEFORE UPDATE ON developers.Developers "
                "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END"));
            QTimer::singleShot(0, m, [&, m] {
                m->btnExit->trigger();
                openAfterFirstClose = m->isVisible();
                shownAtFirstClose = handler.messages;
                m->btnExit->trigger();
            });
        });
        ModalTimeout bound(kSequenceSeconds, "the start-up sequence");
        QCOMPARE(runStartupSequence(dir.path()), 0);
        QVERIFY(openAfterFirstClose);
        QCOMPARE(shownAtFirstClose.size(), 1);
        QVERIFY2(shownAtFirstClose[0].contains(QStringLiteral("the disk is full")),
                 qPrintable(shownAtFirstClose[0]));
        QCOMPARE(handler.messages.size(), 1); // the second close stored nothing
        QVERIFY(mainWindows().isEmpty());
        QCOMPARE(userField(dir.path(), QStringLiteral("Other Settings")), QString());
    }
};

int main(int argc, char** argv) {
    PelloranApplication app(argc, argv);
    TestStartup t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_startup.moc"
