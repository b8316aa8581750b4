#include "widgets/GridColumnChooser.h"

#include "widgets/DataGrid.h"

#include <QDrag>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {
// Starts a drag carrying the column's field name.
class ChooserList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void startDrag(Qt::DropActions) override {
        auto* item = currentItem();
        if (!item)
            return;
        auto mime = std::make_unique<QMimeData>();
        mime->setData(QLatin1String(GridColumnChooser::kMimeType),
                      item->data(Qt::UserRole).toString().toUtf8());
        auto* drag = new QDrag(this); // owned by Qt once exec runs
        drag->setMimeData(mime.release());
        drag->exec(Qt::MoveAction);
    }
};
} // namespace

GridColumnChooser::GridColumnChooser(DataGrid* grid)
    : QWidget(grid, Qt::Tool)
    , grid_(grid)
    , list_(new ChooserList(this)) {
    setWindowTitle(tr("Customize"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(2, 2, 2, 2);
    lay->addWidget(list_);
    list_->setDragEnabled(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    resize(160, 220);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        grid_->setColumnVisible(item->data(Qt::UserRole).toString(), true);
    });
    connect(grid_, &DataGrid::columnsChanged, this, &GridColumnChooser::refresh);
}

void GridColumnChooser::refresh() {
    list_->clear();
    const auto cols = grid_->columns();
    for (const auto& field : grid_->hiddenFields())
        for (const auto& c : cols)
            if (c.field == field) {
                auto* item = new QListWidgetItem(c.caption, list_);
                item->setData(Qt::UserRole, c.field);
            }
}
