// The printed schedule, printed straight to PDF files and read back with
// poppler's tools where they are installed; and the print command's dialog.
#include "ExportFixture.h"
#include "schedule/SchedulePrint.h"

#include <QApplication>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace ExportFixture;

namespace {

// The fixture's awkward rows and then plain ones, enough to fill pages.
QList<QVariantList> manyRows(int count) {
    QList<QVariantList> rows = awkwardRows();
    for (int i = rows.size(); i < count; ++i)
        rows << row(i + 1, QStringLiteral("Feature %1").arg(i / 10, 2, 10, QLatin1Char('0')),
                    QStringLiteral("Task %1").arg(i, 4, 10, QLatin1Char('0')), 1 + i % 5, 3, 1, 2,
                    QStringLiteral("Testing"), QStringLiteral("Dev"));
    return rows.mid(0, count);
}

QString pdfText(const QString& file, int page) {
    return QString::fromUtf8(
        run(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), file, QStringLiteral("-")}));
}

QString pdfInfo(const QString& file, const QString& key) {
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {file}));
    const auto m = QRegularExpression(QStringLiteral("^%1:\\s*(.*)$").arg(key),
                                      QRegularExpression::MultilineOption)
                       .match(info);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

// Pages of a PDF counted from its page objects, for machines without poppler.
int rawPageCount(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(QString::fromLatin1(f.readAll())
                   .count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useCLocale(); }
    void printsToPdf_data();
    void printsToPdf();
    void printDialogWithPreview();
};

void TestPrint::printsToPdf_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("project");
    QTest::addColumn<bool>("grouped");
    QTest::newRow("one page, awkward texts") << 4 << QStringLiteral("Alpha & <Co> Ünï") << false;
    QTest::newRow("empty project name") << 4 << QString() << false;
    QTest::newRow("several pages") << 150 << QStringLiteral("Big") << false;
    QTest::newRow("several pages, grouped") << 150 << QStringLiteral("Big") << true;
}

void TestPrint::printsToPdf() {
    QFETCH(int, rows);
    QFETCH(QString, project);
    QFETCH(bool, grouped);
    QTemporaryDir dir;
    Grid f(manyRows(rows));
    if (grouped) {
        f.grid.setGroupFields({QStringLiteral("Feature")});
        f.grid.expandAllGroups();
    }
    const QString title = ScheduleExport::titleFor(project);
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    SchedulePrint::setupPrinter(printer, title);
    const int pages = SchedulePrint::printReport(printer, ScheduleExport::snapshot(f.grid), title);

    QCOMPARE(rawPageCount(file), pages);
    QCOMPARE(pages > 1, rows > 100);

    bool poppler = false;
    run(QStringLiteral("pdfinfo"), {file}, &poppler);
    if (!poppler)
        QSKIP("poppler-utils are not installed: the page texts are not checked");
    QCOMPARE(pdfInfo(file, QStringLiteral("Pages")).toInt(), pages);
    QCOMPARE(pdfInfo(file, QStringLiteral("Title")), title.trimmed());
    QVERIFY2(pdfInfo(file, QStringLiteral("Page size")).startsWith(QStringLiteral("792 x 612")),
             "Letter, landscape");

    // Every shown row on exactly one page, the headers and the page number on
    // every page, the title first and the sums last.
    QHash<QString, int> seen;
    const QRegularExpression taskName(QStringLiteral("Task \\d{4}"));
    for (int p = 1; p <= pages; ++p) {
        const QString text = pdfText(file, p);
        QVERIFY2(text.contains(QStringLiteral("Cur Est")) &&
                     text.contains(QStringLiteral("Orig Est")),
                 "column headers on every page");
        QVERIFY(text.contains(SchedulePrint::pageNumberText(p, pages)));
        QVERIFY(text.contains(title.trimmed()));
        for (auto it = taskName.globalMatch(text); it.hasNext();)
            ++seen[it.next().captured()];
        if (p == 1) {
            const QStringList lines = text.split(u'\n');
            // The page header and the report title both carry it.
            QCOMPARE(int(lines.filter(title.trimmed()).size()) >= 2, true);
            QVERIFY(text.contains(QStringLiteral("Zoë Ñúñez")));
            QVERIFY(text.contains(QStringLiteral("Bob & Co <x>")));
            QVERIFY(text.contains(QStringLiteral("-2.5")));
        }
        const QString sum =
            f.grid.displayText(QStringLiteral("Current Estimate"),
                               f.grid.footerSum(QStringLiteral("Current Estimate")));
        QCOMPARE(text.contains(QRegularExpression(
                     QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(sum)))),
                 p == pages);
    }
    QCOMPARE(seen.size(), rows - 4);
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
}

void TestPrint::printDialogWithPreview() {
    Grid f(manyRows(150));
    int previewPages = -1;
    bool sawPrintDialog = false;
    // The dialog opens; its preview button shows the report; both are closed.
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawPrintDialog = true;
        auto* preview = dialog->findChild<QPushButton*>(QStringLiteral("btnPrintPreview"));
        if (!preview) {
            dialog->reject();
            return;
        }
        QTimer::singleShot(0, dialog, [&, dialog] {
            auto* previewDialog =
                qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (previewDialog) {
                if (auto* widget = previewDialog->findChild<QPrintPreviewWidget*>())
                    previewPages = widget->pageCount();
                previewDialog->reject();
            }
            QTimer::singleShot(0, dialog, &QDialog::reject);
        });
        preview->click();
    });
    QVERIFY(!SchedulePrint::printGrid(nullptr, f.grid, QStringLiteral("Big")));
    QVERIFY(sawPrintDialog);
    QVERIFY2(previewPages > 1, "the preview shows the paginated report");
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
