#include "bench/GridFigures.h"

#include "bench/BenchSupport.h"
#include "bench/GridBenchmark.h"
#include "data/Errors.h"
#include "widgets/DataGrid.h"

#include <QDateTime>
#include <QImage>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bench {
namespace {

constexpr int kTasks = 10000;
constexpr int kExpanded = 50;
const QSize kScreen(760, 420);

QString statusField() {
    return QStringLiteral("Status");
}
QString developerField() {
    return QStringLiteral("Developer");
}

// Three history lines per task, as the detail level shows them.
QList<GridDetailRow> historyOf(const QVariant& key) {
    QList<GridDetailRow> out;
    for (int i = 0; i < 3; ++i)
        out.append({{QStringLiteral("Modified by Dev %1").arg(i),
                     QDateTime(QDate(2024, 5, 1), QTime(9, i))},
                    QStringLiteral("Elapsed Time changed from %1 to %2").arg(i).arg(key.toInt())});
    return out;
}

// The baseline: the same rows put into a fresh item model, which a plain
// tree view then shows (one reset, rows laid out).
class PlainTree {
public:
    explicit PlainTree(const GridTableModel& source)
        : source_(source) {
        view_.resize(kScreen);
        view_.setUniformRowHeights(true);
        view_.show();
        reread();
    }
    void reread() {
        auto model = std::make_unique<QStandardItemModel>(0, int(source_.fields().size()));
        model->setHorizontalHeaderLabels(source_.fields());
        for (const QVariantList& row : source_.rows()) {
            QList<QStandardItem*> items;
            items.reserve(row.size());
            for (const QVariant& v : row) {
                auto* item = new QStandardItem;
                item->setData(v, Qt::DisplayRole);
                items.append(item);
            }
            model->appendRow(items);
        }
        view_.setModel(model.get());
        view_.doItemsLayout();
        model_ = std::move(model); // the old model goes after the view let go of it
    }
    int rowCount() const { return model_->rowCount(); }

private:
    const GridTableModel& source_;
    QTreeView view_;
    std::unique_ptr<QStandardItemModel> model_;
};

// A grid bound as the task list binds it: sorted by Feature then Priority,
// notes as preview, a history loader.
struct BoundGrid {
    std::unique_ptr<GridTableModel> model;
    DataGrid grid;
    explicit BoundGrid(int rows)
        : model(GridBenchmark::makeModel(rows)) {
        grid.resize(kScreen);
        GridBenchmark::bind(grid, model.get());
        grid.setDetailProvider({QStringLiteral("Action"), QStringLiteral("Modified")}, historyOf);
        grid.setSortOrder({{QStringLiteral("Feature"), Qt::AscendingOrder},
                           {QStringLiteral("Priority"), Qt::AscendingOrder}});
        grid.show();
    }
};

void rereadFigure(const GridTableModel& source, PlainTree& plain) {
    BoundGrid g(0);
    g.model->setRows(source.rows());
    // 50 expanded tasks spread over the list, the focus on one in the middle.
    for (int i = 0; i < kExpanded; ++i)
        g.grid.setRowExpanded(1 + i * (kTasks / kExpanded), true);
    const QVariant focus = kTasks / 2 + 7;
    if (!g.grid.setFocusedKey(focus))
        throw DataError(QStringLiteral("The grid does not show task %1").arg(focus.toInt()));
    const Timing t = measurePair(
        [&](int) {
            // A re-read: every row handed over again as the query delivers it.
            g.model->setRows(source.rows());
            consume(std::uint64_t(g.grid.paintedRowCount()));
        },
        [&](int) {
            plain.reread();
            consume(std::uint64_t(plain.rowCount()));
        });
    if (g.grid.focusedKey() != focus || !g.grid.isRowExpanded(1) ||
        g.grid.detailRows(1).size() != 3)
        throw DataError(QStringLiteral("The re-read lost the focus or the expanded rows"));
    printFigure("grid-reread", t, 3.0);
}

void groupFigure(const GridTableModel& source, PlainTree& plain) {
    BoundGrid g(0);
    g.model->setRows(source.rows());
    g.grid.setFocusedKey(kTasks / 2);
    const QStringList grouped{statusField(), developerField()};
    const Timing t = measurePair(
        [&](int) {
            // From the flat list to two levels of groups: both steps count.
            g.grid.setGroupFields({});
            g.grid.setGroupFields(grouped);
            consume(std::uint64_t(g.grid.groupFields().size()));
        },
        [&](int) {
            plain.reread();
            consume(std::uint64_t(plain.rowCount()));
        });
    if (g.grid.groupFields() != grouped)
        throw DataError(QStringLiteral("The grid is not grouped by Status and Developer"));
    printFigure("grid-group", t, 3.0);
}

void paintFigure() {
    BoundGrid small(100), large(100000);
    // Somewhere in the middle of the long list, as after scrolling.
    large.grid.verticalScrollBar()->setValue(large.grid.verticalScrollBar()->maximum() / 2);
    QImage smallImage, largeImage;
    const int a = GridBenchmark::paintScreenful(small.grid, smallImage);
    const int b = GridBenchmark::paintScreenful(large.grid, largeImage);
    // A row cut at the bottom edge may make one more on either side.
    if (std::abs(a - b) > 1 || a == 0)
        throw DataError(QStringLiteral("The two grids paint %1 and %2 rows").arg(a).arg(b));
    // Here "base" is one screenful of the 100-row grid, "ours" of the 100,000-row one.
    const Timing t = measurePair(
        [&](int) { consume(std::uint64_t(GridBenchmark::paintScreenful(large.grid, largeImage))); },
        [&](int) { consume(std::uint64_t(GridBenchmark::paintScreenful(small.grid, smallImage))); });
    printFigure("grid-paint-flat", t, 1.5);
}

} // namespace

void runGridFigures(const BenchOptions& options) {
    const auto source = GridBenchmark::makeModel(kTasks);
    if (options.wants(QStringLiteral("grid-reread")) || options.wants(QStringLiteral("grid-group"))) {
        PlainTree plain(*source);
        if (options.wants(QStringLiteral("grid-reread")))
            rereadFigure(*source, plain);
        if (options.wants(QStringLiteral("grid-group")))
            groupFigure(*source, plain);
    }
    if (options.wants(QStringLiteral("grid-paint")))
        paintFigure();
}

} // namespace bench
