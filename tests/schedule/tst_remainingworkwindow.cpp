// The remaining-work window: the chart's two lines in the colour scheme's
// colours (rendered off screen), the range selector, the values under the
// mouse and the arrow keys, the exports, printing, the keyboard order, and
// the View menu command with the task list's filter.
#include "ScheduleFixture.h"
#include "schedule/ProjectSchedule.h"
#include "schedule/RemainingWorkWindow.h"
#include "schedule/SchedulePrint.h"
#include "schedule/TaskListFrame.h"
#include "widgets/DataGrid.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace RemainingWork;

namespace {

const QDate kToday(2024, 6, 10);

// Task 1 worked an hour a day from the 2nd (time remaining 14 falling to 5
// over both tasks, elapsed 0 rising to 9); task 2 untouched at 4 hours; task
// 3 added on the 5th and task 4 on the 8th, each placed by the row before.
ProjectRows sampleRows() {
    ProjectRows in;
    in.tasks = {{1, 10, 9, 10}, {2, 4, 0, 4}, {3, 0, 0, 0}, {4, 0, 0, 0}};
    for (int d = 2; d <= 10; ++d) {
        in.rows.push_back(
            {1, QDate(2024, 6, d),
             QStringLiteral("Elapsed Time changed from %1 to %2").arg(d - 2).arg(d - 1)});
        if (d == 5)
            in.rows.push_back({3, QDate(), QString()});
        if (d == 8)
            in.rows.push_back({4, QDate(), QString()});
    }
    return in;
}

// True when a pixel within `radius` device pixels of `at` has the colour.
bool colourNear(const QImage& image, const QPointF& at, const QColor& colour, int radius) {
    const int cx = qRound(at.x()), cy = qRound(at.y());
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x) {
            if (!image.rect().contains(x, y))
                continue;
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red()) <= 6 &&
                std::abs(p.green() - colour.green()) <= 6 &&
                std::abs(p.blue() - colour.blue()) <= 6)
                return true;
        }
    return false;
}

