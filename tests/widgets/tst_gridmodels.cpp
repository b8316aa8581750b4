// The grid's models and its layout format, without any widget.
#include "widgets/GridGroupModel.h"
#include "widgets/GridLayoutIO.h"
#include "widgets/GridProxyModel.h"
#include "widgets/GridTableModel.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {
const QStringList kFields{QStringLiteral("Task ID"), QStringLiteral("Feature"),
                          QStringLiteral("Developer"), QStringLiteral("Status"),
                          QStringLiteral("Elapsed Time")};

std::unique_ptr<GridTableModel> makeTasks() {
    auto m = std::make_unique<GridTableModel>(kFields);
    m->setRows({
        {1, QStringLiteral("banana"), QStringLiteral("Ann"), QStringLiteral("Testing"), 2.5},
        {2, QStringLiteral("Apple"), QStringLiteral("Bob"), QStringLiteral("Complete"), 1.0},
        {3, QStringLiteral("cherry"), QStringLiteral("Ann"), QStringLiteral("Complete"), 4.0},
        {4, QStringLiteral("apple"), QStringLiteral("Ann"), QStringLiteral("Not Started"), 0.5},
        {5, QStringLiteral("Banana"), QVariant(), QStringLiteral("Testing"), 3.0},
    });
    return m;
}

QList<int> column(const QAbstractItemModel& m, int c, const QModelIndex& parent = {}) {
    QList<int> out;
    for (int r = 0; r < m.rowCount(parent); ++r)
        out << m.data(m.index(r, c, parent)).toInt();
    return out;
}
} // namespace

class TestGridModels : public QObject {
    Q_OBJECT
private slots:
    void conditions_data();
    void conditions();
    void filterAndSort();
    void grouping();
    void layoutRoundTrip();
    void corruptLayout_data();
    void corruptLayout();
};

void TestGridModels::conditions_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QVariant>("wanted");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("holds");
    using Op = GridCondition::Op;
    QTest::newRow("text equals") << int(Op::Equals) << QVariant(QStringLiteral("Ann"))
                                 << QVariant(QStringLiteral("Ann")) << true;
    QTest::newRow("text equals is exact") << int(Op::Equals) << QVariant(QStringLiteral("Ann"))
                                          << QVariant(QStringLiteral("Anna")) << false;
    QTest::newRow("number equals text of it")
        << int(Op::Equals) << QVariant(QStringLiteral("2.5")) << QVariant(2.5) << true;
    QTest::newRow("number not equal") << int(Op::NotEquals) << QVariant(3) << QVariant(2.5) << true;
    QTest::newRow("empty is not Complete")
        << int(Op::NotEquals) << QVariant(QStringLiteral("Complete")) << QVariant() << true;
    QTest::newRow("empty does not equal a name")
        << int(Op::Equals) << QVariant(QStringLiteral("Ann")) << QVariant() << false;
    QTest::newRow("contains ignores case") << int(Op::Contains) << QVariant(QStringLiteral("DEV"))
                                           << QVariant(QStringLiteral("In Development")) << true;
    QTest::newRow("contains misses") << int(Op::Contains) << QVariant(QStringLiteral("xyz"))
                                     << QVariant(QStringLiteral("Testing")) << false;
}

void TestGridModels::conditions() {
    QFETCH(int, op);
    QFETCH(QVariant, wanted);
    QFETCH(QVariant, value);
    QFETCH(bool, holds);
    GridCondition c{QStringLiteral("F"), static_cast<GridCondition::Op>(op), wanted};
    QCOMPARE(gridConditionHolds(c, value), holds);
}

