// The data grid as a user and a binding frame meet it.
#include "bench/GridBenchmark.h"
#include "data/Errors.h"
#include "widgets/DataGrid.h"
#include "widgets/ErrorHandling.h"
#include "widgets/GridColumnChooser.h"
#include "widgets/GridFilterPopup.h"
#include "widgets/PriorityIcons.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

QList<QVariantList> baseRows() {
    // Task ID, Feature, Task, Priority, Cur, Elapsed, Remain, Status, Developer, Notes
    auto row = [](int id, const char* feature, const char* task, int prio, double cur, double el,
                  const char* status, QVariant dev, const char* notes) {
        return QVariantList{id,
                            QLatin1String(feature),
                            QLatin1String(task),
                            prio,
                            cur,
                            el,
                            cur - el,
                            QLatin1String(status),
                            dev,
                            QLatin1String(notes)};
    };
    const QVariant ann = QStringLiteral("Ann"), bob = QStringLiteral("Bob");
    return {row(1, "Alpha", "Design", 1, 5, 2, "In Development", ann, "first line\nsecond line"),
            row(2, "Alpha", "Build", 3, 8, 8, "Complete", bob, ""),
            row(3, "Beta", "Test", 2, 3, 4, "Testing", ann, "runs late"),
            row(4, "Beta", "Docs", 5, 2, 0, "Not Started", bob, ""),
            row(5, "Gamma", "Ship", 4, 1, 0, "Not Started", ann, ""),
            row(6, "Alpha", "Review", 3, 2, 1, "Testing", QVariant(), "")};
}

GridStyleSheet slate() {
    GridStyleSheet s;
    s.name = QStringLiteral("GridTableViewStyleSheetSlate");
    s.caption = QStringLiteral("Slate");
    auto set = [&](GridElement e, const char* bg, const char* fg) {
        auto& st = s.styles[size_t(e)];
        st.background = QColor(QLatin1String(bg));
        st.text = QColor(QLatin1String(fg));
        st.fontFamily = QStringLiteral("Microsoft Sans Serif");
        st.fontPixelSize = 11;
    };
    set(GridElement::Content, "#FFFFFF", "#000000");
    set(GridElement::ContentEven, "#9DB9C8", "#000000");
    set(GridElement::ContentOdd, "#CEDCE3", "#000000");
    set(GridElement::Inactive, "#558097", "#FFFFFF");
    set(GridElement::Selection, "#558097", "#FFFFFF");
    set(GridElement::Footer, "#9DB9C8", "#000000");
    set(GridElement::Group, "#558097", "#C0C0C0");
    set(GridElement::GroupByBox, "#414141", "#FFFFFF");
    set(GridElement::Header, "#9DB9C8", "#000000");
    set(GridElement::Indicator, "#9DB9C8", "#000000");
    set(GridElement::Preview, "#FFFFFF", "#558097");
    return s;
}

// A grid bound the way the schedule binds it, with a history provider.
struct Fixture {
    std::unique_ptr<GridTableModel> model = GridBenchmark::makeModel(0);
    DataGrid grid;
    QHash<int, QList<GridDetailRow>> history;
    int providerCalls = 0;

    explicit Fixture(QSize size = {760, 420}) {
        model->setRows(baseRows());
        GridBenchmark::bind(grid, model.get());
        grid.setDetailProvider({QStringLiteral("Action"), QStringLiteral("Modified")},
                               [this](const QVariant& key) {
                                   ++providerCalls;
                                   return history.value(key.toInt());
                               });
        grid.setSortOrder({{QStringLiteral("Feature"), Qt::AscendingOrder},
                           {QStringLiteral("Priority"), Qt::AscendingOrder}});
        grid.setColorScheme(slate());
        grid.resize(size);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
    }
    QList<int> keys() const {
        QList<int> out;
        for (const auto& r : grid.shownRows())
            out << (r.isGroup ? -1 : r.key.toInt());
        return out;
    }
    QWidget* vp() { return grid.viewport(); }
};

