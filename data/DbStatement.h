#pragma once
#include <QString>
#include <QVariant>

struct sqlite3_stmt;
class DbConnection;

// A prepared statement lent out by the connection's cache; reset and returned
// when the lease ends, so no read lock outlives the call that took it.
class DbStatement {
public:
    DbStatement(DbConnection& conn, const QString& sql);
    ~DbStatement();
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;

    void bind(int index, const QVariant& value);           // 1-based
    void bind(const QString& name, const QVariant& value); // ":Name"
    int parameterCount() const;
    QString parameterName(int index) const; // 1-based, with its ':' prefix
    // Steps once; true while a row is available.
    bool step();
    void reset();
    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    QVariant column(int i) const;
    qint64 columnInt64(int i) const;

private:
    // A query reads its rows straight from the engine, which is too costly to
    // go through column() cell by cell.
    friend class DbQuery;
    sqlite3_stmt* handle() const { return stmt_; }

    DbConnection& conn_;
    QString sql_;
    sqlite3_stmt* stmt_ = nullptr;
    bool cached_ = false;
};
