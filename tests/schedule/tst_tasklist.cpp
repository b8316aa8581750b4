// The task list frame on a small schedule: columns, sums, the history level,
// the focus kept in step with the schedule query, editing requests, the
// filter of the user's incomplete tasks, the context menu, and its models
// under QAbstractItemModelTester while the schedule is read again.
#include "ScheduleFixture.h"
#include "schedule/ScheduleModel.h"
#include "schedule/TaskListFrame.h"
#include "widgets/DataGrid.h"
#include "widgets/GridGroupModel.h"
#include "widgets/GridProxyModel.h"
#include "widgets/GridTableModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {
const QString kTaskID = QStringLiteral("Task ID");

// A grid's filter/sort and group models (children of the grid).
struct GridModels {
    GridProxyModel* proxy = nullptr;
    GridGroupModel* groups = nullptr;
    explicit GridModels(DataGrid* grid)
        : proxy(grid->findChild<GridProxyModel*>(QString(), Qt::FindDirectChildrenOnly))
        , groups(grid->findChild<GridGroupModel*>(QString(), Qt::FindDirectChildrenOnly)) {}
};

// Task IDs of every data row in the group tree, collapsed groups included.
void collectKeys(const GridModels& m, const QModelIndex& parent, QList<int>& out) {
    const int keyColumn = gridFieldColumn(m.proxy, kTaskID);
    for (int r = 0; r < m.groups->rowCount(parent); ++r) {
        const QModelIndex i = m.groups->index(r, 0, parent);
        if (m.groups->isGroup(i)) {
            collectKeys(m, i, out);
            continue;
        }
        out << m.proxy->data(m.proxy->index(m.groups->sourceRow(i), keyColumn)).toInt();
    }
}
QList<int> keysInTree(const GridModels& m) {
    QList<int> keys;
    collectKeys(m, {}, keys);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// A second grid on a plain table that is refilled from the schedule query
// after each read, as a re-read fills one.
struct ScheduleMirror {
    GridTableModel table;
    DataGrid grid; // after the table: it goes first

    explicit ScheduleMirror(DbQuery* q)
        : table(fieldsOf(q)) {
        QList<GridColumn> columns;
        for (const QString& f : table.fields()) {
            GridColumn c;
            c.field = f;
            c.caption = f;
            columns << c;
        }
        grid.setColumns(columns);
        grid.setKeyField(kTaskID);
        grid.setSourceModel(&table);
        grid.resize(900, 400);
        grid.show();
        refill(q);
        QObject::connect(q, &DbDataset::afterOpen, &grid, [this, q] { refill(q); });
        QObject::connect(q, &DbDataset::afterClose, &grid, [this, q] { refill(q); });
    }
    static QStringList fieldsOf(DbQuery* q) {
        QStringList fields;
        for (int c = 0; c < q->fieldCount(); ++c)
            fields << q->field(c).name();
        return fields;
    }
    void refill(DbQuery* q) {
        QList<QVariantList> rows;
        for (int r = 0; q->active() && r < q->rowCount(); ++r) {
            QVariantList row;
            for (int c = 0; c < q->fieldCount(); ++c)
                row << q->valueAt(r, c);
            rows << row;
        }
        table.setRows(std::move(rows));
    }
};
} // namespace

// Checks both grids after a step and ends the test at the first step that fails.
#define CHECK_HOLDS_SCHEDULE(step)                                                                 \
    do {                                                                                           \
        checkHoldsSchedule(mirror, filtered);                                                      \
        if (QTest::currentTestFailed()) {                                                          \
            qWarning("failed after: %s", step);                                                    \
            return;                                                                                \
        }                                                                                          \
    } while (false)

class TestTaskList : public QObject {
    Q_OBJECT

    std::unique_ptr<ScheduleFixture> fx_;
    std::unique_ptr<TfraTaskList> frame_;

