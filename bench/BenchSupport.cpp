#include "bench/BenchSupport.h"

#include "data/Errors.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace bench {

void check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DataError(QString::fromUtf8(what) + QStringLiteral(": ") +
                        QString::fromUtf8(sqlite3_errmsg(db)));
}

RawStatement::RawStatement(sqlite3* db, const char* sql)
    : db_(db) {
    check(db_, sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr), sql);
}

RawStatement::~RawStatement() {
    sqlite3_finalize(stmt_);
}

void RawStatement::bindInt(int index, std::int64_t v) {
    check(db_, sqlite3_bind_int64(stmt_, index, v), "bind");
}

void RawStatement::bindDouble(int index, double v) {
    check(db_, sqlite3_bind_double(stmt_, index, v), "bind");
}

void RawStatement::bindText(int index, const std::string& v) {
    check(db_, sqlite3_bind_text64(stmt_, index, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
          "bind");
}

void RawStatement::bindNull(int index) {
    check(db_, sqlite3_bind_null(stmt_, index), "bind");
}

bool RawStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    check(db_, rc, "step");
    return false;
}

void RawStatement::reset() {
    sqlite3_reset(stmt_);
}

RawConnection::RawConnection(const QString& dataFolder) {
    const QDir dir(dataFolder);
    const QByteArray main = QFile::encodeName(dir.filePath(QStringLiteral("Tasks.db")));
    const int rc = sqlite3_open_v2(main.constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DataError(QStringLiteral("Cannot open the bare connection: ") + msg);
    }
    sqlite3_busy_timeout(db_, 15000);
    exec("PRAGMA main.journal_mode=DELETE");
    for (const TableDef& t : allTableDefs()) {
        if (t.name == QLatin1String("Tasks"))
            continue;
        RawStatement attach(
            db_, ("ATTACH DATABASE ?1 AS \"" + t.schema().toStdString() + "\" KEY ?2").c_str());
        attach.bindText(1, QFile::encodeName(dir.filePath(t.fileName())).toStdString());
        attach.bindText(2, t.encrypted ? kTablePassword.toStdString() : std::string());
        attach.step();
    }
}

RawConnection::~RawConnection() {
    sqlite3_close_v2(db_);
}

void RawConnection::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db_));
        sqlite3_free(err);
        throw DataError(QString::fromUtf8(sql) + QStringLiteral(": ") + msg);
    }
}

void readRow(sqlite3_stmt* stmt, std::vector<RawValue>& out) {
    const int n = sqlite3_column_count(stmt);
    for (int c = 0; c < n; ++c) {
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
            out.emplace_back(std::int64_t(sqlite3_column_int64(stmt, c)));
            break;
        case SQLITE_FLOAT:
            out.emplace_back(sqlite3_column_double(stmt, c));
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, c));
            out.emplace_back(std::string(p ? p : "", size_t(sqlite3_column_bytes(stmt, c))));
            break;
        }
        default:
            out.emplace_back(std::monostate{});
        }
    }
}

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the operation for a short while and returns its time per call.
double warmUp(const std::function<void(int)>& op, int& counter, double forMs) {
    const auto start = Clock::now();
    int n = 0;
    do {
        op(counter++);
        ++n;
    } while (n < 3 || msSince(start) < forMs);
    return msSince(start) / n;
}

double batch(const std::function<void(int)>& op, int& counter, int ops) {
    const auto start = Clock::now();
    for (int k = 0; k < ops; ++k)
        op(counter++);
    return msSince(start) / ops;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

int opsFor(double perOpMs, double batchMs) {
    return std::max(1, int(batchMs / std::max(perOpMs, 1e-6)));
}

} // namespace

Timing measurePair(const std::function<void(int)>& ours, const std::function<void(int)>& base,
                   double batchMs, int batches) {
    int oursCount = 0, baseCount = 0;
    const int oursOps = opsFor(warmUp(ours, oursCount, batchMs / 2), batchMs);
    const int baseOps = opsFor(warmUp(base, baseCount, batchMs / 2), batchMs);
    std::vector<double> o, b, r;
    for (int k = 0; k < batches; ++k) {
        // Alternate which side goes first, so neither always finds the caches warm.
        if (k % 2 == 0) {
            o.push_back(batch(ours, oursCount, oursOps));
            b.push_back(batch(base, baseCount, baseOps));
        } else {
            b.push_back(batch(base, baseCount, baseOps));
            o.push_back(batch(ours, oursCount, oursOps));
        }
        r.push_back(o.back() / b.back());
    }
    return {median(o), median(b), median(r)};
}

namespace {
// Enough digits to tell figures apart, from minutes down to microseconds.
const char* msFormat(double ms) {
    return ms >= 100 ? "%.1f" : ms >= 10 ? "%.2f" : ms >= 1 ? "%.3f" : ms >= 0.01 ? "%.4f" : "%.5f";
}
} // namespace

void printFigure(const char* name, const Timing& t, double target) {
    char ours[32], base[32];
    std::snprintf(ours, sizeof ours, msFormat(t.oursMs), t.oursMs);
    std::snprintf(base, sizeof base, msFormat(t.baseMs), t.baseMs);
    std::printf("bench %s: ours=%s ms base=%s ms ratio=%.2f target=%.1f\n", name, ours, base,
                t.ratio, target);
    std::fflush(stdout);
}

volatile std::uint64_t g_sink = 0;

void consume(std::uint64_t v) {
    g_sink = g_sink + v;
}

std::string nowStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[40];
    const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(buf + n, sizeof buf - n, ".%03d", ms);
    return buf;
}

} // namespace bench
