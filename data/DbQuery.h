#pragma once
#include "data/DbDataset.h"

#include <QList>
#include <QMetaObject>
#include <QPair>
#include <QString>
#include <QVariant>

#include <vector>

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
// (:"Project ID" and :ProjectID). Its rows are read when it opens and kept
// in the engine's form: numbers as numbers, texts as their stored bytes, made
// into strings only when a row is shown or used. The current record is a row
// number.
class DbQuery : public DbDataset {
    Q_OBJECT
public:
    explicit DbQuery(DbConnection& conn, QObject* parent = nullptr);
    DbQuery(DbConnection& conn, const QString& sql, QObject* parent = nullptr);
    ~DbQuery() override;

    void setSql(const QString& sql);
    const QString& sql() const { return sql_; }

    // Raises DataError for a name the statement does not have.
    DbParam& paramByName(const QString& name);
    QList<DbParam>& params() { return params_; }

    // Parameters without a value of their own take the master's current field
    // of the same name when the query opens; moving the master runs it again.
    void setMasterSource(DbDataset* master);

    bool locate(const QString& fieldNames, const QVariantList& values) override;
    using DbDataset::locate;
    void first() override;
    void next() override;
    int recordCount() override { return active() ? rowCount() : 0; }
    // Runs the statement again in one step (one afterOpen, no afterClose):
    // views never see an empty result between the old rows and the new. The
    // current record keeps its row number, the last row at most. When the
    // run fails, the rows read before stay.
    void refresh() override;

    // Row access for views: the result as read at the last open, each value
    // in the form a field of its kind reads it (see DbField::materialize).
    int rowCount() const { return columns_ ? int(cells_.size() / size_t(columns_)) : 0; }
    int columnCount() const { return columns_; }
    QVariant valueAt(int row, int column) const;
    bool isNullAt(int row, int column) const;
    int recNo() const { return recNo_; } // -1 when there is no current row
    void setRecNo(int row);

    // The text the statement runs as after parameter translation.
    const QString& translatedSql() const { return translated_; }

protected:
    void doOpen() override;
    void doClose() override;
    QString displayName() const override;

private:
    // One value of a row. Numbers are held as they are; a text as its place
    // among the stored bytes, or as one of the column's shared texts.
    struct Cell {
        enum Kind : quint8 { Null, Integer, Boolean, Float, Bytes, Shared, Other };
        Kind kind = Null;
        quint32 size = 0; // Bytes: length; Shared and Other: index
        union {
            qint64 integer = 0;
            double number;
            qint64 offset; // Bytes: where they start
        };
    };
    struct SharedText {
        qint64 offset = 0;
        quint32 size = 0;
        mutable QString text; // made when first used
        mutable bool made = false;
    };
    struct Result;
    void translate();
    Result run();
    void adopt(Result&& result);
    // Runs again after the master moved; the same parameter values keep the row.
    void followMaster();

    QString sql_;
    QString translated_;
    QList<DbParam> params_;
    DbDataset* master_ = nullptr;
    QMetaObject::Connection masterScroll_, masterOpen_;
    // The rows, one cell per value, row after row.
    std::vector<Cell> cells_;
    // Stored bytes of the texts, one after the other.
    QByteArray texts_;
    // Texts that repeat down a column, made into a string once, when first used.
    std::vector<SharedText> shared_;
    // Values of unusual stored types, in the form fields read them.
    QVariantList others_;
    int columns_ = 0;
    int recNo_ = -1;
};
