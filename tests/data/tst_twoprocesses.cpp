// Two copies of the program on one data folder: their writes wait for each
// other and all of them land, each with its history row. One case makes the
// copies meet on purpose: one is held between reading the hours and writing
// them while the other adds its hour. Each copy notices the other's commits
// without any action of its own.
#include "data/DataChangeWatcher.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "tests/common/TestRows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {
constexpr int kChangesPerProcess = 40;
// How long the held copy waits for the other one's hour. With the write lock
// held the other cannot finish and this time runs out; without it, the other
// finishes in milliseconds.
constexpr int kHoldMs = 3000;

// Signals between the copies are empty files in the program folder.
void raiseSignal(const QString& folder, const char* name) {
    QFile f(QDir(folder).filePath(QString::fromLatin1(name)));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write the signal file %s", name);
}
bool waitForSignal(const QString& folder, const char* name, int ms) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    QDeadlineTimer deadline(ms);
    while (!QFile::exists(path)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

// A project with one feature and one task with no hours yet; returns the task.
int makeTask(const QString& programFolder) {
    TdmGlobals globals(programFolder);
    DbConnection& conn = globals.Connection();
    DbTable t(conn, QStringLiteral("Projects"));
    t.open();
    t.append();
    t.post();
    DbTable f(conn, QStringLiteral("Features"));
    f.open();
    f.append();
    f.fieldByName(QStringLiteral("Project ID")).setAsInteger(t.field(0).asInteger());
    f.post();
    DbTable k(conn, QStringLiteral("Tasks"));
    k.open();
    k.append();
    k.fieldByName(QStringLiteral("Feature ID")).setAsInteger(f.field(0).asInteger());
    k.fieldByName(QStringLiteral("Elapsed Time")).setAsFloat(0);
    k.post();
    return k.field(0).asInteger();
}

// Child mode: add kChangesPerProcess hours to the only task, one at a time.
int runWorker(const QString& programFolder, int userID) {
    TdmGlobals globals(programFolder);
    globals.CurrentUserID = userID;
    globals.CurrentUserName = QStringLiteral("worker %1").arg(userID);
    TdmProjects projects(globals);
    for (int i = 0; i < kChangesPerProcess; ++i) {
        projects.sqlSchedule->first();
        const double shown =
            projects.sqlSchedule->fieldByName(QStringLiteral("Elapsed Time")).asFloat();
        projects.ChangeTask(QStringLiteral("Elapsed Time"), shown + 1);
    }
    return 0;
}

// Child mode: once ready, waits until the other copy is held between its read
// and its write, then adds one hour to the only task.
int runAddHourWhileHeld(const QString& programFolder) {
    TdmGlobals globals(programFolder);
    globals.CurrentUserID = 2;
    globals.CurrentUserName = QStringLiteral("second");
    TdmProjects projects(globals);
    projects.sqlSchedule->first();
    const double shown =
        projects.sqlSchedule->fieldByName(QStringLiteral("Elapsed Time")).asFloat();
    raiseSignal(programFolder, "ready");
    if (!waitForSignal(programFolder, "held", 60000))
        return 2;
    projects.ChangeTask(QStringLiteral("Elapsed Time"), shown + 1);
    raiseSignal(programFolder, "done");
    return 0;
}
// Child mode: one statement committed on a connection of its own.
int runStatement(const QString& dataFolder, const QString& sql) {
    DbConnection conn(dataFolder);
    conn.execute(sql);
    return 0;
}
} // namespace

class TestTwoProcesses : public QObject {
    Q_OBJECT
private slots:
    // Reading the stored hours and writing the new ones is one step: a copy
    // that adds an hour while another is between the two waits for it, and
    // both hours are kept.
    void hourAddedWhileAnotherCopyIsBetweenReadAndWriteIsKept() {
        QTemporaryDir dir;
        const int taskID = makeTask(dir.path());
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--add-hour-while-held"), dir.path()});
        QVERIFY(waitForSignal(dir.path(), "ready", 60000));

        bool secondWroteMeanwhile = false;
        {
            TdmGlobals globals(dir.path());
            globals.CurrentUserID = 1;
            globals.CurrentUserName = QStringLiteral("first");
            TdmProjects projects(globals);
            projects.setBetweenReadAndWriteHook([&] {
                raiseSignal(dir.path(), "held");
                secondWroteMeanwhile = waitForSignal(dir.path(), "done", kHoldMs);
            });
            projects.sqlSchedule->first();
            projects.ChangeTask(QStringLiteral("Elapsed Time"), 1.0);
        }
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        TdmGlobals globals(dir.path());
        DbTable k(globals.Connection(), QStringLiteral("Tasks"));
        k.open();
        QVERIFY(k.locate(QStringLiteral("Task ID"), taskID));
        QCOMPARE(k.fieldByName(QStringLiteral("Elapsed Time")).asFloat(), 2.0);
        QStringList changes;
        DbTable h(globals.Connection(), QStringLiteral("History"));
        h.open();
        for (; !h.eof(); h.next())
            changes << h.fieldByName(QStringLiteral("Action Description")).asString() + u'|' +
                           h.fieldByName(QStringLiteral("Change Description")).asString();
        QCOMPARE(changes, (QStringList{"Modified by first|Elapsed Time changed from 0 to 1",
                                       "Modified by second|Elapsed Time changed from 1 to 2"}));
        QVERIFY2(!secondWroteMeanwhile,
                 "the other copy wrote while this one was between its read and its write");
    }