GridDetailRow detail(const char* action, int minutes, const char* change) {
    return {{QLatin1String(action), QDateTime(QDate(2024, 5, 1), QTime(9, minutes))},
            QLatin1String(change)};
}

} // namespace

class TestDataGrid : public QObject {
    Q_OBJECT
private slots:
    void groupingAndGroupFooters();
    void filterAndFooterSums();
    void filterPanelShowsPlainText();
    void headerFilterDropDown();
    void sortingByHeaderClicks();
    void focusAndExpansionKeptAcrossReread();
    void rereadKeepsTheRowsOnScreen();
    void detailRowsInProviderOrder();
    void failingDetailLoader();
    void customConditionDialog();
    void doubleClickByRegion_data();
    void doubleClickByRegion();
    void keyboard();
    void contextMenuSignal();
    void layoutRoundTrip();
    void corruptLayoutKeepsDesign_data();
    void corruptLayoutKeepsDesign();
    void columnChooser();
    void renderedColours();
    void paintsOnlyOneScreenful();
};

void TestDataGrid::groupingAndGroupFooters() {
    Fixture f;
    f.grid.setGroupPanelVisible(true);
    // Drag the "Feature" header into the group panel.
    const QPoint from = f.grid.headerRect(QStringLiteral("Feature")).center();
    QTest::mousePress(f.vp(), Qt::LeftButton, {}, from);
    QTest::mouseMove(f.vp(), from + QPoint(10, -10));
    QTest::mouseMove(f.vp(), QPoint(20, 10));
    QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(f.grid.groupFields(), QStringList{QStringLiteral("Feature")});

    // Collapsed groups: group rows only, with value and count.
    auto rows = f.grid.shownRows();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).groupText, QStringLiteral("Feature: Alpha (3)"));
    QCOMPARE(rows.at(2).groupText, QStringLiteral("Feature: Gamma (1)"));

    f.grid.setGroupExpanded({QStringLiteral("Alpha")}, true);
    QCOMPARE(f.keys(), (QList<int>{-1, 1, 2, 6, -1, -1}));
    QCOMPARE(f.grid.groupFooterSum({QStringLiteral("Alpha")}, QStringLiteral("Elapsed Time")),
             11.0);
    QCOMPARE(f.grid.groupFooterSum({QStringLiteral("Alpha")}, QStringLiteral("Time Remaining")),
             4.0);
    QCOMPARE(f.grid.footerSum(QStringLiteral("Elapsed Time")), 15.0);

    // A second level, then the first one dragged out again.
    f.grid.setGroupFields({QStringLiteral("Feature"), QStringLiteral("Status")});
    f.grid.setGroupExpanded({QStringLiteral("Alpha"), QStringLiteral("Testing")}, true);
    rows = f.grid.shownRows();
    QCOMPARE(rows.at(1).groupText, QStringLiteral("Status: Complete (1)"));
    QCOMPARE(rows.at(1).level, 1);
    QCOMPARE(f.keys().mid(0, 6), (QList<int>{-1, -1, -1, -1, 6, -1}));
    QCOMPARE(f.grid.groupFooterSum({QStringLiteral("Alpha"), QStringLiteral("Testing")},
                                   QStringLiteral("Elapsed Time")),
             1.0);
    QTest::mousePress(f.vp(), Qt::LeftButton, {}, QPoint(14, 14));
    QTest::mouseMove(f.vp(), QPoint(30, 30));
    QTest::mouseMove(f.vp(), QPoint(300, 250));
    QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, QPoint(300, 250));
    QCOMPARE(f.grid.groupFields(), QStringList{QStringLiteral("Status")});
}

