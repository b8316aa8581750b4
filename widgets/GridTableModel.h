#pragma once
// A flat table of typed values with named columns: the simplest source for a
// DataGrid. Any QAbstractItemModel that names its columns through
// GridRole::FieldName (or its header text) serves as well.
#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QVariant>

class GridTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridTableModel(const QStringList& fields, QObject* parent = nullptr);

    // Replaces every row at once, as a re-read of the data does.
    void setRows(QList<QVariantList> rows);
    const QList<QVariantList>& rows() const { return rows_; }
    const QStringList& fields() const { return fields_; }
    // -1 when there is no column of that name.
    int fieldIndex(const QString& field) const { return int(fields_.indexOf(field)); }
    // Changes one value in place (signals dataChanged).
    void setValue(int row, const QString& field, const QVariant& value);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList fields_;
    QList<QVariantList> rows_;
};