    void concurrentHoursAreAllKept() {
        QTemporaryDir dir;
        const int taskID = makeTask(dir.path());
        QList<QProcess*> workers;
        for (int user : {1, 2}) {
            auto* p = new QProcess(this);
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--worker"), dir.path(), QString::number(user)});
            workers << p;
        }
        for (QProcess* p : workers) {
            QVERIFY(p->waitForFinished(300000));
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QCOMPARE(p->exitCode(), 0);
        }
        TdmGlobals globals(dir.path());
        DbTable k(globals.Connection(), QStringLiteral("Tasks"));
        k.open();
        QVERIFY(k.locate(QStringLiteral("Task ID"), taskID));
        QCOMPARE(k.fieldByName(QStringLiteral("Elapsed Time")).asFloat(), 2.0 * kChangesPerProcess);
        DbTable h(globals.Connection(), QStringLiteral("History"));
        h.open();
        QCOMPARE(h.recordCount(), 2 * kChangesPerProcess);
        // Every hour from 0 to the end was recorded exactly once.
        QSet<QString> changes;
        for (; !h.eof(); h.next())
            changes.insert(h.fieldByName(QStringLiteral("Change Description")).asString());
        QCOMPARE(changes.size(), 2 * kChangesPerProcess);
        QVERIFY(changes.contains(QStringLiteral("Elapsed Time changed from 0 to 1")));
    }

    // A commit of another process to any table file reaches the watcher within
    // two seconds, with file-system notices or by the timer alone; our own
    // commits never do, and one commit is told once.
    void anotherProcessesCommitIsNoticed_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("fileNotices");
        const QString tasks = QStringLiteral("update tasks set \"Status\" = 'Complete'");
        const QString projects = QStringLiteral("update projects set \"Name\" = 'Renamed'");
        const QString users = QStringLiteral("insert into developers (\"Name\") values ('Ann')");
        QTest::newRow("tasks (the main file), notices") << tasks << true;
        QTest::newRow("tasks (the main file), timer alone") << tasks << false;
        QTest::newRow("projects (an attached file), notices") << projects << true;
        QTest::newRow("projects (an attached file), timer alone") << projects << false;
        QTest::newRow("users (the encrypted file), timer alone") << users << false;
    }
    void anotherProcessesCommitIsNoticed() {
        QFETCH(QString, sql);
        QFETCH(bool, fileNotices);
        QTemporaryDir dir;
        makeTask(dir.path());
        TdmGlobals globals(dir.path());
        DataChangeWatcher& watcher = *globals.changeWatcher;
        watcher.setFileNotices(fileNotices);
        watcher.start();
        QSignalSpy changed(&watcher, &DataChangeWatcher::changed);

        globals.Connection().execute(QStringLiteral("update tasks set \"Status\" = 'Testing'"));
        addRow(globals.Connection(), QStringLiteral("Developers"), {{"Name", "Bob"}});
        QVERIFY(!watcher.checkNow());
        QTest::qWait(watcher.interval() + 100);
        QCOMPARE(changed.count(), 0);

        QProcess other;
        other.setProcessChannelMode(QProcess::ForwardedChannels);
        other.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--execute"), TdmGlobals::dataFolderFor(dir.path()), sql});
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitCode(), 0);
        QElapsedTimer since;
        since.start();
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 2000);
        QVERIFY(since.elapsed() < 2000);
        QTest::qWait(watcher.interval() + 100);
        QCOMPARE(changed.count(), 1);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--worker"))
        return runWorker(args[2], args[3].toInt());
    if (args.size() == 3 && args[1] == QLatin1String("--add-hour-while-held"))
        return runAddHourWhileHeld(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--execute"))
        return runStatement(args[2], args[3]);
    TestTwoProcesses t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_twoprocesses.moc"
