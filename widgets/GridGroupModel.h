#pragma once
// The grid's rows as a tree: group rows (one level per grouped field) above
// the data rows of a flat model. Without grouped fields it is a flat list.
// Rebuilt whenever the flat model changes; group identity is the group's
// value path, so callers can keep expanded groups across a rebuild.
#include "widgets/GridTypes.h"

#include <QAbstractItemModel>
#include <QCollator>
#include <memory>
#include <vector>

class GridGroupModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit GridGroupModel(QObject* parent = nullptr);
    ~GridGroupModel() override;

    void setSourceModel(QAbstractItemModel* flat);
    QAbstractItemModel* sourceModel() const { return source_; }
    // Grouped fields from the outermost level in; orders say how each level's
    // groups are sorted.
    void setGrouping(const QList<GridSortKey>& levels);
    const QList<GridSortKey>& grouping() const { return levels_; }
    // Source columns whose sums the group footers show.
    void setSumColumns(const QList<int>& sourceColumns);

    bool isGroup(const QModelIndex& index) const;
    int sourceRow(const QModelIndex& index) const; // -1 on groups
    QVariantList groupPath(const QModelIndex& index) const;
    static QString pathKey(const QVariantList& path);
    // Sum of a source column over the data rows below a group (0 when that
    // column was not named in setSumColumns).
    double groupSum(const QModelIndex& group, int sourceColumn) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Item;
    struct Node;
    void rebuild();
    void build(Node* parent, const QList<int>& rows, int level);
    // The group node of a group row's index (the root for an invalid one);
    // null for a data row's.
    const Node* nodeOf(const QModelIndex& index) const;
    // The group that holds a valid index's row (the root at the top).
    const Node* ownerOf(const QModelIndex& index) const;

    QAbstractItemModel* source_ = nullptr;
    QList<GridSortKey> levels_;
    QList<int> levelColumns_;
    QList<int> sumColumns_;
    std::unique_ptr<Node> root_;
    QCollator collator_;
    QList<QMetaObject::Connection> connections_;
};
