#include "widgets/GridProxyModel.h"

#include <QDateTime>

int gridFieldColumn(const QAbstractItemModel* model, const QString& field) {
    if (!model)
        return -1;
    for (int c = 0; c < model->columnCount(); ++c) {
        QVariant name = model->headerData(c, Qt::Horizontal, GridRole::FieldName);
        if (!name.isValid())
            name = model->headerData(c, Qt::Horizontal, Qt::DisplayRole);
        if (name.toString() == field)
            return c;
    }
    return -1;
}

namespace {
bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}
bool isEmptyValue(const QVariant& v) {
    return !v.isValid() || v.isNull();
}
} // namespace

int gridCompareValues(const QVariant& a, const QVariant& b, const QCollator& collator) {
    const bool ea = isEmptyValue(a), eb = isEmptyValue(b);
    if (ea || eb)
        return ea && eb ? 0 : (ea ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
        const auto x = a.toDateTime(), y = b.toDateTime();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    if (a.typeId() == QMetaType::QDate && b.typeId() == QMetaType::QDate) {
        const auto x = a.toDate(), y = b.toDate();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    return collator.compare(a.toString(), b.toString());
}

bool gridConditionHolds(const GridCondition& c, const QVariant& value) {
    auto equals = [&] {
        if (isNumber(value) && (isNumber(c.value) || c.value.canConvert<double>())) {
            bool ok = false;
            const double want = c.value.toDouble(&ok);
            return ok && value.toDouble() == want;
        }
        const QString text = isEmptyValue(value) ? QString() : value.toString();
        return text == c.value.toString();
    };
    switch (c.op) {
    case GridCondition::Op::Equals:
        return equals();
    case GridCondition::Op::NotEquals:
        return !equals();
    case GridCondition::Op::Contains:
        return value.toString().contains(c.value.toString(), Qt::CaseInsensitive);
    }
    return false;
}

QString gridDescribeFilter(const GridFilter& filter,
                           const std::function<QString(const QString&)>& captionOf) {
    QStringList parts;
    for (const auto& c : filter.conditions) {
        const char* verb = c.op == GridCondition::Op::Equals      ? "equals"
                           : c.op == GridCondition::Op::NotEquals ? "does not equal"
                                                                  : "contains";
        parts << QStringLiteral("%1 %2 '%3'")
                     .arg(captionOf ? captionOf(c.field) : c.field, QLatin1String(verb),
                          c.value.toString());
    }
    return parts.join(QStringLiteral(" and "));
}

GridProxyModel::GridProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent) {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    collator_.setNumericMode(false);
    setDynamicSortFilter(true);
    // Field names move with the source's columns: look them up again.
    connect(this, &QAbstractItemModel::modelReset, this, [this] { resolveColumns(); });
    // Emitted inside the proxy's own reset, which filters and sorts afresh.
    connect(this, &QSortFilterProxyModel::sourceModelChanged, this, [this] { resolveColumns(); });
}

void GridProxyModel::resolveColumns() {
    filterColumns_.clear();
    for (const auto& c : filter_.conditions)
        filterColumns_ << gridFieldColumn(sourceModel(), c.field);
    sortColumns_.clear();
    for (const auto& k : keys_)
        sortColumns_ << gridFieldColumn(sourceModel(), k.field);
}

void GridProxyModel::setGridFilter(const GridFilter& filter) {
    filter_ = filter;
    resolveColumns();
    invalidateFilter();
}

void GridProxyModel::setGridFilterEnabled(bool on) {
    if (filterEnabled_ == on)
        return;
    filterEnabled_ = on;
    invalidateFilter();
}

void GridProxyModel::setSortKeys(const QList<GridSortKey>& keys) {
    keys_ = keys;
    resolveColumns();
    if (keys_.isEmpty()) {
        sort(-1);
        return;
    }
    // lessThan reads every key itself; the column only switches sorting on.
    if (sortColumn() != 0 || sortOrder() != Qt::AscendingOrder)
        sort(0, Qt::AscendingOrder);
    else
        invalidate();
}

bool GridProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (!filterEnabled_)
        return true;
    const auto* m = sourceModel();
    for (int i = 0; i < filter_.conditions.size(); ++i) {
        const int col = i < filterColumns_.size() ? filterColumns_.at(i) : -1;
        // A condition on a field the model does not have cannot hold.
        if (col < 0)
            return false;
        if (!gridConditionHolds(filter_.conditions.at(i),
                                m->data(m->index(sourceRow, col, sourceParent))))
            return false;
    }
    return true;
}

bool GridProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto* m = sourceModel();
    for (int i = 0; i < keys_.size(); ++i) {
        const int col = i < sortColumns_.size() ? sortColumns_.at(i) : -1;
        if (col < 0)
            continue;
        const int r =
            gridCompareValues(m->data(m->index(left.row(), col, left.parent())),
                              m->data(m->index(right.row(), col, right.parent())), collator_);
        if (r != 0)
            return keys_.at(i).order == Qt::AscendingOrder ? r < 0 : r > 0;
    }
    // Equal on every key: keep the source order.
    return left.row() < right.row();
}
