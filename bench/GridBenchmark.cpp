#include "bench/GridBenchmark.h"

#include "widgets/DataGrid.h"
#include "widgets/PriorityIcons.h"

#include <QImage>
#include <QPainter>

namespace GridBenchmark {

std::unique_ptr<GridTableModel> makeModel(int rows) {
    auto model = std::make_unique<GridTableModel>(QStringList{
        QStringLiteral("Task ID"), QStringLiteral("Feature"), QStringLiteral("Task"),
        QStringLiteral("Priority"), QStringLiteral("Current Estimate"),
        QStringLiteral("Elapsed Time"), QStringLiteral("Time Remaining"), QStringLiteral("Status"),
        QStringLiteral("Developer"), QStringLiteral("Notes")});
    static const QStringList statuses{QStringLiteral("Not Started"),
                                      QStringLiteral("In Development"), QStringLiteral("Testing"),
                                      QStringLiteral("Complete")};
    QList<QVariantList> data;
    data.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const double cur = 1 + i % 13, el = i % 7;
        data.append({i + 1, QStringLiteral("Feature %1").arg(i % 50),
                     QStringLiteral("Task %1").arg(i), 1 + i % 5, cur, el, cur - el,
                     statuses.at(i % 4), QStringLiteral("Dev %1").arg(i % 9),
                     QStringLiteral("Notes of task %1\nsecond line").arg(i)});
    }
    model->setRows(std::move(data));
    return model;
}

QList<GridColumn> columns() {
    auto num = [](const char* f, const char* cap, int w) {
        GridColumn c;
        c.field = QLatin1String(f);
        c.caption = QLatin1String(cap);
        c.width = w;
        c.kind = GridDisplayKind::Number;
        c.alignment = Qt::AlignRight | Qt::AlignVCenter;
        c.footerSum = true;
        return c;
    };
    auto text = [](const char* f, int w) {
        GridColumn c;
        c.field = QLatin1String(f);
        c.caption = QLatin1String(f);
        c.width = w;
        return c;
    };
    GridColumn prio;
    prio.field = QStringLiteral("Priority");
    prio.caption = QStringLiteral("!");
    prio.width = 49;
    prio.kind = GridDisplayKind::Icon;
    prio.headerAlignment = Qt::AlignCenter;
    prio.iconPainter = PriorityIcons::painter();
    return {text("Feature", 101),
            text("Task", 128),
            prio,
            num("Current Estimate", "Cur Est", 62),
            num("Elapsed Time", "Elapsed", 65),
            num("Time Remaining", "Remain", 63),
            text("Status", 97),
            text("Developer", 72)};
}

void bind(DataGrid& grid, GridTableModel* model) {
    grid.setColumns(columns());
    grid.setKeyField(QStringLiteral("Task ID"));
    grid.setPreviewField(QStringLiteral("Notes"));
    grid.setSourceModel(model);
}

int paintScreenful(DataGrid& grid, QImage& target) {
    if (target.size() != grid.size())
        target = QImage(grid.size(), QImage::Format_ARGB32_Premultiplied);
    grid.render(&target);
    return grid.paintedRowCount();
}

} // namespace GridBenchmark
