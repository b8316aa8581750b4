#include "widgets/GridGroupModel.h"

#include "widgets/GridProxyModel.h"

#include <QHash>
#include <algorithm>

// An index's internal pointer is an Item: a group node for a group row, or
// the rows item of the group that holds it for a data row. Data rows need no
// node of their own, so a re-read of many rows makes few allocations.
struct GridGroupModel::Item {
    bool rows = false; // true: the rows item of `owner`
};

struct GridGroupModel::Node : Item {
    Node* parent = nullptr;
    int row = 0;        // index among the parent's children
    int field = -1;     // group rows: grouped source column
    QVariant value;     // group rows: shared value
    int count = 0;      // group rows: data rows below
    QList<double> sums; // group rows: per sum column
    std::vector<std::unique_ptr<Node>> children;
    // Innermost level: the source rows of its data rows, and what their
    // indexes point to.
    std::vector<int> sourceRows;
    struct Rows : Item {
        Node* owner = nullptr;
    } rowsItem;
    Node() {
        rowsItem.rows = true;
        rowsItem.owner = this;
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    int childCount() const {
        return children.empty() ? int(sourceRows.size()) : int(children.size());
    }
};

GridGroupModel::GridGroupModel(QObject* parent)
    : QAbstractItemModel(parent)
    , root_(std::make_unique<Node>()) {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

GridGroupModel::~GridGroupModel() = default;

void GridGroupModel::setSourceModel(QAbstractItemModel* flat) {
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    source_ = flat;
    if (source_) {
        // Every change of the flat rows is a re-read for us: rebuild the tree.
        auto re = [this] { rebuild(); };
        connections_ << connect(source_, &QAbstractItemModel::modelReset, this, re)
                     << connect(source_, &QAbstractItemModel::layoutChanged, this, re)
                     << connect(source_, &QAbstractItemModel::rowsInserted, this, re)
                     << connect(source_, &QAbstractItemModel::rowsRemoved, this, re)
                     << connect(source_, &QAbstractItemModel::rowsMoved, this, re)
                     << connect(source_, &QAbstractItemModel::columnsInserted, this, re)
                     << connect(source_, &QAbstractItemModel::columnsRemoved, this, re)
                     << connect(source_, &QAbstractItemModel::dataChanged, this, re)
                     << connect(source_, &QObject::destroyed, this, [this] {
                            source_ = nullptr;
                            rebuild();
                        });
    }
    rebuild();
}

void GridGroupModel::setGrouping(const QList<GridSortKey>& levels) {
    levels_ = levels;
    rebuild();
}

void GridGroupModel::setSumColumns(const QList<int>& sourceColumns) {
    sumColumns_ = sourceColumns;
    rebuild();
}

void GridGroupModel::rebuild() {
    beginResetModel();
    root_ = std::make_unique<Node>();
    levelColumns_.clear();
    if (source_) {
        for (const auto& l : levels_) {
            const int c = gridFieldColumn(source_, l.field);
            if (c >= 0)
                levelColumns_ << c;
        }
        QList<int> rows(source_->rowCount());
        for (int r = 0; r < rows.size(); ++r)
            rows[r] = r;
        build(root_.get(), rows, 0);
    }
    endResetModel();
}

void GridGroupModel::build(Node* parent, const QList<int>& rows, int level) {
    if (level >= levelColumns_.size()) {
        parent->sourceRows.assign(rows.begin(), rows.end());
        return;
    }
    const int col = levelColumns_.at(level);
    struct Bucket {
        QVariant value;
        QList<int> rows;
    };
    QList<Bucket> buckets;
    QHash<QString, int> byKey;
    for (int r : rows) {
        const QVariant v = source_->data(source_->index(r, col));
        const QString key = pathKey({v});
        auto it = byKey.find(key);
        if (it == byKey.end()) {
            it = byKey.insert(key, int(buckets.size()));
            buckets.append({v, {}});
        }
        buckets[*it].rows.append(r);
    }
    const bool asc = levels_.value(level).order == Qt::AscendingOrder;
    std::stable_sort(buckets.begin(), buckets.end(), [&](const Bucket& a, const Bucket& b) {
        const int c = gridCompareValues(a.value, b.value, collator_);
        return asc ? c < 0 : c > 0;
    });
    for (auto& b : buckets) {
        auto n = std::make_unique<Node>();
        n->parent = parent;
        n->row = int(parent->children.size());
        n->field = col;
        n->value = b.value;
        n->count = int(b.rows.size());
        for (int sc : sumColumns_) {
            double s = 0;
            for (int r : b.rows)
                s += source_->data(source_->index(r, sc)).toDouble();
            n->sums << s;
        }
        build(n.get(), b.rows, level + 1);
        parent->children.push_back(std::move(n));
    }
}

const GridGroupModel::Node* GridGroupModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid())
        return root_.get();
    const auto* item = static_cast<const Item*>(index.internalPointer());
    return item->rows ? nullptr : static_cast<const Node*>(item);
}