void TestDataGrid::filterAndFooterSums() {
    Fixture f;
    QSignalSpy changed(&f.grid, &DataGrid::filterChanged);
    GridFilter mine;
    mine.conditions = {
        {QStringLiteral("Developer"), GridCondition::Op::Equals, QStringLiteral("Ann")},
        {QStringLiteral("Status"), GridCondition::Op::NotEquals, QStringLiteral("Complete")}};
    f.grid.setFilter(mine);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(f.keys(), (QList<int>{1, 3, 5}));
    QCOMPARE(f.grid.footerSum(QStringLiteral("Elapsed Time")), 6.0);
    QCOMPARE(f.grid.footerSum(QStringLiteral("Time Remaining")), 3.0); // -1 of task 3 included
    QCOMPARE(f.grid.filterText(),
             QStringLiteral("Developer equals 'Ann' and Status does not equal 'Complete'"));

    // The filter panel's check box switches it off and on.
    auto* check = f.grid.findChild<QCheckBox*>();
    QVERIFY(check && check->isVisible());
    check->click();
    QVERIFY(!f.grid.isFilterEnabled());
    QCOMPARE(f.grid.footerSum(QStringLiteral("Elapsed Time")), 15.0);
    check->click();
    QCOMPARE(f.keys(), (QList<int>{1, 3, 5}));

    // A filter nothing passes: empty list, zero sums.
    f.grid.setFilter(
        {{{QStringLiteral("Developer"), GridCondition::Op::Equals, QStringLiteral("Zed")}}});
    QVERIFY(f.grid.shownRows().isEmpty());
    QCOMPARE(f.grid.footerSum(QStringLiteral("Current Estimate")), 0.0);
    QVERIFY(!f.grid.focusedKey().isValid());
    f.grid.clearFilter();
    QCOMPARE(f.grid.shownRows().size(), 6);
    QVERIFY(!check->isVisible());
}

void TestDataGrid::filterPanelShowsPlainText() {
    Fixture f;
    const QString markup = QStringLiteral("<b>Design</b> &amp; <i>review</i>");
    QList<QVariantList> rows = baseRows();
    rows[0][2] = markup;
    f.model->setRows(rows);
    f.grid.setFilter({{{QStringLiteral("Task"), GridCondition::Op::Equals, markup}}});
    QCOMPARE(f.keys(), QList<int>{1});
    // The panel names the task as it is written, tags and all.
    QLabel* label = nullptr;
    for (QLabel* l : f.grid.findChildren<QLabel*>())
        if (l->isVisible() && l->text() == f.grid.filterText())
            label = l;
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Task equals '") + markup + u'\'');
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestDataGrid::headerFilterDropDown() {
    Fixture f;
    // Distinct values are capped.
    auto many = GridBenchmark::makeModel(1500);
    DataGrid big;
    GridBenchmark::bind(big, many.get());
    QCOMPARE(big.distinctValues(QStringLiteral("Task")).size(), DataGrid::kMaxFilterValues);

    const QRect header = f.grid.headerRect(QStringLiteral("Status"));
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, QPoint(header.right() - 7, header.center().y()));
    auto* popup = f.grid.findChild<GridFilterPopup*>();
    QVERIFY(popup);
    QListWidget* list = popup->list();
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    QCOMPARE(items, (QStringList{QStringLiteral("(All)"), QStringLiteral("(Custom...)"),
                                 QStringLiteral("Complete"), QStringLiteral("In Development"),
                                 QStringLiteral("Not Started"), QStringLiteral("Testing")}));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(5)).center());
    QCOMPARE(f.grid.filter().conditions,
             (QList<GridCondition>{{QStringLiteral("Status"), GridCondition::Op::Equals,
                                    QStringLiteral("Testing")}}));
    QCOMPARE(f.keys(), (QList<int>{6, 3}));
}

void TestDataGrid::sortingByHeaderClicks() {
    Fixture f;
    QCOMPARE(f.keys(), (QList<int>{1, 2, 6, 3, 4, 5})); // Feature, then Priority
    auto click = [&](const char* field, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(f.vp(), Qt::LeftButton, mods,
                          f.grid.headerRect(QLatin1String(field)).center() - QPoint(15, 0));
    };
    click("Developer");
    QCOMPARE(f.grid.sortOrder(),
             (QList<GridSortKey>{{QStringLiteral("Developer"), Qt::AscendingOrder}}));
    click("Elapsed Time", Qt::ShiftModifier);
    click("Elapsed Time", Qt::ShiftModifier);
    QCOMPARE(f.grid.sortOrder(),
             (QList<GridSortKey>{{QStringLiteral("Developer"), Qt::AscendingOrder},
                                 {QStringLiteral("Elapsed Time"), Qt::DescendingOrder}}));
    QCOMPARE(f.keys(), (QList<int>{6, 3, 1, 5, 2, 4}));
    click("Developer");
    QCOMPARE(f.grid.sortOrder(),
             (QList<GridSortKey>{{QStringLiteral("Developer"), Qt::DescendingOrder}}));
}

