#pragma once
// What every figure of pelloran-bench shares: a bare connection on the data
// folder for the baselines, interleaved timing with medians, and the one line
// each figure prints.
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

// A statement on a bare connection, prepared once; reset() releases its read lock.
class RawStatement {
public:
    RawStatement(sqlite3* db, const char* sql);
    ~RawStatement();
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    void bindInt(int index, std::int64_t v);
    void bindDouble(int index, double v);
    void bindText(int index, const std::string& v);
    void bindNull(int index);
    bool step(); // true while a row is available
    void reset();
    sqlite3_stmt* handle() const { return stmt_; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// A bare connection laid out like ours: the Tasks file as main and the other
// tables attached under their lower-case names, Developers with its key.
class RawConnection {
public:
    explicit RawConnection(const QString& dataFolder);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    sqlite3* handle() const { return db_; }
    void exec(const char* sql);

private:
    sqlite3* db_ = nullptr;
};

// A column value as a bare program keeps it.
using RawValue = std::variant<std::monostate, std::int64_t, double, std::string>;
// Reads every column of the current row onto the end of `out`.
void readRow(sqlite3_stmt* stmt, std::vector<RawValue>& out);

// Raises a DataError with the engine's message.
void check(sqlite3* db, int rc, const char* what);

struct Timing {
    double oursMs = 0; // per operation, median of the batches
    double baseMs = 0;
    // Median of the ratios of batches run back to back: other work on the
    // machine slows both of a pair alike, so this holds up better than oursMs / baseMs.
    double ratio = 0;
};

// Runs both operations in alternating batches after a warm-up, each batch
// sized to take about batchMs; `i` counts the operations of that side.
Timing measurePair(const std::function<void(int i)>& ours, const std::function<void(int i)>& base,
                   double batchMs = 80, int batches = 15);

// "bench <name>: ours=<ms> ms base=<ms> ms ratio=<x.xx> target=<x.x>"
void printFigure(const char* name, const Timing& t, double target);

// Keeps a computed value alive so the compiler cannot drop the work behind it.
void consume(std::uint64_t v);

// Local date and time in the form the data layer stores ("yyyy-MM-ddTHH:mm:ss.zzz").
std::string nowStamp();

} // namespace bench
