// Copying the schedule grid: the plain text byte for byte, and the HTML table
// that lets a spreadsheet keep the columns.
#include "ExportFixture.h"
#include "schedule/ScheduleClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QXmlStreamReader>
#include <QtTest>

using namespace ExportFixture;

namespace {

const QString kHeader =
    QStringLiteral("Feature\tTask\t!\tCur Est\tElapsed\tRemain\tOrig Est\tStatus\tDeveloper\r\n");
const QString kAlpha = QStringLiteral("Alpha \"quoted\" & <b>bold</b>");
const QString kRow1 = kAlpha + QStringLiteral("\tTab here\t\t5\t7.5\t-2.5\t4\tIn Development\t"
                                              "Zoë Ñúñez\r\n");
const QString kRow2 = kAlpha + QStringLiteral("\tÜnïcödé 日本語 'single'\t\t8\t2\t6\t8\tTesting\t"
                                              "Bob & Co <x>\r\n");
const QString kRow3 =
    QStringLiteral("Beta\tLine break\abell\t\t2.25\t0\t2.25\t2\tNot Started\t\r\n");
const QString kRow4 = QStringLiteral("Beta\tDone\t\t1\t1\t0\t1\tComplete\tZoë Ñúñez\r\n");

enum class View { Plain, GroupedOneCollapsed, MyIncompleteTasks, ColumnsRearranged };

void apply(DataGrid& grid, View view) {
    switch (view) {
    case View::Plain:
        break;
    case View::GroupedOneCollapsed:
        grid.setGroupFields({QStringLiteral("Feature")});
        grid.setGroupExpanded({kAlpha}, true);
        grid.setGroupExpanded({QStringLiteral("Beta")}, false);
        break;
    case View::MyIncompleteTasks:
        grid.setFilter(
            {{{QStringLiteral("Developer"), GridCondition::Op::Equals, QStringLiteral("Zoë Ñúñez")},
              {QStringLiteral("Status"), GridCondition::Op::NotEquals,
               QStringLiteral("Complete")}}});
        break;
    case View::ColumnsRearranged:
        grid.setColumnVisible(QStringLiteral("Task"), false);
        grid.setColumnVisible(QStringLiteral("Priority"), false);
        grid.setColumnVisible(QStringLiteral("Elapsed Time"), false);
        grid.setColumnVisible(QStringLiteral("Time Remaining"), false);
        grid.setColumnVisible(QStringLiteral("Original Estimate"), false);
        grid.setColumnVisible(QStringLiteral("Status"), false);
        grid.moveColumn(QStringLiteral("Developer"), 0);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(View)

class TestClipboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useCLocale(); }
    void plainText_data();
    void plainText();
    void htmlKeepsColumns();
};

void TestClipboard::plainText_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all rows, icon column empty, one-line cells")
        << View::Plain << kHeader + kRow1 + kRow2 + kRow3 + kRow4;
    QTest::newRow("group rows as their text, collapsed group's rows left out")
        << View::GroupedOneCollapsed
        << kHeader + QStringLiteral("Feature: ") + kAlpha + QStringLiteral(" (2)\r\n") + kRow1 +
               kRow2 + QStringLiteral("Feature: Beta (2)\r\n");
    QTest::newRow("filter: only the rows that pass") << View::MyIncompleteTasks << kHeader + kRow1;
    QTest::newRow("visible columns in display order")
        << View::ColumnsRearranged
        << QStringLiteral("Developer\tFeature\tCur Est\r\n"
                          "Zoë Ñúñez\t%1\t5\r\n"
                          "Bob & Co <x>\t%1\t8\r\n"
                          "\tBeta\t2.25\r\n"
                          "Zoë Ñúñez\tBeta\t1\r\n")
               .arg(kAlpha);
}

void TestClipboard::plainText() {
    QFETCH(View, view);
    QFETCH(QString, expected);
    Grid f;
    apply(f.grid, view);
    QGuiApplication::clipboard()->clear();
    ScheduleClipboard::copyGrid(f.grid);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->data(QStringLiteral("text/plain")), expected.toUtf8());
}

void TestClipboard::htmlKeepsColumns() {
    Grid f;
    apply(f.grid, View::GroupedOneCollapsed);
    ScheduleClipboard::copyGrid(f.grid);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data && data->hasHtml());

    // Cells per table row, as a reader of the HTML sees them.
    QList<QStringList> rows;
    QList<int> spans;
    QXmlStreamReader xml(data->html());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"tr") {
            rows.append(QStringList());
            spans.append(0);
        } else if (xml.name() == u"th" || xml.name() == u"td") {
            spans.last() += qMax(1, xml.attributes().value(QStringLiteral("colspan")).toInt());
            rows.last() << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    const int columns = 9;
    QCOMPARE(rows.size(), 5); // header, group, two rows, collapsed group
    for (int span : spans)
        QCOMPARE(span, columns);
    QCOMPARE(rows.at(0).first(), QStringLiteral("Feature"));
    QCOMPARE(rows.at(1),
             QStringList{QStringLiteral("Feature: ") + kAlpha + QStringLiteral(" (2)")});
    QCOMPARE(rows.at(2).at(1), QStringLiteral("Tab\there"));
    QCOMPARE(rows.at(2).at(5), QStringLiteral("-2.5"));
    QCOMPARE(rows.at(3).at(8), QStringLiteral("Bob & Co <x>"));
}

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