    QList<int> shownKeys() const {
        QList<int> out;
        for (const auto& r : frame_->gridSchedule->shownRows())
            if (!r.isGroup)
                out << r.key.toInt();
        return out;
    }
    QWidget* viewport() const { return frame_->gridSchedule->viewport(); }

    // Task IDs the schedule query holds that pass the filter, when it is on.
    QList<int> expectedKeys(bool filtered) const {
        DbQuery* q = fx_->projects->sqlSchedule;
        QList<int> keys;
        if (!q->active())
            return keys;
        const int id = q->findField(kTaskID)->index();
        const int dev = q->findField(QStringLiteral("Developer"))->index();
        const int status = q->findField(QStringLiteral("Status"))->index();
        for (int r = 0; r < q->rowCount(); ++r) {
            if (filtered && (q->valueAt(r, dev).toString() != QLatin1String("Mia Example") ||
                             q->valueAt(r, status).toString() == QLatin1String("Complete")))
                continue;
            keys << q->valueAt(r, id).toInt();
        }
        std::sort(keys.begin(), keys.end());
        return keys;
    }

    // The frame's grid and the mirror hold exactly the query's rows.
    void checkHoldsSchedule(ScheduleMirror& mirror, bool filtered) {
        QApplication::processEvents();
        DbQuery* q = fx_->projects->sqlSchedule;
        auto* model = frame_->findChild<ScheduleModel*>();
        const int rows = q->active() ? q->rowCount() : 0;
        QCOMPARE(model->rowCount(), rows);
        QCOMPARE(model->columnCount(), q->active() ? q->fieldCount() : 0);
        QCOMPARE(mirror.table.rowCount(), rows);
        const QList<int> want = expectedKeys(filtered);
        QCOMPARE(keysInTree(GridModels(frame_->gridSchedule)), want);
        QCOMPARE(keysInTree(GridModels(&mirror.grid)), want);
    }

private slots:
    void init() {
        fx_ = std::make_unique<ScheduleFixture>();
        frame_ = std::make_unique<TfraTaskList>(*fx_->projects);
        frame_->resize(900, 400);
        frame_->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame_.get()));
    }
    void cleanup() {
        frame_.reset();
        QVERIFY2(fx_->errors.isEmpty(), qPrintable(fx_->errors.join(u'\n')));
        fx_.reset();
    }

    void columnsAndInitialState() {
        DataGrid* g = frame_->gridSchedule;
        QStringList captions, fields;
        for (const auto& c : g->shownColumns()) {
            captions << c.caption;
            fields << c.field;
        }
        QCOMPARE(captions, (QStringList{"Feature", "Task", "!", "Cur Est", "Elapsed", "Remain",
                                        "Orig Est", "Status", "Developer"}));
        QList<int> widths;
        for (const QString& f : fields)
            widths << g->columnWidth(f);
        QCOMPARE(widths, (QList<int>{101, 128, 49, 62, 65, 63, 72, 97, 72}));
        // Feature, then priority; the query's own order agrees.
        QCOMPARE(shownKeys(),
                 (QList<int>{fx_->design, fx_->build, fx_->review, fx_->invoice, fx_->docs}));
        const auto first = g->shownRows().first();
        QCOMPARE(first.texts.at(2), QString()); // the "!" column shows only an icon
        QCOMPARE(first.texts.at(5), QStringLiteral("4"));
        QCOMPARE(g->shownRows().at(1).texts.at(5), QStringLiteral("-1"));
        QCOMPARE(first.texts.at(8), QStringLiteral("Mia Example"));
        QVERIFY(!frame_->notesVisible());
        QVERIFY(!frame_->groupPanelVisible());
        QCOMPARE(frame_->colorScheme().name, QStringLiteral("GridTableViewStyleSheetSlate"));
        QCOMPARE(fx_->currentTaskID(), fx_->design);
        QCOMPARE(frame_->focusedTaskID(), fx_->design);
        // The notes are a line under the row, shown on demand.
        frame_->setNotesVisible(true);
        QVERIFY(!g->previewRect(fx_->design).isEmpty());
        QVERIFY(g->previewRect(fx_->build).isEmpty());
    }

    void footerSums_data() {
        QTest::addColumn<bool>("mine");
        QTest::addColumn<QString>("field");
        QTest::addColumn<double>("sum");
        QTest::newRow("all: orig") << false << "Original Estimate" << 19.0;
        QTest::newRow("all: cur") << false << "Current Estimate" << 21.0;
        QTest::newRow("all: elapsed") << false << "Elapsed Time" << 13.5;
        QTest::newRow("all: remain, a negative one included") << false << "Time Remaining" << 7.5;
        QTest::newRow("mine: orig") << true << "Original Estimate" << 8.0;
        QTest::newRow("mine: cur") << true << "Current Estimate" << 10.0;
        QTest::newRow("mine: elapsed") << true << "Elapsed Time" << 3.5;
        QTest::newRow("mine: remain") << true << "Time Remaining" << 6.5;
    }
    void footerSums() {
        QFETCH(bool, mine);
        QFETCH(QString, field);
        QFETCH(double, sum);
        if (mine)
            frame_->setMyIncompleteTasksFilter(QStringLiteral("Mia Example"));
        QCOMPARE(frame_->gridSchedule->footerSum(field), sum);
    }

    void focusFollowsBothWays() {
        DataGrid* g = frame_->gridSchedule;
        g->setFocus();
        QTest::keyClick(g, Qt::Key_Down); // grid -> query
        QCOMPARE(frame_->focusedTaskID(), fx_->build);
        QCOMPARE(fx_->currentTaskID(), fx_->build);
        QVERIFY(fx_->projects->sqlSchedule->locate(QStringLiteral("Task ID"), fx_->docs));
        QCOMPARE(frame_->focusedTaskID(), fx_->docs); // query -> grid
    }

    void focusAndExpansionKeptAcrossChangeTask() {
        QVERIFY(fx_->projects->sqlSchedule->locate(QStringLiteral("Task ID"), fx_->invoice));
        frame_->setFocusedTaskExpanded(true);
        for (double hours : {2.5, 3.5}) {
            fx_->projects->ChangeTask(QStringLiteral("Elapsed Time"), hours);
            QCOMPARE(frame_->focusedTaskID(), fx_->invoice);
            QCOMPARE(fx_->currentTaskID(), fx_->invoice);
            QVERIFY(frame_->focusedTaskExpanded());
        }
        const auto rows = frame_->gridSchedule->detailRows(fx_->invoice);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).preview, QStringLiteral("Elapsed Time changed from 2.5 to 3.5"));
        QCOMPARE(frame_->gridSchedule->footerSum(QStringLiteral("Elapsed Time")), 15.5);
    }

    // What a re-read of the schedule must leave alone, whoever made it: ours
    // after a quick action, or another copy's change read by the live refresh.
    void rereadKeepsTheView_data() {
        QTest::addColumn<bool>("ours");
        QTest::newRow("ours, after a quick action") << true;
        QTest::newRow("another copy's, read by the live refresh") << false;
    }
    void rereadKeepsTheView() {
        QFETCH(bool, ours);
        // Two long features, so the list scrolls.
        QList<int> delta;
        for (const char* name : {"Cargo", "Delta"}) {
            const int feature = fx_->addFeature(fx_->apollo, QLatin1String(name));
            for (int i = 0; i < 30; ++i) {
                const int id =
                    fx_->addTask(feature, fx_->me, "Step", 1 + i % 5, 1, 1, 0, "Testing");
                if (name[0] == 'D')
                    delta << id;
            }
        }
        fx_->projects->rereadAll();
        DataGrid* g = frame_->gridSchedule;
        g->setGroupFields({TfraTaskList::kFeature});
        for (const char* feature : {"Accounts", "Billing", "Cargo", "Delta"})
            g->setGroupExpanded({QLatin1String(feature)}, true);
        // The user closed the first group again; the others stay open.
        g->setGroupExpanded({QStringLiteral("Accounts")}, false);
        const int focused = delta.at(12);
        QVERIFY(g->setFocusedKey(focused));
        frame_->setFocusedTaskExpanded(true);
        // The focused row in the middle of the view, the view well down the list.
        QScrollBar* bar = g->verticalScrollBar();
        bar->setValue(bar->value() + g->cellRect(focused, TfraTaskList::kTask).top() -
                      g->viewport()->height() / 2);
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0 && scrolled < bar->maximum());
        const QRect shownAt = g->cellRect(focused, TfraTaskList::kTask);
        QVERIFY(!shownAt.isEmpty());
        QCOMPARE(fx_->currentTaskID(), focused);

        QSignalSpy focusMoves(g, &DataGrid::focusedKeyChanged);
        QSignalSpy scrolls(bar, &QScrollBar::valueChanged);
        QSignalSpy rereads(g->sourceModel(), &QAbstractItemModel::modelReset);
        if (ours) {
            fx_->projects->ChangeTask(TfraTaskList::kElapsedTime, 1.0);
        } else {
            DbConnection other(fx_->globals->dataFolder());
            other.execute(QStringLiteral("update tasks set \"Elapsed Time\" = 1 where "
                                         "\"Task ID\" = ?"),
                          {focused});
            fx_->projects->rereadAll();
        }
        QCOMPARE(rereads.count(), 1); // one step: never an empty list between
        QCOMPARE(g->focusedValue(TfraTaskList::kElapsedTime).toDouble(), 1.0);
        QCOMPARE(focusMoves.count(), 0); // not even for a moment
        QCOMPARE(scrolls.count(), 0);
        QCOMPARE(bar->value(), scrolled);
        QCOMPARE(g->cellRect(focused, TfraTaskList::kTask), shownAt);
        QCOMPARE(frame_->focusedTaskID(), focused);
        QCOMPARE(fx_->currentTaskID(), focused);
        QVERIFY(frame_->focusedTaskExpanded());
        QVERIFY(!g->isGroupExpanded({QStringLiteral("Accounts")}));
        for (const char* feature : {"Billing", "Cargo", "Delta"})
            QVERIFY(g->isGroupExpanded({QLatin1String(feature)}));
        QCOMPARE(g->sortOrder(),
                 (QList<GridSortKey>{{TfraTaskList::kFeature, Qt::AscendingOrder},
                                     {TfraTaskList::kPriority, Qt::AscendingOrder}}));
    }

    // Another copy deleted the focused task: the focus goes to the row that
    // followed it in the list as the user sorted it, and the schedule query
    // follows the grid there.
    void focusedTaskDeletedFocusesItsNeighbour_data() {
        QTest::addColumn<QString>("sortedBy");
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QString>("neighbour");
        QTest::newRow("feature and priority") << "Feature"
                                              << "invoice"
                                              << "docs";
        QTest::newRow("task name") << "Task"
                                   << "docs"
                                   << "invoice";
        QTest::newRow("the last row: the one before") << "Task"
                                                      << "review"
                                                      << "invoice";
    }
    void focusedTaskDeletedFocusesItsNeighbour() {
        QFETCH(QString, sortedBy);
        QFETCH(QString, deleted);
        QFETCH(QString, neighbour);
        const QHash<QString, int> ids{{"design", fx_->design},
                                      {"build", fx_->build},
                                      {"review", fx_->review},
                                      {"invoice", fx_->invoice},
                                      {"docs", fx_->docs}};
        DataGrid* g = frame_->gridSchedule;
        if (sortedBy == QLatin1String("Task"))
            g->setSortOrder({{TfraTaskList::kTask, Qt::AscendingOrder}});
        QVERIFY(g->setFocusedKey(ids[deleted]));
        QSignalSpy focusMoves(g, &DataGrid::focusedKeyChanged);
        DbConnection other(fx_->globals->dataFolder());
        other.execute(QStringLiteral("delete from tasks where \"Task ID\" = ?"), {ids[deleted]});
        fx_->projects->rereadAll();
        QVERIFY(!shownKeys().contains(ids[deleted]));
        QCOMPARE(frame_->focusedTaskID(), ids[neighbour]);
        QCOMPARE(fx_->currentTaskID(), ids[neighbour]);
        QCOMPARE(focusMoves.count(), 1);
    }

    void historyOldestFirst_data() {
        QTest::addColumn<QStringList>("written"); // "HH:mm|action|change", in the order written
        QTest::addColumn<QStringList>("shown");   // "action@HH:mm|preview", top to bottom
        QTest::newRow("by time")
            << QStringList{"11:00|Modified by Mia Example|Status changed\r\nsecond line\r\n",
                           "09:00|Task added by Mia Example|",
                           "10:00|Modified by Olaf Other|Priority changed from 2 to 1\r\n"}
            << QStringList{"Task added by Mia Example@09:00|",
                           "Modified by Olaf Other@10:00|Priority changed from 2 to 1",
                           "Modified by Mia Example@11:00|Status changed\nsecond line"};
        QTest::newRow("same time: in the order written")
            << QStringList{"10:00|Modified by Zed|Priority changed from 3 to 1",
                           "09:00|Task added by Mia Example|",
                           "10:00|Modified by Ann|Status changed from Testing to Complete"}
            << QStringList{"Task added by Mia Example@09:00|",
                           "Modified by Zed@10:00|Priority changed from 3 to 1",
                           "Modified by Ann@10:00|Status changed from Testing to Complete"};
    }
    void historyOldestFirst() {
        QFETCH(QStringList, written);
        QFETCH(QStringList, shown);
        const QDate day(2024, 5, 1);
        fx_->addHistory(fx_->build, "Modified by Olaf Other", "elsewhere",
                        QDateTime(day, QTime(8, 0)));
        for (const QString& w : written) {
            const QStringList parts = w.split(u'|');
            fx_->addHistory(fx_->design, parts.at(1), parts.at(2),
                            QDateTime(day, QTime::fromString(parts.at(0), u"HH:mm")));
        }
        frame_->gridSchedule->setRowExpanded(fx_->design, true);
        const auto rows = frame_->gridSchedule->detailRows(fx_->design);
        QStringList seen;
        for (const auto& r : rows)
            seen << r.values.at(0).toString() + u'@' +
                        r.values.at(1).toDateTime().toString(u"HH:mm") + u'|' + r.preview;
        QCOMPARE(seen, shown);
        QVERIFY(frame_->gridSchedule->detailRows(fx_->build).isEmpty()); // not expanded
        QCOMPARE(frame_->loadHistory(fx_->build).size(), 1);
    }

    void editRequests_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("edits");
        QTest::newRow("cell") << "cell" << true;
        QTest::newRow("notes line") << "preview" << true;
        QTest::newRow("header") << "header" << false;
        QTest::newRow("footer") << "footer" << false;
        QTest::newRow("enter") << "enter" << true;
    }
    void editRequests() {
        QFETCH(QString, where);
        QFETCH(bool, edits);
        DataGrid* g = frame_->gridSchedule;
        frame_->setNotesVisible(true);
        QSignalSpy spy(frame_.get(), &TfraTaskList::editTaskRequested);
        const int key = fx_->invoice;
        if (where == QLatin1String("enter")) {
            QVERIFY(g->setFocusedKey(key));
            g->setFocus();
            QTest::keyClick(g, Qt::Key_Return);
        } else {
            const QRect r = where == QLatin1String("cell")      ? g->cellRect(key, "Task")
                            : where == QLatin1String("preview") ? g->previewRect(fx_->design)
                            : where == QLatin1String("header")  ? g->headerRect("Task")
                                                                : g->footerRect("Task");
            QVERIFY(!r.isEmpty());
            QTest::mouseDClick(viewport(), Qt::LeftButton, {}, r.center());
        }
        QCOMPARE(spy.size(), edits ? 1 : 0);
        if (edits) {
            const int want = where == QLatin1String("preview") ? fx_->design : key;
            QCOMPARE(spy.first().first().toInt(), want);
            QCOMPARE(fx_->currentTaskID(), want); // the editor gets the query's current task
        }
    }

    void myIncompleteTasksFilter() {
        frame_->setMyIncompleteTasksFilter(QStringLiteral("Mia Example"));
        QCOMPARE(shownKeys(), (QList<int>{fx_->design, fx_->invoice}));
        const GridFilter f = frame_->gridSchedule->filter();
        QCOMPARE(f.conditions.size(), 2);
        QCOMPARE(f.conditions.at(0).field, QStringLiteral("Developer"));
        QCOMPARE(f.conditions.at(1).op, GridCondition::Op::NotEquals);
        QVERIFY(frame_->gridSchedule->filterText().contains(QStringLiteral("Mia Example")));
        // The filter stays when the project changes.
        QVERIFY(fx_->projects->dbProjects->locate(QStringLiteral("Project ID"), fx_->zephyr));
        QCOMPARE(shownKeys(), (QList<int>{fx_->remote}));
        QCOMPARE(fx_->currentTaskID(), fx_->remote);
        // A user with nothing left to do sees an empty list and zero sums.
        frame_->setMyIncompleteTasksFilter(QStringLiteral("Olaf Other"));
        QVERIFY(shownKeys().isEmpty());
        QVERIFY(!frame_->hasFocusedTask());
        QCOMPARE(frame_->gridSchedule->footerSum(QStringLiteral("Current Estimate")), 0.0);
    }

    void contextMenuOverRowsAndEmptySpace() {
        QAction add(QStringLiteral("&Add Task...")), del(QStringLiteral("&Delete Task"));
        frame_->setContextActions({&add, nullptr, &del});
        QCOMPARE(frame_->popGrid->actions().size(), 3);
        QVERIFY(frame_->popGrid->actions().at(1)->isSeparator());
        DataGrid* g = frame_->gridSchedule;
        for (const QPoint& at : {g->cellRect(fx_->invoice, "Status").center(),
                                 QPoint(20, viewport()->height() - 40)}) {
            QContextMenuEvent ev(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at));
            QApplication::sendEvent(viewport(), &ev);
            QTRY_VERIFY(frame_->popGrid->isVisible());
            frame_->popGrid->close();
        }
    }

    void modelsHoldTogetherWhileTheScheduleIsReread_data() {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<bool>("filtered");
        QTest::newRow("flat") << QStringList() << false;
        QTest::newRow("by feature") << QStringList{"Feature"} << false;
        QTest::newRow("by feature and developer") << QStringList{"Feature", "Developer"} << false;
        QTest::newRow("my incomplete tasks") << QStringList() << true;
        QTest::newRow("by status, my incomplete tasks") << QStringList{"Status"} << true;
    }
    void modelsHoldTogetherWhileTheScheduleIsReread() {
        QFETCH(QStringList, groups);
        QFETCH(bool, filtered);
        TdmProjects& projects = *fx_->projects;
        DbQuery* q = projects.sqlSchedule;
        DataGrid* grid = frame_->gridSchedule;
        ScheduleMirror mirror(q);
        // Grouping is set before the testers watch and changed again while
        // they do; the filter and the order are set while they watch.
        grid->setGroupFields(groups);
        mirror.grid.setGroupFields(groups);

        std::vector<std::unique_ptr<QAbstractItemModelTester>> testers; // go before the models
        for (QAbstractItemModel* m : std::initializer_list<QAbstractItemModel*>{
                 frame_->findChild<ScheduleModel*>(), GridModels(grid).proxy,
                 GridModels(grid).groups, &mirror.table, GridModels(&mirror.grid).proxy,
                 GridModels(&mirror.grid).groups}) {
            QVERIFY(m);
            testers.push_back(std::make_unique<QAbstractItemModelTester>(
                m, QAbstractItemModelTester::FailureReportingMode::QtTest));
        }
        if (filtered) {
            frame_->setMyIncompleteTasksFilter(QStringLiteral("Mia Example"));
            mirror.grid.setFilter(grid->filter());
            mirror.grid.setFilterEnabled(true);
        }
        // Sorted on a field the changes below touch, so a re-read moves rows.
        const QList<GridSortKey> order{{QStringLiteral("Status"), Qt::DescendingOrder},
                                       {QStringLiteral("Task"), Qt::AscendingOrder}};
        grid->setSortOrder(order);
        mirror.grid.setSortOrder(order);
        CHECK_HOLDS_SCHEDULE("set up");

        // A task added elsewhere appears at the next read.
        const int added = fx_->addTask(fx_->billing, fx_->me, "Added", 2, 1, 1, 0, "Not Started");
        projects.reopenScheduleAt(added);
        CHECK_HOLDS_SCHEDULE("task added");
        QVERIFY(expectedKeys(false).contains(added));

        // A change through the data module re-reads at the changed task.
        QVERIFY(q->locate(kTaskID, fx_->design));
        projects.ChangeTask(QStringLiteral("Status"), QStringLiteral("Complete"));
        CHECK_HOLDS_SCHEDULE("task completed");
        QVERIFY(q->locate(kTaskID, fx_->docs));
        projects.ChangeTask(QStringLiteral("Developer ID"), fx_->me);
        CHECK_HOLDS_SCHEDULE("task taken over");

        projects.DeleteTask(fx_->build);
        CHECK_HOLDS_SCHEDULE("task deleted");
        QVERIFY(!expectedKeys(false).contains(fx_->build));

        // Another project's schedule, then back.
        QVERIFY(projects.dbProjects->locate(QStringLiteral("Project ID"), fx_->zephyr));
        CHECK_HOLDS_SCHEDULE("other project");
        QCOMPARE(expectedKeys(false), QList<int>{fx_->remote});
        QVERIFY(projects.dbProjects->locate(QStringLiteral("Project ID"), fx_->apollo));
        CHECK_HOLDS_SCHEDULE("back to the first project");

        // Closed, the models are empty; opened, they fill again.
        q->close();
        CHECK_HOLDS_SCHEDULE("closed");
        q->open();
        CHECK_HOLDS_SCHEDULE("opened");

        // One value changed in place rather than by a re-read: the filtered
        // mirror lets the task go once it is complete.
        int row = -1;
        for (int r = 0; r < mirror.table.rowCount(); ++r)
            if (mirror.table.rows().at(r).at(mirror.table.fieldIndex(kTaskID)).toInt() ==
                fx_->invoice)
                row = r;
        QVERIFY(row >= 0);
        mirror.table.setValue(row, QStringLiteral("Status"), QStringLiteral("Complete"));
        QApplication::processEvents();
        QList<int> stillShown = expectedKeys(filtered);
        if (filtered)
            QVERIFY(stillShown.removeOne(fx_->invoice));
        QCOMPARE(keysInTree(GridModels(&mirror.grid)), stillShown);

        // Grouping and the filter changed while watched.
        grid->setGroupFields({});
        mirror.grid.setGroupFields({QStringLiteral("Developer")});
        grid->setFilterEnabled(false);
        mirror.grid.clearFilter();
        QApplication::processEvents();
        QCOMPARE(keysInTree(GridModels(grid)), expectedKeys(false));
        QCOMPARE(keysInTree(GridModels(&mirror.grid)), expectedKeys(false));
    }
};

QTEST_MAIN(TestTaskList)
#include "tst_tasklist.moc"
