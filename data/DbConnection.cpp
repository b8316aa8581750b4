#include "data/DbConnection.h"

#include "data/DbStatement.h"
#include "data/DbStorage.h"
#include "data/Errors.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using DbStorage::quoted;
using DbStorage::translateParameters;

namespace {

constexpr int kMaxCachedStatements = 96;

// The actual file in the folder whose name matches without regard to case.
QString fileInFolder(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return dir.filePath(name);
}

} // namespace

struct DbConnection::CacheEntry {
    QString sql;
    sqlite3_stmt* stmt = nullptr;
    bool inUse = false;
};

DbConnection::DbConnection(const QString& dataFolder)
    : folder_(dataFolder) {
    const TableDef* tasks = findTableDef(QStringLiteral("Tasks"));
    const QString mainFile = fileInFolder(folder_, tasks->fileName());
    mainFile_ = mainFile;
    if (!QFileInfo::exists(mainFile))
        throw DataError(QStringLiteral("The table Tasks is missing from the data folder"),
                        mainFile);
    const int rc = sqlite3_open_v2(QFile::encodeName(mainFile).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DataError(QStringLiteral("Cannot open the table Tasks: ") + msg, mainFile);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // Rollback journal: the data folder may be a network share, where WAL is unsafe.
    char* err = nullptr;
    if (sqlite3_exec(db_,
                     "PRAGMA main.journal_mode=DELETE; PRAGMA foreign_keys=OFF;"
                     "SELECT count(*) FROM main.sqlite_master;",
                     nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : "unknown error");
        sqlite3_free(err);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DataError(QStringLiteral("The table Tasks cannot be read: ") + msg, mainFile);
    }
    try {
        for (const TableDef& t : allTableDefs())
            if (!t.encrypted && &t != tasks)
                attachTable(t);
    } catch (...) {
        // The destructor does not run for a half-made connection.
        for (auto& e : cache_)
            sqlite3_finalize(e->stmt);
        cache_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
}

DbConnection::~DbConnection() {
    for (sqlite3_stmt* st : counterStatements_)
        sqlite3_finalize(st);
    for (auto& e : cache_)
        sqlite3_finalize(e->stmt);
    cache_.clear();
    if (db_)
        sqlite3_close_v2(db_);
}

QString DbConnection::fileOf(const QString& schema) const {
    for (const TableDef& t : allTableDefs())
        if (t.schema() == schema)
            return fileInFolder(folder_, t.fileName());
    return folder_;
}

bool DbConnection::isAttached(const TableDef& table) const {
    return table.schema() == QLatin1String("tasks") || attached_.contains(table.schema());
}

void DbConnection::attachTable(const TableDef& table, const std::optional<QString>& password) {
    if (isAttached(table))
        return;
    const QString file = fileInFolder(folder_, table.fileName());
    if (!QFileInfo::exists(file))
        throw DataError(QStringLiteral("The table ") + table.name +
                            QStringLiteral(" is missing from the data folder"),
                        file);
    // Plain tables are attached with an empty key, so they stay readable by
    // ordinary tools; the encrypted one with its password.
    const QString sql = QStringLiteral("ATTACH DATABASE ?1 AS ") + quoted(table.schema()) +
                        QStringLiteral(" KEY ?2");
    {
        DbStatement st(*this, sql);
        st.bind(1, file);
        st.bind(2, table.encrypted ? password.value_or(kTablePassword) : QString());
        try {
            st.step();
        } catch (const DataError& e) {
            throw DataError(QStringLiteral("Cannot open the table ") + table.name + u':' + u' ' +
                                QString::fromUtf8(sqlite3_errmsg(db_)),
                            file);
        }
    }
    // The key (or the file itself) is only checked on the first read.
    const QByteArray probe = (QStringLiteral("SELECT count(*) FROM ") + quoted(table.schema()) +
                              QStringLiteral(".sqlite_master"))
                                 .toUtf8();
    if (sqlite3_exec(db_, probe.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        const QByteArray detach =
            (QStringLiteral("DETACH DATABASE ") + quoted(table.schema())).toUtf8();
        sqlite3_exec(db_, detach.constData(), nullptr, nullptr, nullptr);
        throw DataError(
            QStringLiteral("The table ") + table.name +
                (table.encrypted
                     ? QStringLiteral(" cannot be read (wrong password, or not a database): ")
                     : QStringLiteral(" cannot be read: ")) +
                msg,
            file);
    }
    const QByteArray journal = (QStringLiteral("PRAGMA ") + quoted(table.schema()) +
                                QStringLiteral(".journal_mode=DELETE"))
                                   .toUtf8();
    sqlite3_exec(db_, journal.constData(), nullptr, nullptr, nullptr);
    attached_.append(table.schema());
}

void DbConnection::attachTablesNamedIn(const QString& sql) {
    for (const TableDef& t : allTableDefs()) {
        if (isAttached(t))
            continue;
        const QRegularExpression name(QStringLiteral("\\b") + QRegularExpression::escape(t.name) +
                                          QStringLiteral("\\b"),
                                      QRegularExpression::CaseInsensitiveOption);
        if (sql.contains(name))
            attachTable(t);
    }
}

QStringList DbConnection::tableFiles() const {
    QStringList files{mainFile_};
    for (const QString& schema : attached_)
        files.append(fileOf(schema));
    return files;
}

bool DbConnection::readChangeCounters(std::vector<qint64>& counters) {
    if (txDepth_ > 0)
        return false;
    const size_t files = size_t(attached_.size()) + 1;
    while (counterStatements_.size() < files) {
        const size_t i = counterStatements_.size();
        const QByteArray sql = (QStringLiteral("PRAGMA ") +
                                (i == 0 ? QStringLiteral("main") : quoted(attached_.at(i - 1))) +
                                QStringLiteral(".data_version"))
                                   .toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return false;
        }
        counterStatements_.push_back(st);
    }
    counters.resize(files);
    // A writer holds a file only for the moment of its commit; waiting for it
    // here would freeze an idle window for nothing.
    sqlite3_busy_timeout(db_, 0);
    bool ok = true;
    for (size_t i = 0; i < files && ok; ++i) {
        sqlite3_stmt* st = counterStatements_[i];
        ok = sqlite3_step(st) == SQLITE_ROW;
        if (ok)
            counters[i] = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return ok;
}

sqlite3_stmt* DbConnection::acquire(const QString& sql, bool& cached) {
    for (auto& e : cache_) {
        if (!e->inUse && e->sql == sql) {
            e->inUse = true;
            cached = true;
            return e->stmt;
        }
    }
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail(QStringLiteral("Cannot prepare the statement «") + sql.simplified() +
             QStringLiteral("»"));
    }
    cached = int(cache_.size()) < kMaxCachedStatements;
    if (cached) {
        auto e = std::make_unique<CacheEntry>();
        e->sql = sql;
        e->stmt = stmt;
        e->inUse = true;
        cache_.push_back(std::move(e));
    }
    return stmt;
}

void DbConnection::release(const QString& sql, sqlite3_stmt* stmt, bool cached) {
    if (!stmt)
        return;
    if (!cached) {
        sqlite3_finalize(stmt);
        return;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (auto& e : cache_)
        if (e->stmt == stmt && e->sql == sql)
            e->inUse = false;
}

void DbConnection::fail(const QString& what, const QString& file) const {
    const int code = sqlite3_errcode(db_);
    QString f = file;
    if (f.isEmpty() && (code & 0xff) == SQLITE_NOTADB)
        f = folder_;
    throw DataError(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_)), f);
}

void DbConnection::check(int rc, const QString& what) const {
    if (rc != SQLITE_OK)
        fail(what);
}

int DbConnection::execute(const QString& sql, const QVariantList& params) {
    QStringList names;
    const QString translated = translateParameters(sql, names);
    attachTablesNamedIn(translated); // before the transaction: no attaching inside one
    Transaction tx(*this);
    int changes = 0;
    {
        DbStatement st(*this, translated);
        for (int i = 0; i < params.size() && i < st.parameterCount(); ++i)
            st.bind(i + 1, params[i]);
        while (st.step()) {
        }
        changes = sqlite3_changes(db_);
    }
    tx.commit();
    return changes;
}

DbConnection::Transaction::Transaction(DbConnection& conn)
    : conn_(conn)
    , level_(conn.txDepth_) {
    const QByteArray sql =
        level_ == 0 ? QByteArray("BEGIN IMMEDIATE") : "SAVEPOINT sp" + QByteArray::number(level_);
    if (sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        conn_.fail(QStringLiteral("Cannot start writing to the data folder"));
    ++conn_.txDepth_;
}

DbConnection::Transaction::~Transaction() {
    if (done_)
        return;
    --conn_.txDepth_;
    const QByteArray sql = level_ == 0 ? QByteArray("ROLLBACK")
                                       : "ROLLBACK TO sp" + QByteArray::number(level_) +
                                             "; RELEASE sp" + QByteArray::number(level_);
    sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr);
}

void DbConnection::Transaction::commit() {
    if (done_)
        return;
    const QByteArray sql =
        level_ == 0 ? QByteArray("COMMIT") : "RELEASE sp" + QByteArray::number(level_);
    if (sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        conn_.fail(QStringLiteral("Cannot save the changes"));
    done_ = true;
    --conn_.txDepth_;
}
