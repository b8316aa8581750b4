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

void GridProxyModel::setSourceModel(QAbstractItemModel* model) {
    for (const auto& c : cacheConnections_)
        disconnect(c);
    cacheConnections_.clear();
    clearSortCache();
    if (model) {
        // Connected before the base class connects, so the cache is gone
        // before the base class sorts again.
        auto clear = [this] { clearSortCache(); };
        cacheConnections_ << connect(model, &QAbstractItemModel::modelAboutToBeReset, this, clear)
                          << connect(model, &QAbstractItemModel::modelReset, this, clear)
                          << connect(model, &QAbstractItemModel::dataChanged, this, clear)
                          << connect(model, &QAbstractItemModel::rowsInserted, this, clear)
                          << connect(model, &QAbstractItemModel::rowsRemoved, this, clear)
                          << connect(model, &QAbstractItemModel::rowsMoved, this, clear)
                          << connect(model, &QAbstractItemModel::layoutChanged, this, clear)
                          << connect(model, &QAbstractItemModel::columnsInserted, this, clear)
                          << connect(model, &QAbstractItemModel::columnsRemoved, this, clear)
                          << connect(model, &QAbstractItemModel::columnsMoved, this, clear);
    }
    QSortFilterProxyModel::setSourceModel(model);
}

void GridProxyModel::clearSortCache() {
    sortCache_.clear();
}

const GridProxyModel::SortValue& GridProxyModel::sortValue(int key, int sourceRow) const {
    if (sortCache_.size() != size_t(keys_.size()))
        sortCache_.assign(size_t(keys_.size()), {});
    auto& column = sortCache_[size_t(key)];
    const auto* m = sourceModel();
    if (column.size() < size_t(m->rowCount()))
        column.resize(size_t(m->rowCount()));
    SortValue& s = column[size_t(sourceRow)];
    if (s.kind != SortValue::Unset)
        return s;
    const QVariant v = m->data(m->index(sourceRow, sortColumns_.at(key)));
    if (isEmptyValue(v)) {
        s.kind = SortValue::Empty;
    } else if (isNumber(v)) {
        s.kind = SortValue::Number;
        s.number = v.toDouble();
    } else if (v.typeId() == QMetaType::QDateTime) {
        s.kind = SortValue::DateTime;
        s.number = double(v.toDateTime().toMSecsSinceEpoch());
    } else if (v.typeId() == QMetaType::QDate) {
        s.kind = SortValue::Date;
        s.number = double(v.toDate().toJulianDay());
    } else {
        s.kind = SortValue::Text;
        s.text = textSortKey(v.toString());
    }
    return s;
}

QCollatorSortKey GridProxyModel::textSortKey(const QString& text) const {
    // Not every collator backend leaves case out of its sort keys (the C
    // locale's do not), while its compare does: keys are made of lower case.
    return collator_.sortKey(text.toLower());
}

const QCollatorSortKey& GridProxyModel::textKey(int key, int sourceRow) const {
    sortValue(key, sourceRow);
    SortValue& s = sortCache_[size_t(key)][size_t(sourceRow)];
    if (!s.text) {
        const auto* m = sourceModel();
        s.text = textSortKey(m->data(m->index(sourceRow, sortColumns_.at(key))).toString());
    }
    return *s.text;
}

// The order of gridCompareValues, on the kept keys.
int GridProxyModel::compareRows(int key, int left, int right) const {
    const SortValue& a = sortValue(key, left);
    const SortValue& b = sortValue(key, right);
    const bool ea = a.kind == SortValue::Empty, eb = b.kind == SortValue::Empty;
    if (ea || eb)
        return ea && eb ? 0 : (ea ? -1 : 1);
    if (a.kind == b.kind && a.kind != SortValue::Text)
        return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    const int r = textKey(key, left).compare(textKey(key, right));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void GridProxyModel::resolveColumns() {
    clearSortCache();
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
    const bool flat = !left.parent().isValid() && !right.parent().isValid();
    for (int i = 0; i < keys_.size(); ++i) {
        const int col = i < sortColumns_.size() ? sortColumns_.at(i) : -1;
        if (col < 0)
            continue;
        const int r = flat ? compareRows(i, left.row(), right.row())
                           : gridCompareValues(m->data(m->index(left.row(), col, left.parent())),
                                               m->data(m->index(right.row(), col, right.parent())),
                                               collator_);
        if (r != 0)
            return keys_.at(i).order == Qt::AscendingOrder ? r < 0 : r > 0;
    }
    // Equal on every key: keep the source order.
    return left.row() < right.row();
}
