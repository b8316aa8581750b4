#include "bench/DataFigures.h"

#include "bench/BenchFixture.h"
#include "bench/BenchSupport.h"
#include "bench/LiveFigures.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>
#include <random>

namespace bench {
namespace {

constexpr int kScheduleColumns = 11;

// The module's own statements with their named parameters as numbered ones,
// so the baselines run exactly what our layer runs.
std::string bareSql(const char* sql) {
    QString s = QString::fromUtf8(sql);
    s.replace(QStringLiteral(":\"Project ID\""), QStringLiteral("?1"));
    s.replace(QStringLiteral(":ProjectID"), QStringLiteral("?1"));
    s.replace(QStringLiteral(":DeveloperID"), QStringLiteral("?2"));
    return s.toStdString();
}

// The schedule as a bare program runs it: the statement with every column read
// into values, then the count of the user's incomplete tasks, as our
// after-open handler does on every run.
class RawSchedule {
public:
    RawSchedule(RawConnection& raw, int projectID, int userID)
        : schedule_(raw.handle(), bareSql(TdmProjects::kScheduleSql).c_str())
        , count_(raw.handle(), bareSql(TdmProjects::kMyTasksCountSql).c_str())
        , projectID_(projectID)
        , userID_(userID) {}

    void run() {
        rows_.clear();
        schedule_.bindInt(1, projectID_);
        while (schedule_.step())
            readRow(schedule_.handle(), rows_);
        schedule_.reset();
        count_.bindInt(1, projectID_);
        count_.bindInt(2, userID_);
        count_.step();
        myTasks_ = sqlite3_column_int64(count_.handle(), 0);
        count_.reset();
    }
    int rowCount() const { return int(rows_.size() / kScheduleColumns); }
    const std::vector<RawValue>& rows() const { return rows_; }
    // The row showing the task, as the schedule's locate finds it; -1 when none.
    int rowOf(std::int64_t taskID) const {
        for (int r = 0; r < rowCount(); ++r) {
            const RawValue& v = rows_[size_t(r) * kScheduleColumns];
            if (std::holds_alternative<std::int64_t>(v) && std::get<std::int64_t>(v) == taskID)
                return r;
        }
        return -1;
    }
    std::int64_t myTasks() const { return myTasks_; }

private:
    RawStatement schedule_;
    RawStatement count_;
    int projectID_;
    int userID_;
    std::vector<RawValue> rows_;
    std::int64_t myTasks_ = 0;
};

// Every value held, visited in the form it is held in (a view makes strings
// of the texts it shows, a screenful at a time).
std::uint64_t walk(const DbQuery& q) {
    std::uint64_t sum = 0;
    for (int r = 0; r < q.rowCount(); ++r)
        for (int c = 0; c < q.columnCount(); ++c)
            sum += q.isNullAt(r, c) ? 0 : 1;
    return sum;
}

std::uint64_t walk(const std::vector<RawValue>& rows) {
    std::uint64_t sum = 0;
    for (const RawValue& v : rows)
        sum += v.index() == 0 ? 0 : 1;
    return sum;
}

void scheduleFigure(TdmProjects& projects, RawConnection& raw, const FixtureInfo& info) {
    DbQuery& q = *projects.sqlSchedule;
    RawSchedule bare(raw, info.bigProjectID, info.userID);
    q.close();
    q.open();
    bare.run();
    if (q.rowCount() != info.bigTaskCount || bare.rowCount() != info.bigTaskCount)
        throw DataError(QStringLiteral("The schedule shows %1 rows and the bare query %2, not %3")
                            .arg(q.rowCount())
                            .arg(bare.rowCount())
                            .arg(info.bigTaskCount));
    const Timing t = measurePair(
        [&](int) {
            q.close();
            q.open();
            consume(walk(q));
        },
        [&](int) {
            bare.run();
            consume(walk(bare.rows()) + std::uint64_t(bare.myTasks()));
        });
    printFigure("schedule", t, 1.3);
}

std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

void changeTaskFigure(TdmProjects& projects, RawConnection& raw, const FixtureInfo& info) {
    const int taskID = info.firstBigTaskID + info.bigTaskCount / 2;
    DbQuery& q = *projects.sqlSchedule;
    projects.reopenScheduleAt(taskID);
    if (q.fieldByName(QStringLiteral("Task ID")).asInteger() != taskID)
        throw DataError(QStringLiteral("The schedule does not show task %1").arg(taskID));
    const double before = q.fieldByName(QStringLiteral("Elapsed Time")).asFloat();
    int oursRuns = 0;

    RawSchedule bare(raw, info.bigProjectID, info.userID);
    RawStatement read(raw.handle(),
                      "SELECT \"Elapsed Time\" FROM main.\"Tasks\" WHERE \"Task ID\" = ?1");
    RawStatement update(raw.handle(),
                        "UPDATE main.\"Tasks\" SET \"Elapsed Time\" = ?1 WHERE \"Task ID\" = ?2");
    RawStatement history(raw.handle(), "INSERT INTO history.\"History\" (\"Task ID\", \"User ID\", "
                                       "\"Action Description\", \"Change Description\", "
                                       "\"Modified Datestamp\") VALUES (?1,?2,?3,?4,?5)");
    const std::string action = "Modified by " + info.userName.toStdString();

    const Timing t = measurePair(
        [&](int) {
            // "Work 1 hour on this task" on the focused row.
            const double shown = q.fieldByName(QStringLiteral("Elapsed Time")).asFloat();
            projects.ChangeTask(QStringLiteral("Elapsed Time"), shown + 1.0);
            ++oursRuns;
            consume(std::uint64_t(q.recNo()));
        },
        [&](int) {
            raw.exec("BEGIN IMMEDIATE");
            read.bindInt(1, taskID);
            if (!read.step())
                throw DataError(QStringLiteral("Task %1 is missing").arg(taskID));
            const double old = sqlite3_column_double(read.handle(), 0);
            read.reset();
            update.bindDouble(1, old + 1.0);
            update.bindInt(2, taskID);
            update.step();
            update.reset();
            history.bindInt(1, taskID);
            history.bindInt(2, info.userID);
            history.bindText(3, action);
            history.bindText(4, "Elapsed Time changed from " + numberText(old) + " to " +
                                    numberText(old + 1.0));
            history.bindText(5, nowStamp());
            history.step();
            history.reset();
            raw.exec("COMMIT");
            bare.run();
            consume(std::uint64_t(bare.rowOf(taskID)));
        });
    // The change must have happened and the task must still be the current row.
    if (q.fieldByName(QStringLiteral("Task ID")).asInteger() != taskID ||
        q.fieldByName(QStringLiteral("Elapsed Time")).asFloat() < before + oursRuns)
        throw DataError(QStringLiteral("ChangeTask did not keep the task's hours"));
    printFigure("changetask", t, 1.5);
}

// Ids to look up, spread over the whole table and the same for both sides.
std::vector<int> lookupIDs(int rows) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> id(1, rows);
    std::vector<int> ids(65536);
    for (int& i : ids)
        i = id(rng);
    return ids;
}

// Locate by id on one History table, through our table object and bare.
class LocateBench {
public:
    LocateBench(DbConnection& conn, RawConnection& raw, int rows)
        : ids_(lookupIDs(rows))
        , history_(conn, QStringLiteral("History"))
        , bare_(raw.handle(), "SELECT \"Task History ID\", \"Task ID\", \"User ID\", "
                              "\"Action Description\", \"Change Description\", "
                              "\"Modified Datestamp\" FROM history.\"History\" "
                              "WHERE \"Task History ID\" = ?1") {
        history_.open();
    }