void TestDataGrid::focusAndExpansionKeptAcrossReread() {
    Fixture f;
    f.history[6] = {detail("Task added by Ann", 1, "")};
    f.grid.setGroupFields({QStringLiteral("Feature")});
    f.grid.setGroupExpanded({QStringLiteral("Beta")}, true);
    QVERIFY(f.grid.setFocusedKey(6)); // opens Alpha around it
    QVERIFY(f.grid.isGroupExpanded({QStringLiteral("Alpha")}));
    f.grid.setRowExpanded(6, true);
    QCOMPARE(f.providerCalls, 1);
    QSignalSpy focus(&f.grid, &DataGrid::focusedKeyChanged);

    // A re-read after a change: other order, one more row, new history.
    auto rows = baseRows();
    std::reverse(rows.begin(), rows.end());
    rows[0][5] = 2.0;
    rows.append({7, QStringLiteral("Alpha"), QStringLiteral("Plan"), 2, 1.0, 0.0, 1.0,
                 QStringLiteral("Testing"), QStringLiteral("Ann"), QString()});
    f.history[6].append(detail("Modified by Ann", 2, "Elapsed Time changed from 1 to 2"));
    f.model->setRows(rows);

    QCOMPARE(f.grid.focusedKey().toInt(), 6);
    QCOMPARE(focus.count(), 0);
    QVERIFY(f.grid.isRowExpanded(6));
    QCOMPARE(f.grid.detailRows(6).size(), 2); // loaded again
    QVERIFY(f.grid.isGroupExpanded({QStringLiteral("Alpha")}));
    QVERIFY(f.grid.isGroupExpanded({QStringLiteral("Beta")}));
    QVERIFY(!f.grid.isGroupExpanded({QStringLiteral("Gamma")}));
    QCOMPARE(f.keys(), (QList<int>{-1, 1, 7, 6, 2, -1, 3, 4, -1}));

    // Closed and opened again in two steps: still the same task.
    f.model->setRows({});
    f.model->setRows(rows);
    QCOMPARE(f.grid.focusedKey().toInt(), 6);
    QVERIFY(f.grid.isRowExpanded(6));

    // The focused task deleted: the focus goes to the row that followed it
    // and says so.
    rows.removeIf([](const QVariantList& r) { return r.at(0).toInt() == 6; });
    focus.clear();
    f.model->setRows(rows);
    QCOMPARE(f.grid.focusedKey().toInt(), 2);
    QCOMPARE(focus.count(), 1);
    QCOMPARE(focus.at(0).at(0).toInt(), 2);
    // Deleted in a re-read of two steps: the neighbour all the same.
    rows.removeIf([](const QVariantList& r) { return r.at(0).toInt() == 2; });
    f.model->setRows({});
    f.model->setRows(rows);
    QCOMPARE(f.grid.focusedKey().toInt(), 7);

    // A group the user collapsed around the focused row stays collapsed
    // through a re-read; its group row stands for the row.
    f.grid.setGroupExpanded({QStringLiteral("Alpha")}, false);
    f.model->setRows(rows);
    QVERIFY(!f.grid.isGroupExpanded({QStringLiteral("Alpha")}));
    QVERIFY(!f.grid.focusedKey().isValid());
    QCOMPARE(f.keys(), (QList<int>{-1, -1, 3, 4, -1}));
}

