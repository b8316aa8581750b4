#include "bench/RemainingWorkFigure.h"

#include "bench/BenchSupport.h"
#include "data/Dataset.h"
#include "data/Errors.h"
#include "data/RemainingWork.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <random>

namespace bench {
namespace {

struct TaskState {
    double current = 0, elapsed = 0, original = 0;
};

struct Totals {
    double remaining = 0, elapsed = 0;
};

// How the history writes a number; some users have a decimal comma.
std::string hoursText(double v, bool comma) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (comma)
        for (char& c : s)
            if (c == '.')
                c = ',';
    return s;
}

struct Fixture {
    int projectID = 1;
    int tasks = 0;
    int rows = 0;
    QDate firstDay;
    // Totals at the end of each day from firstDay to today, as the history was written.
    std::vector<Totals> expected;
};

// One project of `tasks` tasks whose History table holds `rows` rows written
// as the program writes them over the last 200 days: each task's adding
// (undated), quick actions, editor saves of one or two lines, and re-estimates.
Fixture buildFixture(const QString& dataFolder, int tasks, int rows) {
    QDir().mkpath(dataFolder);
    CreateAllTables(dataFolder);
    RawConnection raw(dataFolder);
    raw.exec("PRAGMA main.synchronous=OFF; PRAGMA history.synchronous=OFF; BEGIN");
    raw.exec("INSERT INTO projects.\"Projects\" (\"Name\") VALUES ('Burn-down')");
    RawStatement feature(
        raw.handle(),
        "INSERT INTO features.\"Features\" (\"Project ID\", \"Name\") VALUES (1, ?1)");
    for (int f = 1; f <= 100; ++f) {
        feature.bindText(1, "Feature " + std::to_string(f));
        feature.step();
        feature.reset();
    }
    RawStatement history(raw.handle(),
                         "INSERT INTO history.\"History\" (\"Task ID\", \"User ID\", "
                         "\"Action Description\", \"Change Description\", \"Modified Datestamp\") "
                         "VALUES (?1, 1, ?2, ?3, ?4)");

    Fixture fx;
    fx.tasks = tasks;
    fx.rows = rows;
    const QDate today = QDate::currentDate();
    constexpr int kDays = 200;
    fx.firstDay = today.addDays(-(kDays - 1));
    std::mt19937 rng(1506);
    std::uniform_int_distribution<int> estimate(1, 40);
    std::vector<TaskState> state(static_cast<size_t>(tasks));
    std::vector<bool> added(static_cast<size_t>(tasks), false);
    int addedCount = 0;
    const int addEvery = std::max(1, rows / std::max(1, tasks));
    auto totals = [&] {
        Totals t;
        for (size_t i = 0; i < state.size(); ++i)
            if (added[i]) {
                t.remaining += state[i].current - state[i].elapsed;
                t.elapsed += state[i].elapsed;
            }
        return t;
    };
    int lastDay = 0; // day of the last dated row, counted from firstDay
    fx.expected.assign(size_t(kDays), Totals{});
    for (int i = 0; i < rows; ++i) {
        const int day = int(qint64(i) * kDays / rows);
        const bool add = addedCount < tasks && (i % addEvery == 0 || addedCount == 0);
        if (add) {
            const int t = addedCount++;
            added[size_t(t)] = true;
            const int e = estimate(rng);
            state[size_t(t)] = {double(e), 0, double(e)};
            history.bindInt(1, t + 1);
            history.bindText(2, "Task added by Developer 01");
            history.bindNull(3);
            history.bindNull(4);
            history.step();
            history.reset();
            continue;
        }
        if (day != lastDay) {
            // The days up to this one are complete.
            const Totals t = totals();
            for (int d = lastDay; d < day; ++d)
                fx.expected[size_t(d)] = t;
            lastDay = day;
        }
        const int t = std::uniform_int_distribution<int>(0, addedCount - 1)(rng);
        TaskState& s = state[size_t(t)];
        const bool comma = i % 8 == 0;
        std::string change;
        auto line = [&](const char* field, double from, double to) {
            change += std::string(field) + " changed from " + hoursText(from, comma) + " to " +
                      hoursText(to, comma);
        };
        switch (i % 6) {
        case 0:
        case 1: // "Work 1 hour on this task"
            line("Elapsed Time", s.elapsed, s.elapsed + 1);
            s.elapsed += 1;
            break;
        case 2: { // an editor save raising the elapsed time past the estimate
            const double worked = s.elapsed + 0.5 * (1 + i % 7);
            if (worked > s.current) {
                line("Current Estimate", s.current, worked);
                change += "\r\n";
                s.current = worked;
            }
            line("Elapsed Time", s.elapsed, worked);
            change += "\r\n";
            s.elapsed = worked;
            break;
        }
        case 3: { // re-estimated, with a status change in the same save
            const double next = s.current + 0.25 * (i % 9) - 1;
            line("Current Estimate", s.current, next);
            change += "\r\nStatus changed from Not Started to In Development\r\n";
            s.current = next;
            break;
        }
        case 4:
            change = "Task assigned to Developer " + std::to_string(1 + i % 20) + "\r\n";
            break;
        default:
            line("Original Estimate", s.original, s.original + 2);
            s.original += 2;
        }
        char when[40];
        std::snprintf(when, sizeof when, "%sT%02d:%02d:%02d.%03d",
                      fx.firstDay.addDays(day).toString(Qt::ISODate).toLatin1().constData(),
                      8 + (i / 3600) % 10, (i / 60) % 60, i % 60, i % 1000);
        history.bindInt(1, t + 1);
        history.bindText(2, "Modified by Developer 01");
        history.bindText(3, change);
        history.bindText(4, when);
        history.step();
        history.reset();
    }
    const Totals last = totals();
    for (int d = lastDay; d < kDays; ++d)
        fx.expected[size_t(d)] = last;

    RawStatement task(raw.handle(), "INSERT INTO main.\"Tasks\" (\"Feature ID\", \"Name\", "
                                    "\"Priority\", \"Original Estimate\", \"Current Estimate\", "
                                    "\"Elapsed Time\", \"Status\") VALUES (?1, ?2, 3, ?3, ?4, ?5, "
                                    "'In Development')");
    for (int t = 0; t < tasks; ++t) {
        task.bindInt(1, 1 + t % 100);
        task.bindText(2, "Task " + std::to_string(t + 1));
        task.bindDouble(3, state[size_t(t)].original);
        task.bindDouble(4, state[size_t(t)].current);
        task.bindDouble(5, state[size_t(t)].elapsed);
        task.step();
        task.reset();
    }
    raw.exec("COMMIT");
    return fx;
}

// The statements with the named parameter as a numbered one.
std::string bareSql(const char* sql) {
    QString s = QString::fromUtf8(sql);
    s.replace(QStringLiteral(":ProjectID"), QStringLiteral("?1"));
    return s.toStdString();
}

// The chart must show what was written, day by day.
void verify(const RemainingWork::Chart& chart, const Fixture& fx) {
    if (chart.from != fx.firstDay || chart.dayCount() != int(fx.expected.size()))
        throw DataError(QStringLiteral("The chart runs from %1 over %2 days, not from %3 over %4")
                            .arg(chart.from.toString(Qt::ISODate))
                            .arg(chart.dayCount())
                            .arg(fx.firstDay.toString(Qt::ISODate))
                            .arg(fx.expected.size()));
    for (int d = 0; d < chart.dayCount(); ++d) {
        const auto& got = chart.project[size_t(d)];
        const Totals& want = fx.expected[size_t(d)];
        if (std::abs(got.remaining - want.remaining) > 1e-6 ||
            std::abs(got.elapsed - want.elapsed) > 1e-6)
            throw DataError(QStringLiteral("Day %1: remaining %2 and elapsed %3, not %4 and %5")
                                .arg(chart.dayAt(d).toString(Qt::ISODate))
                                .arg(got.remaining)
                                .arg(got.elapsed)
                                .arg(want.remaining)
                                .arg(want.elapsed));
    }
    if (chart.placedByEarlierRow + chart.placedByLaterRow != fx.tasks)
        throw DataError(QStringLiteral("%1 of %2 tasks were placed")
                            .arg(chart.placedByEarlierRow + chart.placedByLaterRow)
                            .arg(fx.tasks));
}

} // namespace

