#pragma once
#include "data/DbDataset.h"

#include <QMetaObject>
#include <QString>
#include <QVariant>

#include <deque>
#include <optional>

class DbStatement;

// A table object: one table of the data folder, optionally in the order of an
// index tag and limited to one value of one field (range or master link).
// Rows are fetched a page at a time in key order; nothing reads the whole
// table to open, locate or walk it.
class DbTable : public DbDataset {
    Q_OBJECT
public:
    // The name is matched without regard to case; a legacy file suffix on it
    // is ignored (see findTableDef).
    DbTable(DbConnection& conn, const QString& tableName, QObject* parent = nullptr);

    const TableDef& def() const { return *def_; }

    // Active index by tag ("LOGINNAME", "TASK ID"); empty for stored order.
    void setIndexName(const QString& tag);
    const QString& indexName() const { return indexTag_; }

    // An encrypted table opens with its own password from the table
    // definitions; this replaces it (a wrong one then fails to open).
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
    std::optional<QString> password_;
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