void TestDataGrid::rereadKeepsTheRowsOnScreen() {
    // Rows enough to scroll, in the order given.
    Fixture f(QSize(760, 260));
    const auto rowsOf = [](const QList<int>& ids) {
        QList<QVariantList> rows;
        for (int id : ids)
            rows.append({id, QStringLiteral("F"), QStringLiteral("Task %1").arg(id), 3, 1.0, 0.0,
                         1.0, QStringLiteral("Testing"), QStringLiteral("Ann"), QString()});
        return rows;
    };
    f.grid.setSortOrder({});
    QList<int> ids;
    for (int i = 10; i < 110; ++i)
        ids << i;
    f.model->setRows(rowsOf(ids));
    QVERIFY(f.grid.setFocusedKey(60));
    QScrollBar* bar = f.grid.verticalScrollBar();
    const int line = f.grid.cellRect(61, QStringLiteral("Task")).top() -
                     f.grid.cellRect(60, QStringLiteral("Task")).top();
    bar->setValue(40 * line + line / 2); // half way into task 50
    const int top50 = f.grid.cellRect(50, QStringLiteral("Task")).top();
    const int at60 = f.grid.cellRect(60, QStringLiteral("Task")).top();

    // Rows added and deleted above and below the view: the rows on screen stay
    // where they were, the focus with them.
    QList<int> more{1, 2, 3};
    more += ids;
    more.removeOne(20);
    more.removeOne(70);
    f.model->setRows(rowsOf(more));
    QCOMPARE(f.grid.cellRect(50, QStringLiteral("Task")).top(), top50);
    QCOMPARE(f.grid.cellRect(60, QStringLiteral("Task")).top(), at60);
    QCOMPARE(f.grid.focusedKey().toInt(), 60);

    // The row the view began with deleted: the next one keeps its place.
    more.removeOne(50);
    f.model->setRows(rowsOf(more));
    QCOMPARE(f.grid.cellRect(51, QStringLiteral("Task")).top(), top50 + line);
    QCOMPARE(f.grid.cellRect(60, QStringLiteral("Task")).top(), at60);

    // A view at the very top stays there and shows rows added above.
    bar->setValue(0);
    f.model->setRows(rowsOf(QList<int>{0} + more));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(f.grid.shownRows().first().key.toInt(), 0);

    // Nothing shown before is left (another project): from the top, on its first row.
    bar->setValue(bar->maximum());
    f.model->setRows(rowsOf({500, 501, 502}));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(f.grid.focusedKey().toInt(), 500);
}

void TestDataGrid::detailRowsInProviderOrder() {
    Fixture f;
    f.history[3] = {detail("Task added by Ann", 1, "Created"),
                    detail("Modified by Bob", 5,
                           "Status changed from Not Started to Testing\r\n"
                           "Current Estimate changed from 2 to 3\r\n"),
                    detail("Modified by Ann", 9, "Elapsed Time changed from 3 to 4")};
    QCOMPARE(f.providerCalls, 0); // nothing loaded before a row is opened
    QVERIFY(f.grid.detailRows(3).isEmpty());
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, f.grid.expandButtonRect(3).center());
    QVERIFY(f.grid.isRowExpanded(3));
    QCOMPARE(f.providerCalls, 1);
    const auto shown = f.grid.detailRows(3);
    QCOMPARE(shown.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(shown.at(i).values, f.history[3].at(i).values);
        const QRect r = f.grid.detailRect(3, i);
        QVERIFY(!r.isEmpty());
        if (i > 0)
            QVERIFY(r.top() > f.grid.detailRect(3, i - 1).top());
        const GridHit hit = f.grid.hitTest(r.center());
        QCOMPARE(hit.region, GridRegion::DetailRow);
        QCOMPARE(hit.detailIndex, i);
        QCOMPARE(hit.key.toInt(), 3);
    }
    // The two-line change description gets room for both lines.
    QVERIFY(f.grid.detailRect(3, 1).height() > f.grid.detailRect(3, 0).height());
    // History rows are not part of the rows as shown.
    QCOMPARE(f.grid.shownRows().size(), 6);
    QTest::keyClick(&f.grid, Qt::Key_Minus);
    QVERIFY(!f.grid.isRowExpanded(3));
    QVERIFY(f.grid.detailRows(3).isEmpty());
    QTest::keyClick(&f.grid, Qt::Key_Plus); // opened again: loaded again
    QCOMPARE(f.providerCalls, 2);
    QCOMPARE(f.grid.detailRows(3).size(), 3);
}

