#include "schedule/ScheduleModel.h"

#include "data/Dataset.h"
#include "widgets/GridTypes.h"

ScheduleModel::ScheduleModel(DbQuery* query, QObject* parent)
    : QAbstractTableModel(parent)
    , query_(query) {
    reload();
}

void ScheduleModel::reload() {
    beginResetModel();
    fields_.clear();
    kinds_.clear();
    rows_ = 0;
    if (query_ && query_->active()) {
        for (int c = 0; c < query_->fieldCount(); ++c) {
            fields_ << query_->field(c).name();
            kinds_.push_back(query_->field(c).kind());
        }
        rows_ = query_->rowCount();
    }
    endResetModel();
}

int ScheduleModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ScheduleModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(fields_.size());
}

QVariant ScheduleModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    if (!index.isValid() || index.parent().isValid() || !query_)
        return {};
    // The query may already hold other rows while a reset is under way.
    const int r = index.row(), c = index.column();
    if (r >= rows_ || r >= query_->rowCount() || c >= query_->columnCount())
        return {};
    // Values are held in the engine's form until they are shown.
    const QVariant v = query_->valueAt(r, c);
    if (kinds_[size_t(c)] == FieldKind::DateTime)
        return DbField::materialize(FieldKind::DateTime, v);
    return v;
}

QVariant ScheduleModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= fields_.size())
        return {};
    if (role == Qt::DisplayRole || role == GridRole::FieldName)
        return fields_.at(section);
    return {};
}