void runRemainingWorkFigure(const BenchOptions& options) {
    const int tasks = options.quick ? 2000 : 10000;
    const int rows = options.quick ? 20000 : 200000;
    const QString folder = QDir(options.root).filePath(QStringLiteral("remaining-work/Data"));
    QElapsedTimer timer;
    timer.start();
    const Fixture fx = buildFixture(folder, tasks, rows);
    std::printf("fixture: %d tasks in one project, %d History rows, built in %.1f s\n", tasks, rows,
                double(timer.elapsed()) / 1000.0);
    std::fflush(stdout);

    DbConnection conn(folder);
    RawConnection raw(folder);
    const QDate today = QDate::currentDate();
    std::vector<int> filtered;
    for (int t = 1; t <= tasks; t += 3)
        filtered.push_back(t);
    auto ours = [&] {
        const RemainingWork::ProjectRows in = RemainingWork::loadProjectRows(conn, fx.projectID);
        return RemainingWork::reconstruct(in.tasks, in.rows, filtered, QDate(), today);
    };
    verify(ours(), fx);

    RawStatement bareTasks(raw.handle(), bareSql(RemainingWork::kProjectTasksSql).c_str());
    RawStatement bareHistory(raw.handle(), bareSql(RemainingWork::kHistorySql).c_str());
    std::vector<RawValue> values;
    const Timing t = measurePair(
        [&](int) {
            const RemainingWork::Chart c = ours();
            consume(std::uint64_t(c.dayCount() + c.placedByEarlierRow));
        },
        [&](int) {
            values.clear();
            bareTasks.bindInt(1, fx.projectID);
            while (bareTasks.step())
                readRow(bareTasks.handle(), values);
            bareTasks.reset();
            bareHistory.bindInt(1, fx.projectID);
            while (bareHistory.step())
                readRow(bareHistory.handle(), values);
            bareHistory.reset();
            consume(values.size());
        },
        200, 9);
    printFigure("remaining-work", t, 3.0);
}

} // namespace bench