void TestDataGrid::failingDetailLoader() {
    Fixture f;
    std::exception_ptr seen;
    ErrorHandling::setUnexpectedHandler([&](std::exception_ptr e) { seen = e; });
    f.grid.setDetailProvider({QStringLiteral("Action"), QStringLiteral("Modified")},
                             [](const QVariant&) -> QList<GridDetailRow> {
                                 throw DataError(QStringLiteral("History is locked"));
                             });
    f.grid.setRowExpanded(2, true);
    ErrorHandling::setUnexpectedHandler({});
    QVERIFY(seen);
    QVERIFY(!f.grid.isRowExpanded(2));
    QCOMPARE(f.grid.shownRows().size(), 6);
    QCOMPARE(f.grid.focusedKey().toInt(), 1);
    try {
        std::rethrow_exception(seen);
    } catch (const DataError& e) {
        QCOMPARE(e.message(), QStringLiteral("History is locked"));
    }
}

void TestDataGrid::customConditionDialog() {
    GridConditionDialog dlg(QStringLiteral("Status"), {QStringLiteral("Complete")}, nullptr);
    for (auto op :
         {GridCondition::Op::NotEquals, GridCondition::Op::Contains, GridCondition::Op::Equals}) {
        dlg.setCondition({QString(), op, QStringLiteral("Compl")});
        const GridCondition c = dlg.condition();
        QCOMPARE(c.op, op);
        QCOMPARE(c.value.toString(), QStringLiteral("Compl"));
    }
}

void TestDataGrid::doubleClickByRegion_data() {
    QTest::addColumn<QString>("place");
    QTest::addColumn<int>("region");
    QTest::addColumn<bool>("edits");
    auto row = [](const char* place, GridRegion r, bool edits) {
        QTest::newRow(place) << QString::fromLatin1(place) << int(r) << edits;
    };
    row("cell", GridRegion::Cell, true);
    row("preview", GridRegion::Preview, true);
    row("header", GridRegion::Header, false);
    row("footer", GridRegion::Footer, false);
    row("group row", GridRegion::GroupRow, false);
    row("group panel", GridRegion::GroupPanel, false);
    row("expand button", GridRegion::ExpandButton, false);
    row("detail row", GridRegion::DetailRow, false);
    row("empty space", GridRegion::None, false);
}

void TestDataGrid::doubleClickByRegion() {
    QFETCH(QString, place);
    QFETCH(int, region);
    QFETCH(bool, edits);
    Fixture f({760, 700});
    f.history[1] = {detail("Task added by Ann", 1, "Created")};
    f.grid.setGroupPanelVisible(true);
    f.grid.setGroupFields({QStringLiteral("Feature")});
    f.grid.expandAllGroups();
    f.grid.setPreviewVisible(true);
    f.grid.setRowExpanded(1, true);
    const QHash<QString, QPoint> points{
        {QStringLiteral("cell"), f.grid.cellRect(1, QStringLiteral("Task")).center()},
        {QStringLiteral("preview"), f.grid.previewRect(1).center()},
        {QStringLiteral("header"), f.grid.headerRect(QStringLiteral("Task")).center()},
        {QStringLiteral("footer"), f.grid.footerRect(QStringLiteral("Elapsed Time")).center()},
        {QStringLiteral("group row"), f.grid.groupRowRect({QStringLiteral("Beta")}).center()},
        {QStringLiteral("group panel"), QPoint(200, 5)},
        {QStringLiteral("expand button"), f.grid.expandButtonRect(1).center()},
        {QStringLiteral("detail row"), f.grid.detailRect(1, 0).center()},
        {QStringLiteral("empty space"),
         QPoint(400, f.grid.footerRect(QStringLiteral("Task")).top() - 4)},
    };
    const QPoint at = points.value(place);
    QCOMPARE(int(f.grid.hitTest(at).region), region);
    QSignalSpy edit(&f.grid, &DataGrid::editRequested);
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, at);
    QCOMPARE(edit.count(), edits ? 1 : 0);
    if (edits)
        QCOMPARE(edit.at(0).at(0).toInt(), 1);
}

