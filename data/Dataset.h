#pragma once
// The dataset layer: a connection on the data folder, table and query objects
// that hold a current record, fields read and written by name, parameterised
// queries, master/detail links and the after-open / new-record / after-post
// events. Everything above this folder reaches the database only through it.
//
// Storage: one SQLCipher database file per table in the data folder, all
// attached to one connection. The Tasks file is the connection's main
// database, so a transaction that spans several tables commits atomically
// (rollback journal with a super-journal). Only the Developers file is
// encrypted; it is attached when its password is first applied.
#include "data/Errors.h"
#include "data/TableStructures.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

// Upper-cases the letters a to z and nothing else, exactly as the engine's
// upper() and the upper-cased index keys (LOGINNAME) do.
QString upperAsciiLetters(const QString& s);

struct sqlite3;
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
    sqlite3_stmt* handle() const { return stmt_; }

private:
    DbConnection& conn_;
    QString sql_;
    sqlite3_stmt* stmt_ = nullptr;
    bool cached_ = false;
};

class DbConnection {
public:
    // Opens the data folder. The tables must exist (see CreateAllTables).
    explicit DbConnection(const QString& dataFolder);
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    const QString& dataFolder() const { return folder_; }
    sqlite3* handle() const { return db_; }

    // Makes the table's file reachable by its name in statements. Encrypted
    // tables need their password; a wrong one fails with a clear error.
    void attachTable(const TableDef& table, const QString& password = {});
    bool isAttached(const TableDef& table) const;

    // Execute(statement): runs one statement that returns no rows, in a
    // transaction of its own unless one is open. Returns the changed row count.
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

    // Busy timeout in milliseconds for waiting on another copy's lock.
    static constexpr int kBusyTimeoutMs = 15000;

private:
    friend class DbStatement;
    sqlite3_stmt* acquire(const QString& sql, bool& cached);
    void release(const QString& sql, sqlite3_stmt* stmt, bool cached);
    QString fileOf(const QString& schema) const;

    QString folder_;
    sqlite3* db_ = nullptr;
    int txDepth_ = 0;
    struct CacheEntry;
    std::vector<std::unique_ptr<CacheEntry>> cache_;
    QStringList attached_;
};

class DbDataset;

// A field of a dataset's current record.
class DbField {
public:
    DbField(DbDataset* owner, int index, QString name, FieldKind kind, int width)
        : owner_(owner)
        , index_(index)
        , name_(std::move(name))
        , kind_(kind)
        , width_(width) {}

    const QString& name() const { return name_; }
    FieldKind kind() const { return kind_; }
    int width() const { return width_; }
    int index() const { return index_; }

    bool isNull() const;
    QVariant value() const; // raw stored value, null as an invalid QVariant
    // Nulls read as 0, "" or false. Floats read as text in general form with
    // up to 15 significant digits and the user's decimal separator.
    QString asString() const;
    qint32 asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    QDateTime asDateTime() const;
    QByteArray asBytes() const; // memo as a byte stream

    // Writers need the dataset in edit or insert state. Character values are
    // cut to the field's width and stored without trailing blanks.
    void setAsString(const QString& v);
    void setAsInteger(qint32 v);
    void setAsFloat(double v);
    void setAsBoolean(bool v);
    void setAsDateTime(const QDateTime& v);
    void setAsBytes(const QByteArray& v); // replaces the whole memo
    // AsVariant: converts the value to the field's own type.
    void setValue(const QVariant& v);
    void clear();

    // The text form of a value of the given kind, as asString gives it.
    static QString textOf(FieldKind kind, const QVariant& v);
    // A value as held in a row (currentValues, valueAt) in the form value()
    // gives: date-times are held as stored text until they are read.
    static QVariant materialize(FieldKind kind, const QVariant& v);

private:
    DbDataset* owner_;
    int index_;
    QString name_;
    FieldKind kind_;
    int width_;
};

class DbDataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit DbDataset(DbConnection& conn, QObject* parent = nullptr);
    ~DbDataset() override;

    DbConnection& connection() const { return conn_; }

    void open();
    void close();
    bool active() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // Fields of the current record. fieldByName raises FieldNotFoundError for
    // a name the dataset does not have; names match without regard to case.
    DbField& fieldByName(const QString& name);
    DbField* findField(const QString& name);
    DbField& field(int i) { return fields_.at(i); }
    int fieldCount() const { return int(fields_.size()); }

    // One field and value, or "A;B" with one value each. Exact match. Moves to
    // the first match in the dataset's order and returns true; on no match the
    // current record stays and false comes back.
    virtual bool locate(const QString& fieldNames, const QVariantList& values) = 0;
    bool locate(const QString& fieldName, const QVariant& value) {
        return locate(fieldName, QVariantList{value});
    }

    virtual void first() = 0;
    virtual void next() = 0;
    bool eof() const { return eof_; }
    bool isEmpty() { return recordCount() == 0; }
    virtual int recordCount() = 0;
    virtual void refresh() = 0;

    // Writing, for tables. Queries are read-only and raise on these.
    virtual void append();
    virtual void edit();
    virtual void post();
    virtual void cancel();
    virtual void deleteRecord();

    // While controls are disabled, detail datasets do not follow moves; the
    // last enableControls makes them catch up once.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // Values of the current record; an empty list when there is none.
    const QVariantList& currentValues() const { return current_; }
    bool hasCurrent() const { return !current_.isEmpty(); }

signals:
    void afterOpen(DbDataset* ds);
    void afterClose(DbDataset* ds);
    void newRecord(DbDataset* ds);
    void afterPost(DbDataset* ds);
    void afterScroll(DbDataset* ds); // the current record changed

