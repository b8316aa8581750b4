// Two copies of the program on one task: another copy changes the task while
// this copy's editor holds it open. Its change is kept and never recorded
// under this user's name; a field both changed is the user's choice, asked
// before anything is written.
#include "editing/EditTask.h"
#include "editing/TimeSpinBox.h"

#include "EditingFixture.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>

namespace {
// Child mode: the other copy, logged in as `userID`, sets the task's status
// through the one-click change path and ends.
int runSetStatus(const QString& programFolder, int userID, int taskID, const QString& status) {
    TdmGlobals globals(programFolder);
    globals.CurrentUserID = userID;
    globals.CurrentUserName = QStringLiteral("Olaf Other");
    TdmProjects projects(globals);
    if (!projects.sqlSchedule->locate(QStringLiteral("Task ID"), taskID))
        return 2;
    projects.ChangeTask(QStringLiteral("Status"), status);
    return 0;
}

enum Choice { None = -1, SaveMine = 0, KeepTheirs = 1, BackToEditing = 2 };
} // namespace

class TestEditTaskConflicts : public QObject {
    Q_OBJECT
    std::unique_ptr<EditingFixture> f;

    // Another copy of the program changes the status, now.
    bool otherCopySetsStatus(int task, const QString& status) {
        QProcess other;
        other.setProcessChannelMode(QProcess::ForwardedChannels);
        other.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--set-status"), f->dir.path(), QString::number(f->other),
                     QString::number(task), status});
        return other.waitForFinished(60000) && other.exitStatus() == QProcess::NormalExit &&
               other.exitCode() == 0;
    }

private slots:
    void init() { f = std::make_unique<EditingFixture>(); }
    void cleanup() { f.reset(); }

    void otherCopyChangedTheTask_data() {
        QTest::addColumn<QString>("myStatus");   // empty: left as opened
        QTest::addColumn<QString>("myEstimate"); // empty: left as opened
        QTest::addColumn<int>("choice");         // the answer to the conflict question
        QTest::addColumn<QString>("status");     // stored afterwards
        QTest::addColumn<double>("estimate");    // stored afterwards
        QTest::addColumn<QString>("myChange");   // my History row; empty: none

        QTest::newRow("they the status, I the estimate")
            << ""
            << "8" << int(None) << "Testing" << 8.0 << "Current Estimate changed from 5 to 8\r\n";
        QTest::newRow("both the status: save mine")
            << "Complete"
            << "" << int(SaveMine) << "Complete" << 5.0
            << "Status changed from Testing to Complete\r\n";
        QTest::newRow("both the status: keep theirs, my estimate still saved")
            << "Complete"
            << "8" << int(KeepTheirs) << "Testing" << 8.0
            << "Current Estimate changed from 5 to 8\r\n";
        QTest::newRow("both the status: keep theirs, nothing else of mine")
            << "Complete"
            << "" << int(KeepTheirs) << "Testing" << 5.0 << "";
    }
    void otherCopyChangedTheTask() {
        QFETCH(QString, myStatus);
        QFETCH(QString, myEstimate);
        QFETCH(int, choice);
        QFETCH(QString, status);
        QFETCH(double, estimate);
        QFETCH(QString, myChange);
        // With an original estimate the current one is edited directly.
        const int task = f->addTask({{"Original Estimate", 5.0}});

        bool otherDone = false;
        bool open = true;
        QVERIFY(whileModal<TfrmEditTask>([&] { EditTaskID(task); },
                                         [&](TfrmEditTask* d) {
                                             if (!myStatus.isEmpty())
                                                 d->cmbStatus->setCurrentText(myStatus);
                                             if (!myEstimate.isEmpty())
                                                 typeInto(d->txtCurrentEstimate, myEstimate);
                                             otherDone = otherCopySetsStatus(task, "Testing");
                                             if (choice != None)
                                                 Msg::pushChoice(choice);
                                             QTest::mouseClick(d->btnOK, Qt::LeftButton);
                                         },
                                         &open));
        QVERIFY(otherDone);
        QVERIFY(!open);
        QVERIFY(f->errors.isEmpty());

        const QList<Msg::Shown> shown = Msg::takeShown();
        if (choice == None) {
            QVERIFY(shown.isEmpty());
        } else {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].kind, Msg::Kind::Choice);
            QVERIFY(shown[0].text.startsWith(
                u"Someone else changed this task while you were editing it"));
            QVERIFY2(shown[0].text.contains(u"Status:\n    now: Testing (changed by Olaf Other)\n"
                                            u"    yours: Complete"),
                     qPrintable(shown[0].text));
        }
        auto row = f->row(QStringLiteral("Tasks"), QStringLiteral("Task ID"), task);
        QVERIFY(row);
        QCOMPARE(row->fieldByName(QStringLiteral("Status")).asString(), status);
        QCOMPARE(row->fieldByName(QStringLiteral("Current Estimate")).asFloat(), estimate);
        QStringList history{
            QStringLiteral("Modified by Olaf Other|Status changed from Not Started to Testing")};
        if (!myChange.isEmpty())
            history << QStringLiteral("Modified by Mia Example|") + myChange;
        QCOMPARE(f->history(task), history);
    }

    // "Back to editing" writes nothing and leaves the user's input in the
    // dialog; the next OK asks again.
    void backToEditingKeepsTheInput() {
        const int task = f->addTask({});
        bool otherDone = false;
        bool stillOpen = false;
        QString statusShown;
        QStringList historyMeanwhile;
        QString statusMeanwhile;
        bool open = true;
        QVERIFY(whileModal<TfrmEditTask>(
            [&] { EditTaskID(task); },
            [&](TfrmEditTask* d) {
                d->cmbStatus->setCurrentText("Complete");
                otherDone = otherCopySetsStatus(task, "Testing");
                Msg::pushChoice(BackToEditing);
                QTest::mouseClick(d->btnOK, Qt::LeftButton);
                stillOpen = d->isVisible();
                statusShown = d->cmbStatus->currentText();
                historyMeanwhile = f->history(task);
                auto row = f->row(QStringLiteral("Tasks"), QStringLiteral("Task ID"), task);
                statusMeanwhile = row->fieldByName(QStringLiteral("Status")).asString();
                // Asked again, and this time mine is saved.
                Msg::pushChoice(SaveMine);
                QTest::mouseClick(d->btnOK, Qt::LeftButton);
            },
            &open));
        QVERIFY(otherDone);
        QVERIFY(stillOpen);
        QCOMPARE(statusShown, u"Complete");
        QCOMPARE(statusMeanwhile, u"Testing");
        QCOMPARE(historyMeanwhile,
                 QStringList{QStringLiteral(
                     "Modified by Olaf Other|Status changed from Not Started to Testing")});
        QVERIFY(!open);
        QCOMPARE(Msg::takeShown().size(), 2);
        auto row = f->row(QStringLiteral("Tasks"), QStringLiteral("Task ID"), task);
        QCOMPARE(row->fieldByName(QStringLiteral("Status")).asString(), u"Complete");
        QCOMPARE(
            f->history(task),
            (QStringList{
                QStringLiteral("Modified by Olaf Other|Status changed from Not Started to Testing"),
                QStringLiteral(
                    "Modified by Mia Example|Status changed from Testing to Complete\r\n")}));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args[1] == QLatin1String("--set-status"))
        return runSetStatus(args[2], args[3].toInt(), args[4].toInt(), args[5]);
    TestEditTaskConflicts t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_edittaskconflicts.moc"
