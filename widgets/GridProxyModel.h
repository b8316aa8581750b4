#pragma once
// Filtering and sorting of the grid's flat rows. Sorting compares text by the
// user's locale ignoring case, numbers by value; several keys in order.
#include "widgets/GridTypes.h"

#include <QCollator>
#include <QSortFilterProxyModel>
#include <optional>
#include <vector>

// Column of `model` whose header names `field` (GridRole::FieldName, else the
// header text); -1 when none does.
int gridFieldColumn(const QAbstractItemModel* model, const QString& field);

// Orders two values: numbers by value, dates by time, anything else as text by
// the collator. Empty values come first. Returns <0, 0 or >0.
int gridCompareValues(const QVariant& a, const QVariant& b, const QCollator& collator);

// Whether one value passes one condition.
bool gridConditionHolds(const GridCondition& c, const QVariant& value);

// The filter in words, for the filter panel: "Developer equals 'Ann' and ...".
// `captionOf` turns a field into the caption the user sees.
QString gridDescribeFilter(const GridFilter& filter,
                           const std::function<QString(const QString&)>& captionOf);

class GridProxyModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit GridProxyModel(QObject* parent = nullptr);

    void setGridFilter(const GridFilter& filter);
    const GridFilter& gridFilter() const { return filter_; }
    // A switched-off filter is kept but lets every row through.
    void setGridFilterEnabled(bool on);
    bool gridFilterEnabled() const { return filterEnabled_; }

    // Sort keys in priority order; an empty list keeps the source order.
    void setSortKeys(const QList<GridSortKey>& keys);
    const QList<GridSortKey>& sortKeys() const { return keys_; }

    const QCollator& collator() const { return collator_; }

    // The sort keys of the rows are worked out once per re-read and kept
    // until the source changes, so sorting compares ready-made keys.
    void setSourceModel(QAbstractItemModel* model) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void resolveColumns();

    // One row's value of one sort key in the form it is compared in.
    struct SortValue {
        enum Kind : unsigned char { Unset, Empty, Number, DateTime, Date, Text };
        Kind kind = Unset;
        double number = 0;                    // numbers; dates and times as counts
        std::optional<QCollatorSortKey> text; // texts, and others once compared as text
    };
    const SortValue& sortValue(int key, int sourceRow) const;
    const QCollatorSortKey& textKey(int key, int sourceRow) const;
    QCollatorSortKey textSortKey(const QString& text) const;
    int compareRows(int key, int left, int right) const;
    void clearSortCache();

    mutable std::vector<std::vector<SortValue>> sortCache_; // per sort key, per source row
    QList<QMetaObject::Connection> cacheConnections_;

    GridFilter filter_;
    bool filterEnabled_ = true;
    QList<GridSortKey> keys_;
    QList<int> filterColumns_; // source column per condition
    QList<int> sortColumns_;   // source column per sort key
    QCollator collator_;
};