void TestGridModels::filterAndSort() {
    auto source = makeTasks();
    QAbstractItemModelTester sourceTester(source.get(),
                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
    GridProxyModel proxy;
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    proxy.setSourceModel(source.get());

    // Sorting by text follows the locale ignoring case; ties keep the source order.
    proxy.setSortKeys({{QStringLiteral("Feature"), Qt::AscendingOrder}});
    QCOMPARE(column(proxy, 0), (QList<int>{2, 4, 1, 5, 3}));
    proxy.setSortKeys({{QStringLiteral("Developer"), Qt::AscendingOrder},
                       {QStringLiteral("Elapsed Time"), Qt::DescendingOrder}});
    QCOMPARE(column(proxy, 0), (QList<int>{5, 3, 1, 4, 2})); // empty developer first

    // AND of conditions.
    GridFilter f;
    f.conditions = {
        {QStringLiteral("Developer"), GridCondition::Op::Equals, QStringLiteral("Ann")},
        {QStringLiteral("Status"), GridCondition::Op::NotEquals, QStringLiteral("Complete")}};
    proxy.setGridFilter(f);
    QCOMPARE(column(proxy, 0), (QList<int>{1, 4}));
    proxy.setGridFilterEnabled(false);
    QCOMPARE(proxy.rowCount(), 5);
    proxy.setGridFilterEnabled(true);

    // A change in place is re-filtered and re-sorted.
    source->setValue(4, QStringLiteral("Developer"), QStringLiteral("Ann"));
    QCOMPARE(column(proxy, 0), (QList<int>{5, 1, 4}));
    source->setValue(4, QStringLiteral("Developer"), QVariant());

    // A re-read keeps filter and order.
    source->setRows(source->rows() +
                    QList<QVariantList>{{6, QStringLiteral("a"), QStringLiteral("Ann"),
                                         QStringLiteral("Testing"), 9.0}});
    QCOMPARE(column(proxy, 0), (QList<int>{6, 1, 4}));

    // A condition on an unknown field lets nothing through.
    proxy.setGridFilter({{{QStringLiteral("Nope"), GridCondition::Op::Equals, 1}}});
    QCOMPARE(proxy.rowCount(), 0);
}

void TestGridModels::grouping() {
    auto source = makeTasks();
    GridProxyModel proxy;
    proxy.setSourceModel(source.get());
    GridGroupModel groups;
    QAbstractItemModelTester tester(&groups,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    groups.setSourceModel(&proxy);
    groups.setSumColumns({4});
    QCOMPARE(groups.rowCount(), 5); // no grouping: a flat list

    groups.setGrouping({{QStringLiteral("Developer"), Qt::DescendingOrder},
                        {QStringLiteral("Status"), Qt::AscendingOrder}});
    QCOMPARE(groups.rowCount(), 3); // Bob, Ann, (empty)
    const QModelIndex ann = groups.index(1, 0);
    QVERIFY(groups.isGroup(ann));
    QCOMPARE(groups.data(ann, GridRole::GroupValue).toString(), QStringLiteral("Ann"));
    QCOMPARE(groups.data(ann, GridRole::GroupCount).toInt(), 3);
    QCOMPARE(groups.data(ann, GridRole::GroupField).toString(), QStringLiteral("Developer"));
    QCOMPARE(groups.groupSum(ann, 4), 7.0);
    QCOMPARE(groups.rowCount(ann), 3); // Complete, Not Started, Testing
    const QModelIndex annTesting = groups.index(2, 0, ann);
    QCOMPARE(groups.groupPath(annTesting),
             (QVariantList{QStringLiteral("Ann"), QStringLiteral("Testing")}));
    QCOMPARE(column(groups, 0, annTesting), (QList<int>{1}));
    QCOMPARE(groups.groupSum(annTesting, 4), 2.5);

    // The tree follows the filter.
    proxy.setGridFilter(
        {{{QStringLiteral("Status"), GridCondition::Op::NotEquals, QStringLiteral("Complete")}}});
    QCOMPARE(groups.rowCount(), 2);
    QCOMPARE(groups.groupSum(groups.index(0, 0), 4), 3.0);
}

void TestGridModels::layoutRoundTrip() {
    const QList<GridColumnState> states{
        {QStringLiteral("Feature"), 1, true, QStringLiteral("Feature"), Qt::DescendingOrder, 0, -1,
         101},
        {QStringLiteral("Task"), 0, false, QStringLiteral("Job \"x\""), Qt::AscendingOrder, -1, 0,
         128},
        {QStringLiteral("Priority"), 2, true, QStringLiteral("!"), Qt::AscendingOrder, 1, 1, 49},
    };
    const auto back = GridLayoutIO::load(GridLayoutIO::save(states));
    QVERIFY(back.has_value());
    QCOMPARE(*back, states);
}

void TestGridModels::corruptLayout_data() {
    QTest::addColumn<QString>("text");
    const QString good =
        GridLayoutIO::save({{QStringLiteral("Feature"), 0, true, QStringLiteral("Feature"),
                             Qt::AscendingOrder, -1, -1, 90}});
    QVERIFY(GridLayoutIO::load(good).has_value());
    QTest::newRow("empty") << QString();
    QTest::newRow("garbage") << QStringLiteral("\x01\x02<xml>not a layout");
    QTest::newRow("cut short") << good.left(good.size() / 2);
    QTest::newRow("other version")
        << QString(good).replace(QStringLiteral("\"version\":1"), QStringLiteral("\"version\":2"));
    QTest::newRow("other format") << QString(good).replace(QStringLiteral("PelloranGridLayout"),
                                                           QStringLiteral("Other"));
    QTest::newRow("bad width") << QString(good).replace(QStringLiteral("\"width\":90"),
                                                        QStringLiteral("\"width\":-5"));
    QTest::newRow("bad sort") << QString(good).replace(QStringLiteral("\"sort\":\"none\""),
                                                       QStringLiteral("\"sort\":\"up\""));
    QTest::newRow("no field") << QString(good).replace(QStringLiteral("\"field\":\"Feature\","),
                                                       QString());
}

void TestGridModels::corruptLayout() {
    QFETCH(QString, text);
    QVERIFY(!GridLayoutIO::load(text).has_value());
}

QTEST_GUILESS_MAIN(TestGridModels)
#include "tst_gridmodels.moc"
