// The project data module: schedule, incomplete-task count and the one-field
// task changes with their history rows.
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "tests/common/TestRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// Stands in for the main window.
class FakeWindow : public IScheduleWindow {
public:
    QString caption;
    bool enabled = false;
    bool focused = true;
    bool expanded = false;
    void setMyTasksItems(const QString& c, bool e) override {
        caption = c;
        enabled = e;
    }
    bool hasFocusedTask() const override { return focused; }
    bool focusedTaskExpanded() const override { return expanded; }
    void setFocusedTaskExpanded(bool e) override { expanded = e; }
};
} // namespace

class TestProjectData : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TdmGlobals> globals_;
    std::unique_ptr<TdmProjects> projects_;
    FakeWindow window_;

    DbConnection& conn() { return globals_->Connection(); }

    int add(const QString& table, const QVariantMap& values) {
        return addRow(conn(), table, values);
    }
    int addTask(int feature, int developer, const QString& name, double elapsed = 0,
                const QString& status = QStringLiteral("Not Started"), int priority = 3) {
        return add(QStringLiteral("Tasks"), {{"Feature ID", feature},
                                             {"Developer ID", developer},
                                             {"Name", name},
                                             {"Elapsed Time", elapsed},
                                             {"Current Estimate", 10.0},
                                             {"Status", status},
                                             {"Priority", priority}});
    }
    QStringList historyOf(int taskID) { return historyLines(conn(), taskID); }
    void selectTask(int taskID) {
        QVERIFY(projects_->sqlSchedule->locate(QStringLiteral("Task ID"), taskID));
    }

    int me_ = 0, other_ = 0, project_ = 0, otherProject_ = 0, featureA_ = 0, featureB_ = 0;

