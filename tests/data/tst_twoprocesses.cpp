// Two copies of the program on one data folder: their writes wait for each
// other and all of them land, each with its history row.
#include "data/GlobalData.h"
#include "data/ProjectData.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr int kChangesPerProcess = 40;

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
} // namespace

class TestTwoProcesses : public QObject {
    Q_OBJECT
private slots:
    void concurrentHoursAreAllKept() {
        QTemporaryDir dir;
        int taskID = 0;
        {
            TdmGlobals globals(dir.path());
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
            taskID = k.field(0).asInteger();
        }
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
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--worker"))
        return runWorker(args[2], args[3].toInt());
    TestTwoProcesses t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_twoprocesses.moc"
