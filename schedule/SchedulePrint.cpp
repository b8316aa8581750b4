#include "schedule/SchedulePrint.h"

#include "widgets/DataGrid.h"
#include "widgets/WaitCursor.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>

#include <functional>
#include <vector>

namespace SchedulePrint {

namespace {

// What QPrintDialog::exec() returns when the preview printed already.
constexpr int kPrintedFromPreview = 2;

// Where things go on a page, in device pixels from the paper's top-left corner.
struct Geometry {
    double dpi = 96;
    QRectF body;   // inside the margins
    QRectF header; // page header band
    QRectF footer; // page footer band
    double pad = 0;
    double rowHeight = 0;
    double titleHeight = 0;
    double indent = 0; // per group level
    double left = 0;   // where the columns start (after the group indents)
    QList<double> widths;

    double inch(double in) const { return in * dpi; }
};

struct Page {
    qsizetype first = 0; // rows [first, last)
    qsizetype last = 0;
    bool sums = false;
};

Geometry measure(const QPaintDevice& device, const QPageLayout& layout,
                 const ScheduleExport::Snapshot& grid) {
    Geometry g;
    g.dpi = device.logicalDpiY();
    const int dpi = device.logicalDpiX();
    const QRectF paper = layout.fullRectPixels(dpi);
    const QMarginsF m = layout.marginsPixels(dpi);
    g.body = paper.marginsRemoved(m);
    // Header and footer sit between the paper's edge and the margin, at most
    // half the margin from the edge when the user chose narrow margins.
    const double topEdge = qMin(g.inch(kHeaderFooterInch), m.top() / 2);
    const double bottomEdge = qMin(g.inch(kHeaderFooterInch), m.bottom() / 2);
    g.header = QRectF(g.body.left(), topEdge, g.body.width(), m.top() - topEdge);
    g.footer =
        QRectF(g.body.left(), paper.bottom() - m.bottom(), g.body.width(), m.bottom() - bottomEdge);

    const QFontMetricsF body(bodyFont(), &device);
    const QFontMetricsF title(titleFont(), &device);
    g.pad = g.inch(0.03);
    g.rowHeight = body.height() + 2 * g.pad;
    g.titleHeight = title.height() * 1.8;
    g.indent = g.inch(0.15);
    int depth = 0;
    for (const auto& r : grid.rows)
        if (!r.isGroup)
            depth = qMax(depth, r.level);
    g.left = g.body.left() + depth * g.indent;

    // The grid's widths, in proportion, across the page.
    double total = 0;
    for (const auto& c : grid.columns)
        total += qMax(1, c.width);
    const double scale = total > 0 ? (g.body.right() - g.left) / total : 0;
    for (const auto& c : grid.columns)
        g.widths << qMax(1, c.width) * scale;
    return g;
}

std::vector<Page> paginate(const Geometry& g, const ScheduleExport::Snapshot& grid) {
    std::vector<Page> pages;
    const auto n = grid.rows.size();
    qsizetype row = 0;
    for (;;) {
        Page page;
        page.first = row;
        double y = g.body.top() + (pages.empty() ? g.titleHeight : 0) + g.rowHeight;
        const int capacity = qMax(1, int((g.body.bottom() - y) / g.rowHeight));
        qsizetype count = qMin(qsizetype(capacity), n - row);
        // A group row does not stay alone at the foot of a page.
        if (row + count < n && count > 1 && grid.rows.at(row + count - 1).isGroup)
            --count;
        row += count;
        page.last = row;
        if (row == n) {
            page.sums = count < capacity || !grid.hasSums();
            pages.push_back(page);
            if (page.sums)
                break;
            // The sums did not fit: a page of their own, under the headers.
            pages.push_back({n, n, true});
            break;
        }
        pages.push_back(page);
    }
    return pages;
}

void drawCells(QPainter& p, const Geometry& g, double y, const ScheduleExport::Snapshot& grid,
               const std::function<void(qsizetype, const QRectF&)>& cell) {
    double x = g.left;
    for (qsizetype c = 0; c < grid.columns.size(); ++c) {
        const QRectF r(x, y, g.widths.at(c), g.rowHeight);
        cell(c, r);
        p.drawRect(r);
        x += g.widths.at(c);
    }
}

void drawText(QPainter& p, const QRectF& r, double pad, Qt::Alignment align, const QString& text) {
    const QRectF inner = r.adjusted(pad, 0, -pad, 0);
    const QString shown = p.fontMetrics().elidedText(ScheduleExport::printable(text).simplified(),
                                                     Qt::ElideRight, int(inner.width()));
    p.drawText(inner, int((align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter), shown);
}

QBrush fill(const GridStyle& style) {
    return style.background.isValid() ? QBrush(style.background) : QBrush(Qt::NoBrush);
}

QColor ink(const GridStyle& style) {
    return style.text.isValid() ? style.text : QColor(Qt::black);
}

} // namespace

QFont pageHeaderFont() {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSizeF(8);
    return f;
}

QFont titleFont() {
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSizeF(14);
    f.setBold(true);
    return f;
}

QFont bodyFont() {
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSizeF(8);
    return f;
}

QPageLayout pageLayout() {
    return QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                       QMarginsF(kMarginInch, kMarginInch, kMarginInch, kMarginInch),
                       QPageLayout::Inch);
}

void setupPrinter(QPrinter& printer, const QString& title) {
    printer.setPageLayout(pageLayout());
    printer.setDocName(title);
}

QString pageNumberText(int page, int pageCount) {
    return QStringLiteral("Page %1 of %2").arg(page).arg(pageCount);
}

int printReport(QPagedPaintDevice& device, const ScheduleExport::Snapshot& grid,
                const QString& title) {
    const QPageLayout layout = device.pageLayout();
    const Geometry g = measure(device, layout, grid);
    const std::vector<Page> pages = paginate(g, grid);

    QPainter p;
    if (!p.begin(&device))
        return 0;
    // Paper coordinates, whatever part of the page the device paints by default.
    p.translate(-layout.paintRectPixels(device.logicalDpiX()).topLeft());
    const QPen gridLine(QColor(0xA0, 0xA0, 0xA0), g.inch(0.005));
    const QString printed = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    const auto& scheme = grid.scheme;
    // The pages the user asked for in the print dialog; none named means all.
    const QPageRanges ranges = device.pageRanges();
    int printedPages = 0;

    for (size_t i = 0; i < pages.size(); ++i) {
        const Page& page = pages[i];
        if (!ranges.isEmpty() && !ranges.contains(int(i) + 1))
            continue;
        if (printedPages++ > 0)
            device.newPage();
        p.setFont(pageHeaderFont());
        p.setPen(Qt::black);
        drawText(p, g.header, 0, Qt::AlignLeft, title);
        drawText(p, g.header, 0, Qt::AlignRight, printed);
        drawText(p, g.footer, 0, Qt::AlignHCenter, pageNumberText(int(i) + 1, int(pages.size())));

        double y = g.body.top();
        if (i == 0) {
            p.setFont(titleFont());
            p.drawText(QRectF(g.body.left(), y, g.body.width(), g.titleHeight),
                       Qt::AlignHCenter | Qt::AlignTop, ScheduleExport::printable(title));
            y += g.titleHeight;
        }
        p.setFont(bodyFont());
        p.setPen(gridLine);
        const GridStyle& header = scheme.style(GridElement::Header);
        drawCells(p, g, y, grid, [&](qsizetype c, const QRectF& r) {
            p.fillRect(r, fill(header));
            p.setPen(ink(header));
            drawText(p, r, g.pad, grid.columns.at(c).headerAlignment, grid.columns.at(c).caption);
            p.setPen(gridLine);
        });
        y += g.rowHeight;

        for (qsizetype ri = page.first; ri < page.last; ++ri) {
            const GridShownRow& row = grid.rows.at(ri);
            if (row.isGroup) {
                const GridStyle& gs = scheme.style(GridElement::Group);
                const QRectF r(g.body.left() + row.level * g.indent, y,
                               g.body.right() - g.body.left() - row.level * g.indent, g.rowHeight);
                p.fillRect(r, fill(gs));
                p.drawRect(r);
                p.setPen(ink(gs));
                QFont bold = bodyFont();
                bold.setBold(true);
                p.setFont(bold);
                drawText(p, r, g.pad, Qt::AlignLeft, row.groupText);
                p.setFont(bodyFont());
                p.setPen(gridLine);
                y += g.rowHeight;
                continue;
            }
            drawCells(p, g, y, grid, [&](qsizetype c, const QRectF& r) {
                const auto& col = grid.columns.at(c);
                if (col.kind == GridDisplayKind::Icon && col.iconPainter) {
                    // Icons are drawn for screen rows; scale one up to the printed row.
                    const double side = r.height() - 2 * g.pad;
                    const double s = side / 18.0;
                    p.save();
                    p.translate(r.center().x() - side / 2, r.top() + g.pad);
                    p.scale(s, s);
                    col.iconPainter(&p, QRect(0, 0, 18, 18), row.values.value(c));
                    p.restore();
                    return;
                }
                p.setPen(Qt::black);
                drawText(p, r, g.pad, col.alignment, row.texts.value(c));
                p.setPen(gridLine);
            });
            y += g.rowHeight;
        }

        if (page.sums && grid.hasSums()) {
            const GridStyle& fs = scheme.style(GridElement::Footer);
            drawCells(p, g, y, grid, [&](qsizetype c, const QRectF& r) {
                p.fillRect(r, fill(fs));
                p.setPen(ink(fs));
                drawText(p, r, g.pad, grid.columns.at(c).alignment, grid.columns.at(c).sumText);
                p.setPen(gridLine);
            });
        }
    }
    p.end();
    return printedPages;
}

bool printWithDialog(QWidget* parent, QPrinter& printer, const QString& title,
                     const std::function<int(QPrinter&)>& paint) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    // Where the dialog is our own widget (not a native one), it gets a
    // button that opens the print preview on the same printer.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        QPushButton* preview =
            buttons->addButton(QStringLiteral("Pre&view..."), QDialogButtonBox::ActionRole);
        preview->setObjectName(QStringLiteral("btnPrintPreview"));
        QObject::connect(preview, &QPushButton::clicked, &dialog, [&] {
            QPrintPreviewDialog previewDialog(&printer, &dialog);
            previewDialog.setWindowTitle(title);
            QObject::connect(&previewDialog, &QPrintPreviewDialog::paintRequested, &previewDialog,
                             [&](QPrinter* target) { paint(*target); });
            // Printing from the preview finishes the command.
            if (previewDialog.exec() == QDialog::Accepted)
                dialog.done(kPrintedFromPreview);
        });
    }
    const int result = dialog.exec();
    if (result == kPrintedFromPreview)
        return true;
    if (result != QDialog::Accepted)
        return false;
    const WaitCursor wait;
    return paint(printer) > 0;
}

bool printGrid(QWidget* parent, const DataGrid& grid, const QString& projectText) {
    // The report shows the grid as it is when the command is given.
    const ScheduleExport::Snapshot snap = ScheduleExport::snapshot(grid);
    const QString title = ScheduleExport::titleFor(projectText);
    QPrinter printer(QPrinter::HighResolution);
    setupPrinter(printer, title);
    return printWithDialog(parent, printer, title,
                           [&](QPrinter& target) { return printReport(target, snap, title); });
}

} // namespace SchedulePrint
