// What a task save means for its history: the change lines from the values
// before and after (one per watched field, fixed order, numbers in the
// locale's general form), the values read from a stored record, and the
// History row as written, inside the caller's transaction.
#include "data/FeatureRules.h"
#include "data/GlobalData.h"
#include "data/TaskHistory.h"
#include "tests/common/TestRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>

Q_DECLARE_METATYPE(TaskValues)

namespace {
// The usual task: feature 1 (Accounts), "Alpha", Normal, current estimate 5,
// elapsed 3, "Not Started", assigned to developer 1 (Mia Example).
TaskValues usual() {
    TaskValues v;
    v.featureID = 1;
    v.name = QStringLiteral("Alpha");
    v.priority = 3;
    v.currentEstimate = 5;
    v.elapsedTime = 3;
    v.status = QStringLiteral("Not Started");
    v.developerID = 1;
    return v;
}

template <class Change> TaskValues usualWith(Change change) {
    TaskValues v = usual();
    change(v);
    return v;
}

TaskNames fixedNames() {
    static const std::map<int, QString> features{{1, "Accounts"}, {2, "Billing"}};
    static const std::map<int, QString> developers{{1, "Mia Example"}, {2, "Olaf Other"}};
    auto from = [](const std::map<int, QString>& m) {
        return [&m](int id) -> std::optional<QString> {
            const auto it = m.find(id);
            return it == m.end() ? std::nullopt : std::optional<QString>(it->second);
        };
    };
    return TaskNames{from(features), from(developers)};
}
} // namespace

class TestTaskHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TdmGlobals> globals_;
    int accounts_ = 0, billing_ = 0, me_ = 0;

    DbConnection& conn() { return globals_->Connection(); }
    std::unique_ptr<DbTable> historyTable() {
        auto h = std::make_unique<DbTable>(conn(), QStringLiteral("History"));
        h->open();
        return h;
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale::c());
        dir_ = std::make_unique<QTemporaryDir>();
        globals_ = std::make_unique<TdmGlobals>(dir_->path());
        me_ = addRow(conn(), QStringLiteral("Developers"),
                     {{"LoginName", "me"}, {"Name", "Mia Example"}});
        const int project = addRow(conn(), QStringLiteral("Projects"), {{"Name", "Apollo"}});
        accounts_ = addRow(conn(), QStringLiteral("Features"),
                           {{"Project ID", project}, {"Name", "Accounts"}});
        billing_ = addRow(conn(), QStringLiteral("Features"),
                          {{"Project ID", project}, {"Name", "Billing"}});
    }
    void cleanup() {
        globals_.reset();
        dir_.reset();
        QLocale::setDefault(QLocale::c());
    }

    void changeLines_data() {
        QTest::addColumn<TaskValues>("before");
        QTest::addColumn<TaskValues>("after");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("lines");
        const TaskValues same = usual();
        QTest::newRow("nothing changed") << same << same << "C" << QStringList{};
        QTest::newRow("name, letter case only")
            << same << usualWith([](TaskValues& v) { v.name = "alpha"; }) << "C"
            << QStringList{"Task name changed from Alpha to alpha"};
        QTest::newRow("name, a trailing blank counts")
            << same << usualWith([](TaskValues& v) { v.name = "Alpha "; }) << "C"
            << QStringList{"Task name changed from Alpha to Alpha "};
        QTest::newRow("name with placeholders stays as it is")
            << same << usualWith([](TaskValues& v) { v.name = "100% %1 %s"; }) << "C"
            << QStringList{"Task name changed from Alpha to 100% %1 %s"};
        QTest::newRow("feature") << same << usualWith([](TaskValues& v) { v.featureID = 2; }) << "C"
                                 << QStringList{"Feature changed from Accounts to Billing"};
        QTest::newRow("feature deleted meanwhile")
            << usualWith([](TaskValues& v) { v.featureID = 9; })
            << usualWith([](TaskValues& v) { v.featureID = 2; }) << "C"
            << QStringList{"Feature changed from Unknown to Billing"};
        QTest::newRow("priority Normal to Highest")
            << same << usualWith([](TaskValues& v) { v.priority = 1; }) << "C"
            << QStringList{"Priority changed from 3 to 1"};
        QTest::newRow("current estimate 5 to 2.5")
            << same << usualWith([](TaskValues& v) { v.currentEstimate = 2.5; }) << "C"
            << QStringList{"Current Estimate changed from 5 to 2.5"};
        QTest::newRow("current estimate, decimal comma")
            << same << usualWith([](TaskValues& v) { v.currentEstimate = 2.5; }) << "de_DE"
            << QStringList{"Current Estimate changed from 5 to 2,5"};
        QTest::newRow("one third")
            << same << usualWith([](TaskValues& v) { v.currentEstimate = 1.0 / 3; }) << "C"
            << QStringList{"Current Estimate changed from 5 to 0.333333333333333"};
        // No tolerance: a difference in the last bit is a change, even though
        // both values read the same in fifteen digits.
        QTest::newRow("last bit of a number")
            << same << usualWith([](TaskValues& v) { v.elapsedTime = std::nextafter(3.0, 4.0); })
            << "C" << QStringList{"Elapsed Time changed from 3 to 3"};
        QTest::newRow("elapsed above current: two lines")
            << same << usualWith([](TaskValues& v) {
                   v.currentEstimate = 7;
                   v.elapsedTime = 7;
               })
            << "C"
            << QStringList{"Current Estimate changed from 5 to 7",
                           "Elapsed Time changed from 3 to 7"};
        QTest::newRow("status and developer: status first")
            << same << usualWith([](TaskValues& v) {
                   v.developerID = 2;
                   v.status = "Testing";
               })
            << "C"
            << QStringList{"Status changed from Not Started to Testing",
                           "Task assigned to Olaf Other"};
        QTest::newRow("developer without a name")
            << same << usualWith([](TaskValues& v) { v.developerID = 0; }) << "C"
            << QStringList{"Task assigned to "};
        QTest::newRow("every watched field, in order")
            << usualWith([](TaskValues& v) { v.elapsedTime = 0; }) << usualWith([](TaskValues& v) {
                   v.developerID = 2;
                   v.status = "Complete";
                   v.elapsedTime = 4;
                   v.currentEstimate = 6;
                   v.priority = 5;
                   v.name = "Beta";
                   v.featureID = 2;
               })
            << "C"
            << QStringList{"Feature changed from Accounts to Billing",
                           "Task name changed from Alpha to Beta",
                           "Priority changed from 3 to 5",
                           "Current Estimate changed from 5 to 6",
                           "Elapsed Time changed from 0 to 4",
                           "Status changed from Not Started to Complete",
                           "Task assigned to Olaf Other"};
    }
    void changeLines() {
        QFETCH(TaskValues, before);
        QFETCH(TaskValues, after);
        QFETCH(QString, locale);
        QFETCH(QStringList, lines);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(taskChangeLines(before, after, fixedNames()), lines);
        QCOMPARE(int(changedTaskFields(before, after).size()), lines.size());
        QCOMPARE(before == after, lines.isEmpty());
    }

    void changeDescriptionEndsEveryLine() {
        QCOMPARE(changeDescriptionOf({}), QString());
        QCOMPARE(changeDescriptionOf({"one"}), QStringLiteral("one\r\n"));
        QCOMPARE(changeDescriptionOf({"one", "two"}), QStringLiteral("one\r\ntwo\r\n"));
    }

    // The values come from the record as stored, and only the watched fields count.
    void recordOfASave_data() {
        QTest::addColumn<bool>("isNew");
        QTest::addColumn<QVariantMap>("edit"); // fields set on the stored task
        QTest::addColumn<QString>("row");      // "Action|Change"; empty: no row
        QTest::newRow("new task") << true << QVariantMap{} << "Task added by Mia Example|";
        QTest::newRow("nothing changed") << false << QVariantMap{} << "";
        QTest::newRow("notes only") << false << QVariantMap{{"Notes", "remember the milk"}} << "";
        QTest::newRow("original estimate is not watched")
            << false << QVariantMap{{"Original Estimate", 6.0}, {"Current Estimate", 6.0}}
            << "Modified by Mia Example|Current Estimate changed from 5 to 6\r\n";
        QTest::newRow("trailing blank is not kept by the field")
            << false << QVariantMap{{"Name", "Alpha "}} << "";
        QTest::newRow("empty fields read as 0 and empty text")
            << false
            << QVariantMap{{"Priority", QVariant()},
                           {"Status", QVariant()},
                           {"Elapsed Time", QVariant()}}
            << "Modified by Mia Example|Priority changed from 3 to 0\r\n"
               "Elapsed Time changed from 3 to 0\r\nStatus changed from Not Started to \r\n";
        QTest::newRow("feature, names from the table")
            << false << QVariantMap{{"Feature ID", "Billing"}} // the id of Billing
            << "Modified by Mia Example|Feature changed from Accounts to Billing\r\n";
    }
    void recordOfASave() {
        QFETCH(bool, isNew);
        QFETCH(QVariantMap, edit);
        QFETCH(QString, row);
        const int task = addRow(conn(), QStringLiteral("Tasks"),
                                {{"Feature ID", accounts_},
                                 {"Name", "Alpha"},
                                 {"Priority", 3},
                                 {"Current Estimate", 5.0},
                                 {"Elapsed Time", 3.0},
                                 {"Status", "Not Started"},
                                 {"Developer ID", me_}});
        DbTable tasks(conn(), QStringLiteral("Tasks"));
        tasks.open();
        QVERIFY(tasks.locate(QStringLiteral("Task ID"), task));
        const TaskValues before = TaskValues::of(tasks);
        auto history = historyTable();
        TaskNames names;
        names.featureName = [this](int id) { return featureNameOf(conn(), id); };
        {
            DbConnection::Transaction tx(conn());
            tasks.edit();
            for (auto it = edit.begin(); it != edit.end(); ++it) {
                const bool feature = it.key() == QLatin1String("Feature ID");
                tasks.fieldByName(it.key()).setValue(feature ? QVariant(billing_) : it.value());
            }
            tasks.post();
            QCOMPARE(recordTaskSave(*history, task, me_, QStringLiteral("Mia Example"), isNew,
                                    before, TaskValues::of(tasks), names),
                     !row.isEmpty());
            tx.commit();
        }
        QCOMPARE(historyLines(conn(), task), row.isEmpty() ? QStringList{} : QStringList{row});
    }

    void addedRowCarriesNoChangeAndNoTime() {
        auto history = historyTable();
        writeHistoryRow(*history, 41, me_, QStringLiteral("Mia Example"), HistoryAction::TaskAdded);
        auto h = historyTable();
        QCOMPARE(h->recordCount(), 1);
        QCOMPARE(h->fieldByName(QStringLiteral("Task ID")).asInteger(), 41);
        QCOMPARE(h->fieldByName(QStringLiteral("User ID")).asInteger(), me_);
        QCOMPARE(h->fieldByName(QStringLiteral("Action Description")).asString(),
                 QStringLiteral("Task added by Mia Example"));
        QVERIFY(h->fieldByName(QStringLiteral("Change Description")).isNull());
        QVERIFY(h->fieldByName(QStringLiteral("Modified Datestamp")).isNull());
    }

    void modifiedRowCarriesUserChangeAndTime() {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        auto history = historyTable();
        writeHistoryRow(*history, 41, me_, QStringLiteral("Mia Example"), HistoryAction::Modified,
                        QStringLiteral("Status changed from Testing to Complete"));
        auto h = historyTable();
        QCOMPARE(h->recordCount(), 1);
        QCOMPARE(h->fieldByName(QStringLiteral("Task ID")).asInteger(), 41);
        QCOMPARE(h->fieldByName(QStringLiteral("User ID")).asInteger(), me_);
        QCOMPARE(h->fieldByName(QStringLiteral("Action Description")).asString(),
                 QStringLiteral("Modified by Mia Example"));
        QCOMPARE(h->fieldByName(QStringLiteral("Change Description")).asString(),
                 QStringLiteral("Status changed from Testing to Complete"));
        const QDateTime stamp = h->fieldByName(QStringLiteral("Modified Datestamp")).asDateTime();
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime().addSecs(1));
    }

    void actionTextIsCutToItsField_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("expected");
        const QString name =
            QStringLiteral("Bartholomew Maximilian Featherstonehaugh-Smythe"); // 47
        QTest::newRow("added") << int(HistoryAction::TaskAdded)
                               << QString(QStringLiteral("Task added by ") + name).left(50);
        QTest::newRow("modified") << int(HistoryAction::Modified)
                                  << QString(QStringLiteral("Modified by ") + name).left(50);
    }
    void actionTextIsCutToItsField() {
        QFETCH(int, action);
        QFETCH(QString, expected);
        auto history = historyTable();
        writeHistoryRow(*history, 1, me_,
                        QStringLiteral("Bartholomew Maximilian Featherstonehaugh-Smythe"),
                        HistoryAction(action), QStringLiteral("x\r\n"));
        auto h = historyTable();
        QCOMPARE(h->recordCount(), 1);
        QCOMPARE(expected.size(), 50);
        QCOMPARE(h->fieldByName(QStringLiteral("Action Description")).asString(), expected);
    }

    // The row belongs to the caller's transaction: rolled back with it, and
    // a row that cannot be stored leaves nothing pending in the cursor.
    void rowGoesWithTheCallersTransaction() {
        auto history = historyTable();
        {
            DbConnection::Transaction tx(conn());
            writeHistoryRow(*history, 7, me_, QStringLiteral("Mia Example"),
                            HistoryAction::Modified, QStringLiteral("x\r\n"));
        } // not committed
        QVERIFY(historyLines(conn(), 7).isEmpty());

        conn().execute(QStringLiteral("create temp trigger no_history before insert on "
                                      "\"History\" begin select raise(abort, 'History is full'); "
                                      "end"));
        QVERIFY_THROWS_EXCEPTION(DataError, writeHistoryRow(*history, 7, me_, QStringLiteral("Mia"),
                                                            HistoryAction::TaskAdded));
        QCOMPARE(history->state(), DbDataset::State::Browse);
    }
};

QTEST_GUILESS_MAIN(TestTaskHistory)
#include "tst_taskhistory.moc"
