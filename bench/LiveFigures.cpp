#include "bench/LiveFigures.h"

#include "bench/BenchFixture.h"
#include "bench/BenchSupport.h"
#include "data/DataChangeWatcher.h"
#include "data/Errors.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "schedule/ScheduleModel.h"

#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <random>
#include <string>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSamples = 20;
constexpr int kSampleTimeoutMs = 5000;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Commits in a child process, one at a time, each at a random moment of the
// poll interval, until the schedule model shows the new value. Returns the
// median time from the end of the child's commit to the model's reset.
double refreshLatencyMs(TdmGlobals& globals, TdmProjects& projects, const FixtureInfo& info,
                        bool fileNotices, int firstValue) {
    DataChangeWatcher& watcher = *globals.changeWatcher;
    DbQuery& q = *projects.sqlSchedule;
    ScheduleModel model(&q);
    // As the task list does: the model follows the query's runs.
    const auto reread = QObject::connect(&q, &DbDataset::afterOpen, &model, &ScheduleModel::reload);
    // As the main window does when it is idle.
    QEventLoop* running = nullptr;
    std::exception_ptr failure;
    const auto follow = QObject::connect(&watcher, &DataChangeWatcher::changed, &projects, [&] {
        try {
            projects.rereadAll();
        } catch (...) {
            failure = std::current_exception();
            if (running)
                running->exit(2);
        }
    });
    const int taskID = info.firstBigTaskID + info.bigTaskCount / 3;
    const int idColumn = model.fieldIndex(QStringLiteral("Task ID"));
    const int elapsedColumn = model.fieldIndex(QStringLiteral("Elapsed Time"));
    const auto rowOfTask = [&] {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.data(model.index(r, idColumn)).toInt() == taskID)
                return r;
        return -1;
    };
    int row = rowOfTask();
    if (row < 0)
        throw DataError(QStringLiteral("The schedule does not show task %1").arg(taskID));

    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setReadChannel(QProcess::StandardOutput);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QString::fromLatin1(kCommitChildArgument), globals.dataFolder(), QString::number(taskID)});
    if (!child.waitForStarted(10000))
        throw DataError(QStringLiteral("The committing child process did not start"));

    watcher.setFileNotices(fileNotices);
    watcher.start();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> phase(0, watcher.interval());
    std::vector<double> latencies;
    for (int i = 0; i < kSamples; ++i) {
        const double value = firstValue + i;
        std::int64_t committed = 0, seen = 0;
        QEventLoop loop;
        const auto done = [&] {
            if (committed && seen)
                loop.quit();
        };
        const auto shown = QObject::connect(&model, &QAbstractItemModel::modelReset, &loop, [&] {
            if (row >= model.rowCount() || model.data(model.index(row, idColumn)).toInt() != taskID)
                row = rowOfTask();
            if (row >= 0 && model.data(model.index(row, elapsedColumn)).toDouble() == value) {
                seen = nowNs();
                done();
            }
        });
        const auto reported =
            QObject::connect(&child, &QProcess::readyReadStandardOutput, &loop, [&] {
                while (child.canReadLine()) {
                    committed = child.readLine().trimmed().toLongLong();
                    done();
                }
            });
        QTimer::singleShot(phase(rng), &loop,
                           [&] { child.write(QByteArray::number(value, 'g', 15) + '\n'); });
        QTimer::singleShot(kSampleTimeoutMs, &loop, [&] { loop.exit(1); });
        running = &loop;
        const int rc = loop.exec();
        running = nullptr;
        QObject::disconnect(shown);
        QObject::disconnect(reported);
        if (failure)
            std::rethrow_exception(failure);
        if (rc != 0)
            throw DataError(
                QStringLiteral("The schedule did not show the child's commit %1 in time")
                    .arg(i + 1));
        latencies.push_back(double(seen - committed) / 1e6);
    }
    watcher.stop();
    watcher.setFileNotices(true);
    child.closeWriteChannel();
    child.waitForFinished(10000);
    QObject::disconnect(reread);
    QObject::disconnect(follow);
    return median(latencies);
}

// One bare round trip of the engine's change counter for every table file,
// as a program that checks for changes without our layer does it.
class BareCounters {
public:
    explicit BareCounters(RawConnection& raw) {
        for (const char* schema :
             {"main", "\"projects\"", "\"features\"", "\"history\"", "\"developers\""})
            statements_.push_back(std::make_unique<RawStatement>(
                raw.handle(), (std::string("PRAGMA ") + schema + ".data_version").c_str()));
    }
    std::uint64_t check() {
        std::uint64_t sum = 0;
        for (const auto& st : statements_) {
            if (!st->step())
                throw DataError(QStringLiteral("The bare change counter gave no row"));
            sum += std::uint64_t(sqlite3_column_int64(st->handle(), 0));
            st->reset();
        }
        return sum;
    }
    size_t files() const { return statements_.size(); }

private:
    std::vector<std::unique_ptr<RawStatement>> statements_;
};

} // namespace

void runLiveFigures(const BenchOptions& options, TdmGlobals& globals, TdmProjects& projects,
                    const FixtureInfo& info) {
    if (options.wants(QStringLiteral("idle-poll"))) {
        RawConnection raw(globals.dataFolder());
        BareCounters bare(raw);
        DataChangeWatcher& watcher = *globals.changeWatcher;
        if (globals.Connection().tableFiles().size() != qsizetype(bare.files()))
            throw DataError(QStringLiteral("Our connection and the bare one hold different files"));
        watcher.checkNow();
        const Timing t = measurePair([&](int) { consume(watcher.checkNow() ? 1 : 0); },
                                     [&](int) { consume(bare.check()); });
        printFigure("idle-poll", t, 2.0);
    }
    if (options.wants(QStringLiteral("refresh-latency"))) {
        const double interval = DataChangeWatcher::kPollIntervalMs;
        globals.changeWatcher->setInterval(int(interval));
        // As the program runs: file-system notices wake the check early.
        const double notices = refreshLatencyMs(globals, projects, info, true, 1000);
        printFigure("refresh-latency", {notices, interval, notices / interval}, 1.5);
        // The timer alone, as on shares that send no notices.
        const double polled = refreshLatencyMs(globals, projects, info, false, 2000);
        printFigure("refresh-latency-poll", {polled, interval, polled / interval}, 1.5);
    }
}

int runCommitChild(const QString& dataFolder, int taskID) {
    try {
        RawConnection raw(dataFolder);
        RawStatement update(
            raw.handle(), "UPDATE main.\"Tasks\" SET \"Elapsed Time\" = ?1 WHERE \"Task ID\" = ?2");
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.empty())
                continue;
            raw.exec("BEGIN IMMEDIATE");
            update.bindDouble(1, std::stod(line));
            update.bindInt(2, taskID);
            update.step();
            update.reset();
            raw.exec("COMMIT");
            std::printf("%lld\n", static_cast<long long>(nowNs()));
            std::fflush(stdout);
        }
    } catch (const PelloranError& e) {
        std::fprintf(stderr, "commit child: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace bench