void TestDataGrid::keyboard() {
    Fixture f;
    f.grid.setFocus();
    QVERIFY(f.grid.setFocusedKey(1));
    QSignalSpy edit(&f.grid, &DataGrid::editRequested);
    QTest::keyClick(&f.grid, Qt::Key_Down);
    QCOMPARE(f.grid.focusedKey().toInt(), 2);
    QTest::keyClick(&f.grid, Qt::Key_Plus);
    QVERIFY(f.grid.isRowExpanded(2));
    QTest::keyClick(&f.grid, Qt::Key_Down); // the detail level is passed over
    QCOMPARE(f.grid.focusedKey().toInt(), 6);
    QTest::keyClick(&f.grid, Qt::Key_Return);
    QCOMPARE(edit.count(), 1);
    QCOMPARE(edit.at(0).at(0).toInt(), 6);
    QTest::keyClick(&f.grid, Qt::Key_End);
    QCOMPARE(f.grid.focusedKey().toInt(), 5);
}

void TestDataGrid::contextMenuSignal() {
    Fixture f;
    QSignalSpy menu(&f.grid, &DataGrid::contextMenuRequested);
    auto send = [&](const QPoint& p) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, p, f.vp()->mapToGlobal(p));
        QCoreApplication::sendEvent(f.vp(), &e);
    };
    send(f.grid.cellRect(4, QStringLiteral("Task")).center());
    send(f.grid.headerRect(QStringLiteral("Task")).center());
    send(QPoint(400, f.grid.footerRect(QStringLiteral("Task")).top() - 4));
    QCOMPARE(menu.count(), 2);
    QCOMPARE(menu.at(0).at(1).value<GridHit>().key.toInt(), 4);
    QCOMPARE(menu.at(1).at(1).value<GridHit>().region, GridRegion::None);
}

void TestDataGrid::layoutRoundTrip() {
    QString saved;
    QList<GridColumnState> states;
    {
        Fixture a;
        a.grid.moveColumn(QStringLiteral("Status"), 0);
        a.grid.setColumnVisible(QStringLiteral("Developer"), false);
        a.grid.setColumnWidth(QStringLiteral("Task"), 150);
        a.grid.setSortOrder({{QStringLiteral("Priority"), Qt::DescendingOrder},
                             {QStringLiteral("Task"), Qt::AscendingOrder}});
        a.grid.setGroupFields({QStringLiteral("Feature")});
        saved = a.grid.saveLayout();
        states = a.grid.columnStates();
    }
    Fixture b;
    QSignalSpy changed(&b.grid, &DataGrid::columnsChanged);
    QVERIFY(b.grid.restoreLayout(saved));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(b.grid.columnStates(), states);
    QCOMPARE(b.grid.columnOrder().first(), QStringLiteral("Status"));
    QVERIFY(!b.grid.isColumnVisible(QStringLiteral("Developer")));
    QCOMPARE(b.grid.columnWidth(QStringLiteral("Task")), 150);
    QCOMPARE(b.grid.groupFields(), QStringList{QStringLiteral("Feature")});
    QCOMPARE(b.grid.sortOrder().first(),
             (GridSortKey{QStringLiteral("Priority"), Qt::DescendingOrder}));
}

void TestDataGrid::corruptLayoutKeepsDesign_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("garbage") << QStringLiteral("}{ not json");
    QTest::newRow("empty") << QString();
    Fixture f;
    f.grid.moveColumn(QStringLiteral("Status"), 0);
    QString dup = f.grid.saveLayout();
    // Two columns claiming the same place.
    dup.replace(QStringLiteral("\"position\":1,"), QStringLiteral("\"position\":0,"));
    QTest::newRow("duplicate position") << dup;
}

void TestDataGrid::corruptLayoutKeepsDesign() {
    QFETCH(QString, text);
    Fixture f;
    const auto designed = f.grid.columnStates();
    f.grid.setColumnWidth(QStringLiteral("Task"), 33);
    const auto before = f.grid.columnStates();
    QVERIFY(before != designed);
    QVERIFY(!f.grid.restoreLayout(text));
    QCOMPARE(f.grid.columnStates(), before);
}