QString pdfText(const QString& file) {
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (exe.isEmpty())
        return {};
    QProcess p;
    p.start(exe, {QStringLiteral("-layout"), file, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestRemainingWorkWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<RemainingWorkWindow> window(std::vector<int> filter = {2}) {
        return std::make_unique<RemainingWorkWindow>(sampleRows(), std::move(filter),
                                                     QStringLiteral("Apollo"),
                                                     GridStyleRepository().slate(), kToday);
    }

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { drainMessageAnswers(); }

    // Every colour scheme: the rendered chart shows time remaining and
    // elapsed time each in its own colour, where their values lie, sharp at
    // one and two device pixels per point.
    void lineColours_data() {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<qreal>("ratio");
        const GridStyleRepository repo;
        for (int i = 0; i < repo.count(); ++i)
            QTest::newRow(qPrintable(repo.sheet(i).caption)) << repo.sheet(i).name << qreal(1);
        QTest::newRow("Slate, two pixels a point")
            << QStringLiteral("GridTableViewStyleSheetSlate") << qreal(2);
    }
    void lineColours() {
        QFETCH(QString, scheme);
        QFETCH(qreal, ratio);
        const GridStyleRepository repo;
        RemainingWorkChart chart;
        chart.setColorScheme(*repo.byName(scheme));
        chart.setTitle(QStringLiteral("Remaining Work: Apollo"));
        const ProjectRows in = sampleRows();
        chart.setChart(reconstruct(in.tasks, in.rows, {2}, QDate(2024, 6, 1), kToday));
        QCOMPARE(chart.chart().dayCount(), 10);

        const QColor remaining = chart.remainingColor(), elapsed = chart.elapsedColor();
        const QColor background = chart.backgroundColor();
        QCOMPARE(background, repo.byName(scheme)->style(GridElement::Content).background);
        auto apart = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue()) >
                   60;
        };
        QVERIFY2(apart(remaining, elapsed), qPrintable(remaining.name() + u' ' + elapsed.name()));
        QVERIFY(apart(remaining, background));
        QVERIFY(apart(elapsed, background));

        const QSize size(640, 380);
        const QImage image = chart.renderImage(size, ratio);
        QCOMPARE(image.size(), size * ratio);
        const QRectF rect(QPointF(0, 0), QSizeF(size));
        const auto& days = chart.chart().project;
        const int radius = qRound(ratio);
        for (int d : {1, 8}) {
            const QPointF r = chart.pointAt(rect, d, days[size_t(d)].remaining) * ratio;
            const QPointF e = chart.pointAt(rect, d, days[size_t(d)].elapsed) * ratio;
            QVERIFY2(colourNear(image, r, remaining, radius), qPrintable(QString::number(d)));
            QVERIFY2(colourNear(image, e, elapsed, radius), qPrintable(QString::number(d)));
            QVERIFY(!colourNear(image, r, elapsed, radius));
            QVERIFY(!colourNear(image, e, remaining, radius));
        }
        // The filtered rows' line is dashed in the time remaining's colour.
        const QPointF f = chart.pointAt(rect, 1, chart.chart().filtered[1].remaining) * ratio;
        bool dash = false;
        for (int dx = -12; dx <= 12 && !dash; dx += 2)
            dash = colourNear(image, f + QPointF(dx * ratio, 0), remaining, radius);
        QVERIFY(dash);
    }

    void ranges_data() {
        QTest::addColumn<int>("range");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<int>("days");
        QTest::newRow("2 weeks") << int(RemainingWorkWindow::Range::TwoWeeks) << QDate(2024, 5, 28)
                                 << 14;
        QTest::newRow("6 weeks") << int(RemainingWorkWindow::Range::SixWeeks) << QDate(2024, 4, 30)
                                 << 42;
        // The first day the rows know of: task 1's first change.
        QTest::newRow("all") << int(RemainingWorkWindow::Range::All) << QDate(2024, 6, 2) << 9;
    }
    void ranges() {
        QFETCH(int, range);
        QFETCH(QDate, from);
        QFETCH(int, days);
        auto w = window();
        QCOMPARE(w->cmbRange->count(), 3);
        QCOMPARE(w->cmbRange->itemText(0), QStringLiteral("2 weeks"));
        QCOMPARE(w->cmbRange->itemText(2), QStringLiteral("All"));
        w->cmbRange->setCurrentIndex(range);
        const Chart& c = w->chartRemaining->chart();
        QCOMPARE(c.from, from);
        QCOMPARE(c.dayCount(), days);
        QCOMPARE(c.to, kToday);
        QCOMPARE(c.project.back().remaining, 5.0);
        QCOMPARE(c.filtered.back().remaining, 4.0);
        QCOMPARE(w->lblPlaced->text(),
                 QStringLiteral("2 tasks were placed by the nearest earlier dated History row: the "
                                "rows that record their adding have no date."));
    }

    void placedText_data() {
        QTest::addColumn<int>("earlier");
        QTest::addColumn<int>("later");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << 0
                              << "0 tasks were placed by the nearest earlier dated History row: "
                                 "the rows that record their adding have no date.";
        QTest::newRow("one") << 1 << 0
                             << "1 task was placed by the nearest earlier dated History row: the "
                                "row that records its adding has no date.";
        QTest::newRow("one added before any dated row")
            << 3 << 1
            << "3 tasks were placed by the nearest earlier dated History row: the rows that "
               "record their adding have no date. 1 task added before any dated row starts on "
               "the first one.";
    }
    void placedText() {
        QFETCH(int, earlier);
        QFETCH(int, later);
        QFETCH(QString, text);
        Chart c;
        c.placedByEarlierRow = earlier;
        c.placedByLaterRow = later;
        QCOMPARE(placedTasksText(c), text);
    }

    // The values of the day under the mouse, and of the day the arrow keys
    // move to; today's when neither points at one.
    void hoverAndKeys() {
        auto w = window();
        w->setRange(RemainingWorkWindow::Range::All); // 2 to 10 June
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        RemainingWorkChart* chart = w->chartRemaining;
        QCOMPARE(chart->currentDay(), -1);
        QVERIFY(w->lblValues->text().startsWith(QLocale().toString(kToday, QLocale::ShortFormat)));
        QVERIFY(w->lblValues->text().contains(QStringLiteral("Time Remaining 5, Elapsed Time 9")));

        const QPointF third = chart->pointAt(chart->rect(), 2, 0);
        QTest::mouseMove(chart, QPoint(qRound(third.x()) + 1, chart->height() / 2));
        QTRY_COMPARE(chart->currentDay(), 2);
        QCOMPARE(w->lblValues->text(),
                 QLocale().toString(QDate(2024, 6, 4), QLocale::ShortFormat) +
                     QStringLiteral(": Time Remaining 11, Elapsed Time 3; filtered rows: Time "
                                    "Remaining 4, Elapsed Time 0"));

        chart->setFocus();
        QTest::keyClick(chart, Qt::Key_End);
        QCOMPARE(chart->currentDay(), 8);
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(chart->currentDay(), 7);
        QVERIFY(w->lblValues->text().contains(QStringLiteral("Time Remaining 6, Elapsed Time 8")));
        QTest::keyClick(chart, Qt::Key_Home);
        QCOMPARE(chart->currentDay(), 0);
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(chart->currentDay(), 0);
    }

    void keyboardOrder() {
        auto w = window();
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(QApplication::focusWidget(), w->cmbRange);
        QStringList order;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{"chartRemaining", "btnExportPNG", "btnExportSVG", "btnPrint",
                                     "btnClose"}));
        QTest::keyClick(w.get(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w->cmbRange);
        QTest::keyClick(w->cmbRange, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
    }

    void exports() {
        QTemporaryDir dir;
        auto w = window();
        w->resize(800, 560);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));

        // No suffix typed: the format's own is added.
        Msg::pushFileName(dir.filePath(QStringLiteral("chart")));
        w->btnExportPNG->click();
        QImage png(dir.filePath(QStringLiteral("chart.png")));
        QVERIFY(!png.isNull());
        QVERIFY(png.width() >= 2 * w->chartRemaining->width());
        QVERIFY(Msg::takeShown().isEmpty());

        Msg::pushFileName(dir.filePath(QStringLiteral("chart.svg")));
        w->btnExportSVG->click();
        QFile svg(dir.filePath(QStringLiteral("chart.svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(svg.readAll());
        QVERIFY(text.contains(QStringLiteral("<svg")));
        QVERIFY(text.contains(QStringLiteral("Remaining Work: Apollo")));
        QVERIFY(text.contains(w->chartRemaining->remainingColor().name(), Qt::CaseInsensitive));
        QVERIFY(text.contains(w->chartRemaining->elapsedColor().name(), Qt::CaseInsensitive));

        // A folder that does not exist: the error box says where.
        const QString bad = dir.filePath(QStringLiteral("missing/chart.png"));
        Msg::pushFileName(bad);
        Msg::pushAnswer(Msg::Answer::Ok);
        w->btnExportPNG->click();
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Msg::Kind::Error);
        QCOMPARE(shown[0].text, QStringLiteral("The chart could not be written to %1.")
                                    .arg(QDir::toNativeSeparators(bad)));

        // Cancelled: nothing written, nothing said.
        Msg::pushFileName(QString());
        w->btnExportSVG->click();
        QVERIFY(Msg::takeShown().isEmpty());
    }

    void printing() {
        QTemporaryDir dir;
        auto w = window();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("chart.pdf")));
        SchedulePrint::setupPrinter(printer, w->chartRemaining->title());
        QCOMPARE(w->printChart(printer), 1);
        QVERIFY(QFileInfo(printer.outputFileName()).size() > 0);
        const QString text = pdfText(printer.outputFileName());
        if (text.isEmpty())
            QSKIP("pdftotext is not installed");
        QVERIFY(text.contains(QStringLiteral("Remaining Work: Apollo")));
        QVERIFY(text.contains(QStringLiteral("Elapsed Time")));

        // The command opens the print dialog; closed, nothing is printed.
        bool sawDialog = false;
        QTimer::singleShot(0, w.get(), [&] {
            if (auto* d = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
                sawDialog = true;
                d->reject();
            } else if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        });
        w->btnPrint->click();
        QVERIFY(sawDialog);
    }

    // View > "Remaining Work...": the current project's chart, with a line
    // for "my incomplete tasks" when that filter is set on the task list.
    void viewCommand() {
        ScheduleFixture fx;
        fx.addHistory(fx.design, QStringLiteral("Modified by Mia Example"),
                      QStringLiteral("Elapsed Time changed from 1 to 2\r\n"),
                      QDateTime(QDate::currentDate().addDays(-1), QTime(10, 0)));
        TfrmProjectSchedule win;
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        auto* command = win.findChild<QAction*>(QStringLiteral("btnRemainingWork"));
        QVERIFY(command);
        win.navViewMyTasks->trigger();
        const int shown = int(win.fraTaskList->gridSchedule->filteredKeys().size());
        QCOMPARE(shown, 2); // Design and Invoice: Review is complete, the rest are not mine

        int tasks = -1, filtered = -1;
        QString title;
        QColor background;
        QVERIFY(whileModal<RemainingWorkWindow>([&] { command->trigger(); },
                                                [&](RemainingWorkWindow* w) {
                                                    const Chart& c = w->chartRemaining->chart();
                                                    tasks = c.taskCount;
                                                    filtered = c.filteredCount;
                                                    title = w->chartRemaining->title();
                                                    background =
                                                        w->chartRemaining->backgroundColor();
                                                    w->btnClose->click();
                                                }));
        QCOMPARE(tasks, 5);
        QCOMPARE(filtered, shown);
        QCOMPARE(title, QStringLiteral("Remaining Work: Apollo"));
        QCOMPARE(background, win.fraTaskList->colorScheme().style(GridElement::Content).background);
        QVERIFY2(fx.errors.isEmpty(), qPrintable(fx.errors.join(u'\n')));
    }
};

QTEST_MAIN(TestRemainingWorkWindow)
#include "tst_remainingworkwindow.moc"
