// The start-up sequence seen from outside: which windows come up, in which
// order, and how the program ends.
#include "app/SplashForm.h"
#include "app/Startup.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "schedule/ProjectSchedule.h"
#include "users/GettingStartedForm.h"
#include "users/LoginForm.h"
#include "widgets/MessageBoxes.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {
// Waits for a top-level window of type W to be up, then runs `act` on it once.
template <class W> void whenUp(std::function<void(W*)> act) {
    auto* timer = new QTimer(qApp);
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
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init() { Msg::takeShown(); }

    void firstRunThenLoginThenMainWindowThenClose() {
        QTemporaryDir dir;
        bool splashGoneWhenShown = false;
        QString title;
        QSize size;
        QString caption;
        QFont wizardFont, loginFont, mainFont;
        whenUp<TfrmGettingStarted>([&wizardFont](TfrmGettingStarted* w) {
            QVERIFY(!frmSplash || !frmSplash->isVisible()); // the splash steps aside for the wizard
            wizardFont = w->font();
            finishWizard(w, QStringLiteral("Apollo"));
        });
        whenUp<TfrmLogin>([&loginFont](TfrmLogin* l) {
            loginFont = l->font();
            logIn(l, QStringLiteral("ADMIN"), QStringLiteral("s3cret"));
        });
        whenUp<TfrmProjectSchedule>([&](TfrmProjectSchedule* m) {
            splashGoneWhenShown = frmSplash == nullptr;
            mainFont = m->font();
            title = m->windowTitle();
            size = m->size();
            caption = m->myTasksCaption();
            QTimer::singleShot(0, m, [m] { m->btnExit->trigger(); });
        });
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
        whenUp<TfrmGettingStarted>([](TfrmGettingStarted* w) {
            Msg::pushAnswer(Msg::Answer::Yes);
            w->btnCancel->click();
        });
        whenUp<TfrmLogin>([&](TfrmLogin* l) {
            loginSeen = true;
            l->reject();
        });
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
        whenUp<TfrmGettingStarted>([&](TfrmGettingStarted* w) {
            wizardSeen = true;
            w->reject();
        });
        whenUp<TfrmLogin>([](TfrmLogin* l) {
            QVERIFY(frmSplash && frmSplash->isVisible()); // the login comes up over the splash
            l->btnCancel->click();
        });
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
};

int main(int argc, char** argv) {
    PelloranApplication app(argc, argv);
    TestStartup t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_startup.moc"