    void ours(int i) {
        if (!history_.locate(idField_, ids_[size_t(i) % ids_.size()]))
            throw DataError(QStringLiteral("Locate missed a History row"));
        consume(std::uint64_t(history_.fieldCount()));
    }
    void base(int i) {
        bare_.bindInt(1, ids_[size_t(i) % ids_.size()]);
        if (!bare_.step())
            throw DataError(QStringLiteral("The bare lookup missed a History row"));
        row_.clear();
        readRow(bare_.handle(), row_);
        bare_.reset();
        consume(row_.size());
    }
    Timing measure() {
        return measurePair([this](int i) { ours(i); }, [this](int i) { base(i); });
    }

private:
    std::vector<int> ids_;
    DbTable history_;
    RawStatement bare_;
    std::vector<RawValue> row_;
    const QString idField_ = QStringLiteral("Task History ID");
};

double secondsSince(const QElapsedTimer& t) {
    return double(t.elapsed()) / 1000.0;
}

} // namespace

void runDataFigures(const BenchOptions& options) {
    FixtureSizes sizes;
    int smallHistory = 10000, largeHistory = 1000000;
    if (options.quick) {
        sizes.bigTasks = 2000;
        sizes.bigFeatures = 20;
        sizes.historyRows = 20000;
        largeHistory = 100000;
    }
    const QString programFolder = QDir(options.root).filePath(QStringLiteral("schedule"));
    QElapsedTimer timer;
    timer.start();
    const FixtureInfo info = buildFixture(TdmGlobals::dataFolderFor(programFolder), sizes);
    std::printf("fixture: %d projects, %d users, %d tasks in %d features in project %d, "
                "%d History rows, built in %.1f s\n",
                sizes.projects, sizes.users, info.bigTaskCount, sizes.bigFeatures,
                info.bigProjectID, info.historyRows, secondsSince(timer));
    std::fflush(stdout);

    {
        TdmGlobals globals(programFolder);
        globals.CurrentUserID = info.userID;
        globals.CurrentUserName = info.userName;
        TdmProjects projects(globals);
        RawConnection raw(globals.dataFolder());
        if (options.wants(QStringLiteral("schedule")))
            scheduleFigure(projects, raw, info);
        if (options.wants(QStringLiteral("changetask")))
            changeTaskFigure(projects, raw, info);
        if (options.wants(QStringLiteral("locate")))
            printFigure("locate",
                        LocateBench(globals.Connection(), raw, info.historyRows).measure(), 2.0);
        runLiveFigures(options, globals, projects, info);
    }
    if (!options.wants(QStringLiteral("locate-")))
        return;

    // Locate must not grow with the table: the same lookups on a small and a large one.
    timer.restart();
    const QString smallFolder = QDir(options.root).filePath(QStringLiteral("locate-small/Data"));
    const QString largeFolder = QDir(options.root).filePath(QStringLiteral("locate-large/Data"));
    buildHistoryFolder(smallFolder, smallHistory);
    buildHistoryFolder(largeFolder, largeHistory);
    std::printf("fixture: History tables of %d and %d rows, built in %.1f s\n", smallHistory,
                largeHistory, secondsSince(timer));
    std::fflush(stdout);
    DbConnection smallConn(smallFolder), largeConn(largeFolder);
    RawConnection smallRaw(smallFolder), largeRaw(largeFolder);
    LocateBench small(smallConn, smallRaw, smallHistory), large(largeConn, largeRaw, largeHistory);
    const auto rowsName = [](int rows) {
        return rows >= 1000000 ? std::to_string(rows / 1000000) + 'M'
                               : std::to_string(rows / 1000) + 'k';
    };
    printFigure(("locate-" + rowsName(smallHistory)).c_str(), small.measure(), 2.0);
    printFigure(("locate-" + rowsName(largeHistory)).c_str(), large.measure(), 2.0);
    // Here "base" is our own lookup on the small table, run in turn with the large one.
    printFigure("locate-flat",
                measurePair([&](int i) { large.ours(i); }, [&](int i) { small.ours(i); }), 2.0);
}

} // namespace bench