const GridGroupModel::Node* GridGroupModel::ownerOf(const QModelIndex& index) const {
    const auto* item = static_cast<const Item*>(index.internalPointer());
    return item->rows ? static_cast<const Node::Rows*>(item)->owner
                      : static_cast<const Node*>(item)->parent;
}

bool GridGroupModel::isGroup(const QModelIndex& index) const {
    return index.isValid() && nodeOf(index) != nullptr;
}

int GridGroupModel::sourceRow(const QModelIndex& index) const {
    if (!index.isValid() || nodeOf(index))
        return -1;
    return ownerOf(index)->sourceRows[size_t(index.row())];
}

QVariantList GridGroupModel::groupPath(const QModelIndex& index) const {
    QVariantList path;
    if (!index.isValid())
        return path;
    const Node* n = nodeOf(index);
    for (n = n ? n : ownerOf(index); n && n != root_.get(); n = n->parent)
        path.prepend(n->value);
    return path;
}

QString GridGroupModel::pathKey(const QVariantList& path) {
    QStringList parts;
    for (const auto& v : path)
        parts << (v.isNull() ? QString() : v.toString());
    return parts.join(QChar(0x1f));
}

double GridGroupModel::groupSum(const QModelIndex& group, int sourceColumn) const {
    const Node* n = nodeOf(group);
    const int i = int(sumColumns_.indexOf(sourceColumn));
    return n && i >= 0 && i < n->sums.size() ? n->sums.at(i) : 0.0;
}

QModelIndex GridGroupModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return {};
    const Node* p = nodeOf(parent);
    if (!p || row < 0 || row >= p->childCount() || column < 0 || column >= columnCount())
        return {};
    if (!p->children.empty())
        return createIndex(row, column, p->children[size_t(row)].get());
    return createIndex(row, column, const_cast<Node::Rows*>(&p->rowsItem));
}

QModelIndex GridGroupModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    const Node* p = ownerOf(child);
    if (!p || p == root_.get())
        return {};
    return createIndex(p->row, 0, const_cast<Node*>(p));
}

int GridGroupModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const Node* n = nodeOf(parent);
    return n ? n->childCount() : 0;
}

int GridGroupModel::columnCount(const QModelIndex&) const {
    return source_ ? source_->columnCount() : 0;
}

QVariant GridGroupModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Node* n = nodeOf(index);
    if (!n) {
        const int row = sourceRow(index);
        if (role == GridRole::IsGroup)
            return false;
        if (role == GridRole::SourceRow)
            return row;
        return source_->data(source_->index(row, index.column()), role);
    }
    switch (role) {
    case GridRole::IsGroup:
        return true;
    case GridRole::SourceRow:
        return -1;
    case GridRole::GroupValue:
        return n->value;
    case GridRole::GroupCount:
        return n->count;
    case GridRole::GroupField:
        return source_->headerData(n->field, Qt::Horizontal, GridRole::FieldName);
    case Qt::DisplayRole:
        if (index.column() == 0)
            return QStringLiteral("%1 (%2)").arg(n->value.toString()).arg(n->count);
        return {};
    default:
        return {};
    }
}

QVariant GridGroupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return source_ ? source_->headerData(section, orientation, role) : QVariant();
}