void TestDataGrid::columnChooser() {
    Fixture f;
    f.grid.showColumnChooser();
    auto* list = f.grid.columnChooser()->list();
    QCOMPARE(list->count(), 0);
    // Dragging a header out of the grid hides the column into the chooser.
    const QPoint from = f.grid.headerRect(QStringLiteral("Status")).center() - QPoint(10, 0);
    QTest::mousePress(f.vp(), Qt::LeftButton, {}, from);
    QTest::mouseMove(f.vp(), from + QPoint(0, 40));
    QTest::mouseMove(f.vp(), from + QPoint(0, 120));
    QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, from + QPoint(0, 120));
    QVERIFY(!f.grid.isColumnVisible(QStringLiteral("Status")));
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Status"));
    QVERIFY(!f.grid.shownColumns().contains(
        GridShownColumn{QStringLiteral("Status"), QStringLiteral("Status")}));
    emit list->itemDoubleClicked(list->item(0));
    QVERIFY(f.grid.isColumnVisible(QStringLiteral("Status")));
    QCOMPARE(list->count(), 0);
}

void TestDataGrid::renderedColours() {
    Fixture f;
    QVERIFY(f.grid.setFocusedKey(6)); // third row: rows 1 and 2 keep their colours
    auto pixel = [&](const QImage& img, const QRect& r) {
        return img.pixelColor(r.left() + 1, r.top() + 1).name();
    };
    QImage img = f.vp()->grab().toImage();
    QCOMPARE(pixel(img, f.grid.headerRect(QStringLiteral("Task"))), QStringLiteral("#9db9c8"));
    QCOMPARE(pixel(img, f.grid.cellRect(1, QStringLiteral("Task"))), QStringLiteral("#9db9c8"));
    QCOMPARE(pixel(img, f.grid.cellRect(2, QStringLiteral("Task"))), QStringLiteral("#cedce3"));
    QCOMPARE(pixel(img, f.grid.cellRect(6, QStringLiteral("Status"))), QStringLiteral("#558097"));
    QCOMPARE(pixel(img, f.grid.footerRect(QStringLiteral("Task"))), QStringLiteral("#9db9c8"));

    // Priority pictures: red for 1, blue for 4, nothing for 3.
    auto count = [&](const QRect& r, const QColor& c) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += img.pixelColor(x, y) == c;
        return n;
    };
    const QString prio = QStringLiteral("Priority");
    QVERIFY(count(f.grid.cellRect(1, prio), PriorityIcons::highColor()) > 10);
    QVERIFY(count(f.grid.cellRect(5, prio), PriorityIcons::lowColor()) > 10);
    QCOMPARE(count(f.grid.cellRect(2, prio), PriorityIcons::highColor()) +
                 count(f.grid.cellRect(2, prio), PriorityIcons::lowColor()),
             0);

    // Another scheme shows at once.
    GridStyleSheet other = slate();
    other.styles[size_t(GridElement::Header)].background = QColor(0x12, 0x34, 0x56);
    f.grid.setColorScheme(other);
    img = f.vp()->grab().toImage();
    QCOMPARE(pixel(img, f.grid.headerRect(QStringLiteral("Task"))), QStringLiteral("#123456"));
}

void TestDataGrid::paintsOnlyOneScreenful() {
    auto small = GridBenchmark::makeModel(100);
    auto large = GridBenchmark::makeModel(100000);
    DataGrid a, b;
    GridBenchmark::bind(a, small.get());
    GridBenchmark::bind(b, large.get());
    a.resize(700, 500);
    b.resize(700, 500);
    b.verticalScrollBar()->setValue(b.verticalScrollBar()->maximum() / 2);
    QImage img;
    const int paintedSmall = GridBenchmark::paintScreenful(a, img);
    const int paintedLarge = GridBenchmark::paintScreenful(b, img);
    QVERIFY(paintedSmall > 5);
    QVERIFY(paintedSmall < 100);
    QVERIFY(std::abs(paintedLarge - paintedSmall) <= 1);
}

QTEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
