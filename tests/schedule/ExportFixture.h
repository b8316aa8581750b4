#pragma once
// A small schedule grid with awkward texts, bound the way the task list binds
// its grid, for the export, print and clipboard tests.
#include "data/StyleRepository.h"
#include "widgets/DataGrid.h"
#include "widgets/GridTableModel.h"
#include "widgets/PriorityIcons.h"

#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

namespace ExportFixture {

inline QStringList fields() {
    return {QStringLiteral("Task ID"),
            QStringLiteral("Feature"),
            QStringLiteral("Task"),
            QStringLiteral("Priority"),
            QStringLiteral("Current Estimate"),
            QStringLiteral("Elapsed Time"),
            QStringLiteral("Time Remaining"),
            QStringLiteral("Original Estimate"),
            QStringLiteral("Status"),
            QStringLiteral("Developer"),
            QStringLiteral("Notes")};
}

inline QList<GridColumn> columns() {
    auto text = [](const QString& field, const QString& caption, int width) {
        GridColumn c;
        c.field = field;
        c.caption = caption;
        c.width = width;
        return c;
    };
    auto num = [&](const QString& field, const QString& caption, int width) {
        GridColumn c = text(field, caption, width);
        c.kind = GridDisplayKind::Number;
        c.alignment = Qt::AlignRight | Qt::AlignVCenter;
        c.footerSum = true;
        return c;
    };
    GridColumn prio = text(QStringLiteral("Priority"), QStringLiteral("!"), 49);
    prio.kind = GridDisplayKind::Icon;
    prio.headerAlignment = Qt::AlignCenter;
    prio.iconPainter = PriorityIcons::painter();
    GridColumn notes = text(QStringLiteral("Notes"), QStringLiteral("Notes"), 100);
    notes.visible = false;
    return {text(QStringLiteral("Feature"), QStringLiteral("Feature"), 101),
            text(QStringLiteral("Task"), QStringLiteral("Task"), 128),
            prio,
            num(QStringLiteral("Current Estimate"), QStringLiteral("Cur Est"), 62),
            num(QStringLiteral("Elapsed Time"), QStringLiteral("Elapsed"), 65),
            num(QStringLiteral("Time Remaining"), QStringLiteral("Remain"), 63),
            num(QStringLiteral("Original Estimate"), QStringLiteral("Orig Est"), 72),
            text(QStringLiteral("Status"), QStringLiteral("Status"), 97),
            text(QStringLiteral("Developer"), QStringLiteral("Developer"), 72),
            notes};
}

inline QVariantList row(int id, const QString& feature, const QString& task, int prio, double cur,
                        double elapsed, double orig, const QString& status, const QVariant& dev) {
    return {id,
            feature,
            task,
            prio,
            cur,
            elapsed,
            cur - elapsed,
            orig,
            status,
            dev,
            QStringLiteral("notes of %1").arg(id)};
}

// Sorted by feature and priority these show in the order 1, 2, 3, 4.
inline QList<QVariantList> awkwardRows() {
    const QString alpha = QStringLiteral("Alpha \"quoted\" & <b>bold</b>");
    return {row(1, alpha, QStringLiteral("Tab\there"), 1, 5, 7.5, 4,
                QStringLiteral("In Development"), QStringLiteral("Zoë Ñúñez")),
            row(2, alpha, QStringLiteral("Ünïcödé 日本語 'single'"), 3, 8, 2, 8,
                QStringLiteral("Testing"), QStringLiteral("Bob & Co <x>")),
            row(3, QStringLiteral("Beta"), QStringLiteral("Line\nbreak\abell"), 2, 2.25, 0, 2,
                QStringLiteral("Not Started"), QVariant()),
            row(4, QStringLiteral("Beta"), QStringLiteral("Done"), 5, 1, 1, 1,
                QStringLiteral("Complete"), QStringLiteral("Zoë Ñúñez"))};
}

struct Grid {
    GridTableModel model{fields()};
    DataGrid grid;

    explicit Grid(QList<QVariantList> rows = awkwardRows()) {
        grid.setColumns(columns());
        grid.setKeyField(QStringLiteral("Task ID"));
        grid.setPreviewField(QStringLiteral("Notes"));
        grid.setSourceModel(&model);
        model.setRows(std::move(rows));
        grid.setSortOrder({{QStringLiteral("Feature"), Qt::AscendingOrder},
                           {QStringLiteral("Priority"), Qt::AscendingOrder}});
        grid.setColorScheme(GridStyleRepository().slate());
    }
};

// Numbers shown the same on every machine.
inline void useCLocale() {
    QLocale::setDefault(QLocale::c());
}

// Standard output of a helper program, or nothing when it is not installed.
inline QByteArray run(const QString& program, const QStringList& args, bool* found = nullptr) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (found)
        *found = !exe.isEmpty();
    if (exe.isEmpty())
        return {};
    QProcess p;
    p.start(exe, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

} // namespace ExportFixture
