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
// (:"Project ID" and :ProjectID). Its rows are read when it opens; the current
// record is a row number.
class DbQuery : public DbDataset {
    Q_OBJECT
public:
    explicit DbQuery(DbConnection& conn, QObject* parent = nullptr);
    DbQuery(DbConnection& conn, const QString& sql, QObject* parent = nullptr);

    void setSql(const QString& sql);
    const QString& sql() const { return sql_; }

    // Raises DataError for a name the statement does not have.
    DbParam& paramByName(const QString& name);
    QList<DbParam>& params() { return params_; }

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
    DbDataset* master_ = nullptr;
    QMetaObject::Connection masterScroll_, masterOpen_;
    std::vector<QVariant> rows_;
    int columns_ = 0;
    int recNo_ = -1;
};
