// The live schedule: another copy's commits show in the open main window
// without a key press, not while a dialog is above it, and at once on F5.
#include "ScheduleFixture.h"
#include "data/DataChangeWatcher.h"
#include "schedule/ProjectSchedule.h"
#include "schedule/ProjectSelector.h"
#include "schedule/TaskListFrame.h"
#include "widgets/DataGrid.h"
#include "widgets/LiveRefresh.h"
#include "widgets/LookupCombo.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {
// Child mode: the statements committed one after the other, as another copy would.
int runStatements(const QString& dataFolder, const QStringList& statements) {
    DbConnection conn(dataFolder);
    for (const QString& sql : statements)
        conn.execute(sql);
    return 0;
}
} // namespace

class TestLiveRefresh : public QObject {
    Q_OBJECT

    std::unique_ptr<ScheduleFixture> fx_;
    std::unique_ptr<TfrmProjectSchedule> win_;

    DataGrid* grid() const { return win_->fraTaskList->gridSchedule; }
    // The value the grid shows for a task, or an invalid one when it is not shown.
    QVariant shown(int taskID, const QString& field) const {
        const auto columns = grid()->shownColumns();
        int at = -1;
        for (int c = 0; c < columns.size(); ++c)
            if (columns.at(c).field == field)
                at = c;
        for (const auto& r : grid()->shownRows())
            if (!r.isGroup && r.key.toInt() == taskID)
                return r.values.value(at);
        return {};
    }
    QStringList projectNames() const {
        QStringList names;
        for (const auto& item : win_->cmbProjectAction->items())
            names << item.second;
        return names;
    }
    // Another copy commits the statements; returns once they are committed.
    void anotherCopyRuns(const QStringList& statements) {
        QProcess other;
        other.setProcessChannelMode(QProcess::ForwardedChannels);
        other.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--execute"), fx_->globals->dataFolder()} +
                        statements);
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitCode(), 0);
    }
    QString setStatus(int taskID, const char* status) const {
        return QStringLiteral("update tasks set \"Status\" = '%1' where \"Task ID\" = %2")
            .arg(QLatin1String(status))
            .arg(taskID);
    }

private slots:
    void init() {
        fx_ = std::make_unique<ScheduleFixture>();
        win_ = std::make_unique<TfrmProjectSchedule>();
        win_->show();
        QApplication::setActiveWindow(win_.get());
        QVERIFY(QTest::qWaitForWindowActive(win_.get()));
        QVERIFY(dmGlobals->changeWatcher->isActive());
    }
    void cleanup() {
        win_.reset();
        QVERIFY(!fx_->globals->changeWatcher->isActive());
        QVERIFY2(fx_->errors.isEmpty(), qPrintable(fx_->errors.join(u'\n')));
        fx_.reset();
    }

    void anotherCopysChangeShowsWithoutAKeyPress() {
        QVERIFY(grid()->setFocusedKey(fx_->invoice));
        QSignalSpy rereads(grid()->sourceModel(), &QAbstractItemModel::modelReset);
        anotherCopyRuns({setStatus(fx_->design, "Testing"),
                         QStringLiteral("update projects set \"Name\" = 'Zenith' where "
                                        "\"Project ID\" = %1")
                             .arg(fx_->zephyr)});
        QElapsedTimer since;
        since.start();
        QTRY_COMPARE_WITH_TIMEOUT(shown(fx_->design, TfraTaskList::kStatus).toString(),
                                  QStringLiteral("Testing"), 2000);
        QVERIFY(since.elapsed() < 2000);
        QVERIFY(rereads.count() >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(projectNames().contains(QStringLiteral("Zenith")), 2000);
        // The user's place in the list stays.
        QCOMPARE(grid()->focusedKey().toInt(), fx_->invoice);
        QCOMPARE(fx_->currentTaskID(), fx_->invoice);
        QCOMPARE(win_->cmbProject->currentText(), QStringLiteral("Apollo"));
        QVERIFY(Msg::takeShown().isEmpty());
    }

    void notWhileADialogIsAboveTheWindow() {
        QDialog dialog(win_.get());
        dialog.setModal(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        anotherCopyRuns({setStatus(fx_->design, "Complete")});
        QTRY_VERIFY_WITH_TIMEOUT(win_->liveRefresh->pending(), 2000);
        QTest::qWait(3 * DataChangeWatcher::kPollIntervalMs);
        QCOMPARE(shown(fx_->design, TfraTaskList::kStatus).toString(),
                 QStringLiteral("In Development"));
        QVERIFY(!LiveRefresh::windowIdle(win_.get(), *dmGlobals->changeWatcher));
        QVERIFY(LiveRefresh::windowIdle(&dialog, *dmGlobals->changeWatcher));
        dialog.close();
        QTRY_COMPARE_WITH_TIMEOUT(shown(fx_->design, TfraTaskList::kStatus).toString(),
                                  QStringLiteral("Complete"), 2000);
        QVERIFY(!win_->liveRefresh->pending());
        QCOMPARE(win_->myTasksCaption(), QStringLiteral("My incomplete tasks: 1"));
    }

    void refreshCommandReadsAtOnce() {
        // Only the command re-reads here.
        dmGlobals->changeWatcher->stop();
        QVERIFY(grid()->setFocusedKey(fx_->build));
        {
            DbConnection other(fx_->globals->dataFolder());
            other.execute(setStatus(fx_->build, "Testing"));
            other.execute(QStringLiteral("insert into projects (\"Name\") values ('Hermes')"));
        }
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_F5);
        QCOMPARE(shown(fx_->build, TfraTaskList::kStatus).toString(), QStringLiteral("Testing"));
        QVERIFY(projectNames().contains(QStringLiteral("Hermes")));
        QCOMPARE(grid()->focusedKey().toInt(), fx_->build);
        QCOMPARE(fx_->currentTaskID(), fx_->build);
    }
};

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() >= 3 && args[1] == QLatin1String("--execute"))
        return runStatements(args[2], args.mid(3));
    QApplication app(argc, argv);
    TestLiveRefresh t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_liverefresh.moc"