private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }

    void init() {
        QLocale::setDefault(QLocale::c());
        dir_ = std::make_unique<QTemporaryDir>();
        globals_ = std::make_unique<TdmGlobals>(dir_->path());
        me_ = add(QStringLiteral("Developers"), {{"LoginName", "me"}, {"Name", "Mia Example"}});
        other_ =
            add(QStringLiteral("Developers"), {{"LoginName", "other"}, {"Name", "Olaf Other"}});
        project_ = add(QStringLiteral("Projects"), {{"Name", "Apollo"}});
        otherProject_ =
            add(QStringLiteral("Projects"), {{"Name", "Zephyr"}, {"Default Developer ID", other_}});
        featureB_ =
            add(QStringLiteral("Features"), {{"Project ID", project_}, {"Name", "Billing"}});
        featureA_ =
            add(QStringLiteral("Features"), {{"Project ID", project_}, {"Name", "Accounts"}});
        globals_->CurrentUserID = me_;
        globals_->CurrentUserName = QStringLiteral("Mia Example");
        projects_ = std::make_unique<TdmProjects>(*globals_);
        projects_->setScheduleWindow(&window_);
        window_ = FakeWindow{};
    }
    void cleanup() {
        projects_.reset();
        globals_.reset();
        dir_.reset();
    }

    void scheduleListsTheCurrentProjectByFeatureThenPriority() {
        const int t1 =
            addTask(featureB_, me_, QStringLiteral("b-low"), 0, QStringLiteral("Not Started"), 5);
        const int t2 = addTask(featureA_, 999, QStringLiteral("a-orphan-developer"), 2.5);
        const int t3 =
            addTask(featureB_, other_, QStringLiteral("b-high"), 0, QStringLiteral("Testing"), 1);
        addTask(
            add(QStringLiteral("Features"), {{"Project ID", otherProject_}, {"Name", "Elsewhere"}}),
            me_, QStringLiteral("other project"));
        projects_->sqlSchedule->close();
        projects_->sqlSchedule->open();
        DbQuery& q = *projects_->sqlSchedule;
        QStringList columns;
        for (int i = 0; i < q.fieldCount(); ++i)
            columns << q.field(i).name();
        QCOMPARE(columns, (QStringList{"Task ID", "Feature", "Task", "Priority",
                                       "Original Estimate", "Current Estimate", "Elapsed Time",
                                       "Status", "Notes", "Developer", "Time Remaining"}));
        QList<int> order;
        for (q.first(); !q.eof(); q.next())
            order << q.fieldByName(QStringLiteral("Task ID")).asInteger();
        QCOMPARE(order, (QList<int>{t2, t3, t1}));
        QVERIFY(q.locate(QStringLiteral("Task ID"), t2));
        QCOMPARE(q.fieldByName(QStringLiteral("Developer")).asString(), QString());
        QCOMPARE(q.fieldByName(QStringLiteral("Time Remaining")).asString(), QStringLiteral("7.5"));
        QCOMPARE(q.fieldByName(QStringLiteral("Feature")).asString(), QStringLiteral("Accounts"));
    }

    void countsOnlyMyIncompleteTasksOfThisProject() {
        addTask(featureA_, me_, QStringLiteral("mine"));
        addTask(featureA_, me_, QStringLiteral("mine, done"), 0, QStringLiteral("Complete"));
        addTask(featureA_, other_, QStringLiteral("theirs"));
        addTask(add(QStringLiteral("Features"), {{"Project ID", otherProject_}}), me_,
                QStringLiteral("elsewhere"));
        projects_->sqlSchedule->close();
        projects_->sqlSchedule->open();
        QCOMPARE(window_.caption, QStringLiteral("My incomplete tasks: 1"));
        QVERIFY(window_.enabled);
        QVERIFY(projects_->dbProjects->locate(QStringLiteral("Project ID"), otherProject_));
        QCOMPARE(projects_->currentProjectID(), otherProject_);
        QCOMPARE(window_.caption, QStringLiteral("My incomplete tasks: 1"));
    }

    void noProjectAtAll() {
        conn().execute(QStringLiteral("delete from projects"));
        projects_->dbProjects->refresh();
        QVERIFY(!projects_->sqlSchedule->hasCurrent());
        QCOMPARE(projects_->sqlSchedule->paramByName(QStringLiteral("Project ID")).asInteger(), 0);
        QCOMPARE(window_.caption, QStringLiteral("My incomplete tasks: 0"));
        QCOMPARE(projects_->GetProjectCount(), 0);
        QCOMPARE(projects_->currentProjectID(), 0);
        projects_->ChangeTask(QStringLiteral("Status"),
                              QStringLiteral("Complete")); // nothing focused: nothing happens
    }

    void changeTaskWritesTheChangeAndItsHistory_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("developer"); // -1: none
        QTest::addColumn<QString>("change");
        QTest::newRow("add an hour") << "Elapsed Time" << QVariant(3.5) << "In Development" << 0
                                     << "Elapsed Time changed from 2.5 to 3.5";
        QTest::newRow("complete") << "Status" << QVariant("Complete") << "In Development" << 0
                                  << "Status changed from In Development to Complete";
        QTest::newRow("complete again") << "Status" << QVariant("Complete") << "Complete" << 0
                                        << "Status changed from Complete to Complete";
        QTest::newRow("assign, no developer before") << "Developer ID" << QVariant(1) << "Testing"
                                                     << -1 << "Developer ID changed from  to 1";
    }
    void changeTaskWritesTheChangeAndItsHistory() {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, status);
        QFETCH(int, developer);
        QFETCH(QString, change);
        const int task = add(QStringLiteral("Tasks"),
                             {{"Feature ID", featureA_},
                              {"Elapsed Time", 2.5},
                              {"Status", status},
                              {"Developer ID", developer < 0 ? QVariant() : QVariant(other_)}});
        projects_->reopenScheduleAt(task);
        window_.expanded = true;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        projects_->ChangeTask(field, value);
        QCOMPARE(historyOf(task), QStringList{QStringLiteral("Modified by Mia Example|") + change});
        QCOMPARE(projects_->sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger(), task);
        QVERIFY(window_.expanded);
        DbTable h(conn(), QStringLiteral("History"));
        h.open();
        QCOMPARE(h.fieldByName(QStringLiteral("User ID")).asInteger(), me_);
        QVERIFY(h.fieldByName(QStringLiteral("Modified Datestamp")).asDateTime() >= before);
    }

    void addHourKeepsAnHourAddedElsewhere() {
        const int task = addTask(featureA_, me_, QStringLiteral("t"), 2);
        projects_->reopenScheduleAt(task); // shows 2
        {
            DbTable other(conn(), QStringLiteral("Tasks")); // another copy adds its hour meanwhile
            other.open();
            QVERIFY(other.locate(QStringLiteral("Task ID"), task));
            other.edit();
            other.fieldByName(QStringLiteral("Elapsed Time")).setAsFloat(3);
            other.post();
        }
        projects_->ChangeTask(QStringLiteral("Elapsed Time"), 2 + 1.0);
        QCOMPARE(projects_->sqlSchedule->fieldByName(QStringLiteral("Elapsed Time")).asFloat(),
                 4.0);
        QCOMPARE(historyOf(task), QStringList{QStringLiteral(
                                      "Modified by Mia Example|Elapsed Time changed from 3 to 4")});
    }

    void changeOfAVanishedTaskDoesNothing() {
        const int task = addTask(featureA_, me_, QStringLiteral("t"));
        projects_->reopenScheduleAt(task);
        conn().execute(QStringLiteral("delete from tasks"));
        projects_->ChangeTask(QStringLiteral("Status"), QStringLiteral("Complete"));
        QVERIFY(historyOf(task).isEmpty());
        window_.focused = false;
        projects_->ChangeTask(QStringLiteral("Status"), QStringLiteral("Complete"));
        QVERIFY(historyOf(task).isEmpty());
    }

    void deleteTaskKeepsItsHistory() {
        const int task = addTask(featureA_, me_, QStringLiteral("t"));
        const int kept = addTask(featureA_, me_, QStringLiteral("kept"));
        projects_->reopenScheduleAt(task);
        projects_->ChangeTask(QStringLiteral("Status"), QStringLiteral("Testing"));
        projects_->DeleteTask(task);
        QCOMPARE(historyOf(task).size(), 1);
        QCOMPARE(projects_->sqlSchedule->recordCount(), 1);
        QCOMPARE(projects_->sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger(), kept);
        projects_->DeleteTask(task); // already gone: nothing happens
        QCOMPARE(projects_->sqlSchedule->recordCount(), 1);
    }

    void defaultDeveloperOfAProject_data() {
        QTest::addColumn<int>("which");    // 0 project without default, 1 with, 2 unknown
        QTest::addColumn<int>("expected"); // 0 none, 1 me, 2 other
        QTest::newRow("no default: the user") << 0 << 1;
        QTest::newRow("its default") << 1 << 2;
        QTest::newRow("unknown project") << 2 << 0;
    }
    void defaultDeveloperOfAProject() {
        QFETCH(int, which);
        QFETCH(int, expected);
        const int id = which == 0 ? project_ : which == 1 ? otherProject_ : 12345;
        const int want = expected == 0 ? 0 : expected == 1 ? me_ : other_;
        QCOMPARE(projects_->GetDefaultDeveloper(id), want);
        QCOMPARE(projects_->GetProjectCount(), 2);
    }
};

QTEST_GUILESS_MAIN(TestProjectData)
#include "tst_projectdata.moc"
