#include "widgets/GridTableModel.h"

#include "widgets/GridTypes.h"

GridTableModel::GridTableModel(const QStringList& fields, QObject* parent)
    : QAbstractTableModel(parent)
    , fields_(fields) {}

void GridTableModel::setRows(QList<QVariantList> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    for (auto& r : rows_)
        r.resize(fields_.size());
    endResetModel();
}

void GridTableModel::setValue(int row, const QString& field, const QVariant& value) {
    const int c = fieldIndex(field);
    if (row < 0 || row >= rows_.size() || c < 0)
        return;
    rows_[row][c] = value;
    emit dataChanged(index(row, c), index(row, c));
}

int GridTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int GridTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(fields_.size());
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return rows_.at(index.row()).at(index.column());
    return {};
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= fields_.size())
        return {};
    if (role == Qt::DisplayRole || role == GridRole::FieldName)
        return fields_.at(section);
    return {};
}
