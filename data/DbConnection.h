#pragma once
// The connection on the data folder: every table's file attached to one
// engine connection, the cache of prepared statements and write transactions.
#include "data/TableStructures.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class DbConnection {
public:
    // Opens the data folder. The tables must exist (see CreateAllTables).
    explicit DbConnection(const QString& dataFolder);
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    const QString& dataFolder() const { return folder_; }

    // Makes the table's file reachable by its name in statements. An
    // encrypted table is opened with its own password from the table
    // definitions, or with `password` when one is given; a wrong one fails
    // with a clear error.
    void attachTable(const TableDef& table, const std::optional<QString>& password = std::nullopt);
    bool isAttached(const TableDef& table) const;
    // Attaches the tables a statement names that are not attached yet (the
    // encrypted one), so a query that reads "Developers" needs no password.
    void attachTablesNamedIn(const QString& sql);

    // Runs one statement that returns no rows, binding `params` in order to
    // its parameters, in a transaction of its own unless one is open.
    // Returns the changed row count.
    int execute(const QString& sql, const QVariantList& params = {});

    // Raises a DataError with the engine's message and the file involved.
    [[noreturn]] void fail(const QString& what, const QString& file = {}) const;
    void check(int rc, const QString& what) const;

    // Write transaction. The outermost one takes the write lock at once (so two
    // copies of the program queue on the busy timeout instead of deadlocking);
    // inner ones are savepoints. Rolled back unless commit() was called.
    class Transaction {
    public:
        explicit Transaction(DbConnection& conn);
        ~Transaction();
        void commit();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

    private:
        DbConnection& conn_;
        int level_;
        bool done_ = false;
    };
    bool inTransaction() const { return txDepth_ > 0; }

    // The engine's change counter of every table file on the connection, the
    // main one first, then the attached ones in the order they were attached.
    // A file's counter moves when another connection commits to it; our own
    // commits leave it alone. Never waits for a lock: returns false while a
    // writer holds a file for its commit (or a file cannot be read) and
    // inside our own write transaction, so the caller asks again shortly.
    bool readChangeCounters(std::vector<qint64>& counters);
    // The table files on the connection, in the same order.
    QStringList tableFiles() const;

    // Busy timeout in milliseconds for waiting on another copy's lock.
    static constexpr int kBusyTimeoutMs = 15000;

private:
    // Statements borrow from the cache. The engine's own connection stays
    // inside the data layer: a table reads from it the id and the row count
    // its last write left.
    friend class DbStatement;
    friend class DbTable;
    // Tests that must break the connection on purpose define this.
    friend struct DbConnectionTestAccess;
    sqlite3* handle() const { return db_; }

    sqlite3_stmt* acquire(const QString& sql, bool& cached);
    void release(const QString& sql, sqlite3_stmt* stmt, bool cached);
    QString fileOf(const QString& schema) const;

    QString folder_;
    QString mainFile_;
    sqlite3* db_ = nullptr;
    int txDepth_ = 0;
    struct CacheEntry;
    std::vector<std::unique_ptr<CacheEntry>> cache_;
    QStringList attached_;
    // One prepared counter statement per table file, in the order above.
    std::vector<sqlite3_stmt*> counterStatements_;
};