protected:
    friend class DbField;
    virtual void doOpen() = 0;
    virtual void doClose() = 0;
    void setCurrent(QVariantList values);
    void clearCurrent();
    void markScrolled();
    void requireWritable(const char* op) const;
    virtual QString displayName() const = 0;
    void setFieldValue(int index, QVariant value);

    DbConnection& conn_;
    std::vector<DbField> fields_;
    QVariantList current_;
    std::vector<bool> modified_;
    State state_ = State::Inactive;
    bool eof_ = true;
    int disabled_ = 0;
    bool scrolledWhileDisabled_ = false;
};

// A table object: one table of the data folder, optionally in the order of an
// index tag and limited to one value of one field (range or master link).
// Rows are fetched a page at a time in key order; nothing reads the whole
// table to open, locate or walk it.
class DbTable : public DbDataset {
    Q_OBJECT
public:
    // The name may carry ".adt" and is matched without regard to case.
    DbTable(DbConnection& conn, const QString& tableName, QObject* parent = nullptr);

    const TableDef& def() const { return *def_; }

    // Active index by tag ("LOGINNAME", "TASK ID"); empty for stored order.
    void setIndexName(const QString& tag);
    const QString& indexName() const { return indexTag_; }

    // Apply the table password. Needed on an encrypted table before its
    // records are read; open() waits for it.
    void applyPassword(const QString& password);

    // Only rows whose `field` equals `value` (a range on that field).
    void setRange(const QString& field, const QVariant& value);
    void cancelRange();
    // Master link: the range follows the master's current `masterField`.
    void setMasterLink(DbDataset* master, const QString& masterField, const QString& field);

    bool locate(const QString& fieldNames, const QVariantList& values) override;
    using DbDataset::locate;
    void first() override;
    void next() override;
    int recordCount() override;
    void refresh() override;

    void append() override;
    void edit() override;
    void post() override;
    void cancel() override;
    void deleteRecord() override;

protected:
    void doOpen() override;
    void doClose() override;
    QString displayName() const override;

private:
    QString selectList() const;
    QString orderBy() const;
    QString rangeWhere() const;
    void bindRange(DbStatement& st, int& at) const;
    bool fetchPage(bool fromStart);
    bool loadRowById(qint64 rowid);
    QVariant sortKeyOf(const QVariantList& row) const;
    void followMaster();

    const TableDef* def_;
    QString qualified_;
    QString indexTag_;
    const IndexDef* index_ = nullptr;
    QString password_;
    QString rangeField_;
    QVariant rangeValue_;
    bool hasRange_ = false;
    DbDataset* master_ = nullptr;
    QString masterField_;
    QMetaObject::Connection masterScroll_, masterOpen_;
    std::deque<QVariantList> ahead_; // rows after the current one, already fetched
    bool aheadComplete_ = false;
    QVariantList backup_; // current record before edit, for cancel
    int idIndex_ = 0;
};

// A query parameter.
class DbParam {
public:
    explicit DbParam(QString name)
        : name_(std::move(name)) {}
    const QString& name() const { return name_; }
    void setAsInteger(qint32 v) { value_ = v; }
    void setAsString(const QString& v) { value_ = v; }
    void setValue(const QVariant& v) { value_ = v; }
    void clear() { value_ = QVariant(); }
    // A value of its own; without one, the query takes it from its master.
    bool hasValue() const { return value_.isValid(); }
    // The parameter's value: its own, or the master's when the query last opened.
    const QVariant& value() const { return value_.isValid() ? value_ : bound_; }
    qint32 asInteger() const { return value().toInt(); }
    QString asString() const { return value().toString(); }

private:
    friend class DbQuery;
    QString name_;
    QVariant value_;
    QVariant bound_;
};

// A query object: one SELECT with named parameters, both forms accepted
// (:"Project ID" and :ProjectID). Its rows are read when it opens; the current
// record is a row number.
class DbQuery : public DbDataset {
    Q_OBJECT
public:
    explicit DbQuery(DbConnection& conn, QObject* parent = nullptr);
    DbQuery(DbConnection& conn, const QString& sql, QObject* parent = nullptr);

    void setSql(const QString& sql);
    const QString& sql() const { return sql_; }

    // ParamByName; raises DataError for a name the statement does not have.
    DbParam& paramByName(const QString& name);
    QList<DbParam>& params() { return params_; }

    // Password of an encrypted table the statement reads ("developers").
    void setTablePassword(const QString& tableName, const QString& password);

    // Parameters without a value of their own take the master's current field
    // of the same name when the query opens; moving the master re-runs it.
    void setMasterSource(DbDataset* master);

    bool locate(const QString& fieldNames, const QVariantList& values) override;
    using DbDataset::locate;
    void first() override;
    void next() override;
    int recordCount() override { return active() ? rowCount() : 0; }
    void refresh() override;

    // Row access for views: the result as read at the last open.
    int rowCount() const { return columns_ ? int(rows_.size() / columns_) : 0; }
    int columnCount() const { return columns_; }
    const QVariant& valueAt(int row, int column) const { return rows_[row * columns_ + column]; }
    int recNo() const { return recNo_; } // -1 when there is no current row
    void setRecNo(int row);

    // The text the statement runs as after parameter translation.
    const QString& translatedSql() const { return translated_; }

protected:
    void doOpen() override;
    void doClose() override;
    QString displayName() const override;

private:
    void translate();

    QString sql_;
    QString translated_;
    QList<DbParam> params_;
    QList<QPair<QString, QString>> passwords_;
    DbDataset* master_ = nullptr;
    QMetaObject::Connection masterScroll_, masterOpen_;
    std::vector<QVariant> rows_;
    int columns_ = 0;
    int recNo_ = -1;
};
