// The remaining-work reconstruction: per-day totals rebuilt from History rows
// by undoing the estimate and elapsed-time changes from today's values.
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "data/RemainingWork.h"
#include "tests/common/TestRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace RemainingWork;

namespace {

// "id current elapsed original"
std::vector<TaskValues> tasksFrom(const QStringList& specs) {
    std::vector<TaskValues> tasks;
    for (const QString& s : specs) {
        const QStringList p = s.split(u' ');
        tasks.push_back({p[0].toInt(), p[1].toDouble(), p[2].toDouble(), p[3].toDouble()});
    }
    return tasks;
}

// "id yyyy-MM-dd change" or "id - " for an undated row; "|" separates the
// lines of an editor save, each written CR LF-terminated.
std::vector<HistoryEntry> rowsFrom(const QStringList& specs) {
    std::vector<HistoryEntry> rows;
    for (const QString& s : specs) {
        const int a = int(s.indexOf(u' ')), b = int(s.indexOf(u' ', a + 1));
        const QString day = s.mid(a + 1, b < 0 ? -1 : b - a - 1);
        QString change = b < 0 ? QString() : s.mid(b + 1);
        if (change.contains(u'|'))
            change = change.split(u'|').join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        rows.push_back({s.left(a).toInt(),
                        day == u'-' ? QDate() : QDate::fromString(day, Qt::ISODate), change});
    }
    return rows;
}

QList<double> remainingOf(const std::vector<DayTotals>& days) {
    QList<double> v;
    for (const DayTotals& d : days)
        v << d.remaining;
    return v;
}
QList<double> elapsedOf(const std::vector<DayTotals>& days) {
    QList<double> v;
    for (const DayTotals& d : days)
        v << d.elapsed;
    return v;
}
QList<double> originalOf(const std::vector<DayTotals>& days) {
    QList<double> v;
    for (const DayTotals& d : days)
        v << d.original;
    return v;
}

const QDate kToday(2024, 6, 10);

} // namespace

class TestRemainingWork : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }

    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<double>("value");
        QTest::newRow("whole") << "4" << true << 4.0;
        QTest::newRow("point") << "2.5" << true << 2.5;
        QTest::newRow("comma") << "2,5" << true << 2.5;
        QTest::newRow("fifteen digits") << "0.333333333333333" << true << 0.333333333333333;
        QTest::newRow("negative") << "-1.25" << true << -1.25;
        QTest::newRow("tiny, scientific") << "1E-6" << true << 1e-6;
        QTest::newRow("empty old value") << "" << true << 0.0;
        QTest::newRow("not a number") << "lots" << false << 0.0;
    }
    void numbers() {
        QFETCH(QString, text);
        QFETCH(bool, readable);
        QFETCH(double, value);
        const std::optional<double> v = parseHours(text);
        QCOMPARE(v.has_value(), readable);
        if (readable)
            QCOMPARE(*v, value);
    }

    void changeLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("field"); // -1: not a line the chart undoes
        QTest::addColumn<double>("from");
        using F = FieldChange::Field;
        QTest::newRow("elapsed, quick action")
            << "Elapsed Time changed from 3 to 4" << int(F::ElapsedTime) << 3.0;
        QTest::newRow("current estimate, editor")
            << "Current Estimate changed from 5 to 7" << int(F::CurrentEstimate) << 5.0;
        QTest::newRow("original estimate")
            << "Original Estimate changed from 6,5 to 8" << int(F::OriginalEstimate) << 6.5;
        QTest::newRow("empty old value")
            << "Elapsed Time changed from  to 1" << int(F::ElapsedTime) << 0.0;
        QTest::newRow("status") << "Status changed from Testing to Complete" << -1 << 0.0;
        QTest::newRow("task name naming a field")
            << "Task name changed from Elapsed Time changed from 1 to 2 to x" << -1 << 0.0;
        QTest::newRow("developer") << "Developer ID changed from 4 to 1" << -1 << 0.0;
    }
    void changeLines() {
        QFETCH(QString, line);
        QFETCH(int, field);
        QFETCH(double, from);
        const std::optional<FieldChange> c = parseChangeLine(line);
        QCOMPARE(c.has_value(), field >= 0);
        if (!c)
            return;
        QCOMPARE(int(c->field), field);
        QVERIFY(c->from.has_value());
        QCOMPARE(*c->from, from);
    }

    // The days run from `from` to 2024-06-10 (today); the series list one value a day.
    void reconstruction_data() {
        QTest::addColumn<QStringList>("tasks");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<int>>("filter");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QList<double>>("remaining");
        QTest::addColumn<QList<double>>("elapsed");
        QTest::addColumn<QList<double>>("filteredRemaining");
        QTest::addColumn<int>("placedEarlier");
        QTest::addColumn<int>("placedLater");

        // Task 1 added on the 3rd with an estimate of 6 (the day of the row
        // before it), re-estimated to 8 on the 4th, worked on over three days
        // (2, 4, then 7 hours), re-estimated to 10 on the 8th.
        const QStringList story{
            "99 2024-06-03 Status changed from Not Started to Testing",
            "1 -",
            "1 2024-06-04 Current Estimate changed from 6 to 8|Status changed from A to B",
            "1 2024-06-05 Elapsed Time changed from 0 to 2",
            "1 2024-06-06 Elapsed Time changed from 2 to 4",
            "1 2024-06-07 Elapsed Time changed from 4 to 7",
            "1 2024-06-08 Current Estimate changed from 8 to 10",
        };
        QTest::newRow("added, estimated, worked three days, re-estimated")
            << QStringList{"1 10 7 6"} << story << QList<int>{1} << QDate(2024, 6, 2)
            << QList<double>{0, 6, 8, 6, 4, 1, 3, 3, 3} << QList<double>{0, 0, 0, 2, 4, 7, 7, 7, 7}
            << QList<double>{0, 6, 8, 6, 4, 1, 3, 3, 3} << 1 << 0;

        // An editor save that raised the elapsed time past the estimate: both
        // lines in one row, undone together.
        QTest::newRow("editor save with two lines")
            << QStringList{"1 7 7 5"}
            << QStringList{"1 2024-06-01 Elapsed Time changed from 0 to 3",
                           "1 2024-06-09 Current Estimate changed from 5 to 7|Elapsed Time "
                           "changed from 3 to 7"}
            << QList<int>{} << QDate(2024, 6, 8) << QList<double>{2, 0, 0} << QList<double>{3, 7, 7}
            << QList<double>{0, 0, 0} << 0 << 0;

        QTest::newRow("decimal comma")
            << QStringList{"1 7.25 3.5 0"}
            << QStringList{"1 2024-06-09 Elapsed Time changed from 2,5 to 3,5",
                           "1 2024-06-10 Current Estimate changed from 6,75 to 7,25"}
            << QList<int>{1} << QDate(2024, 6, 8) << QList<double>{4.25, 3.25, 3.75}
            << QList<double>{2.5, 3.5, 3.5} << QList<double>{4.25, 3.25, 3.75} << 0 << 0;

        // Task 2 was deleted: its rows count for nothing but their dates,
        // and task 3's adding is placed by its row.
        QTest::newRow("deleted task")
            << QStringList{"3 4 1 4"}
            << QStringList{"2 -", "2 2024-06-08 Elapsed Time changed from 0 to 50", "3 -",
                           "3 2024-06-09 Elapsed Time changed from 0 to 1"}
            << QList<int>{3} << QDate(2024, 6, 7) << QList<double>{0, 4, 3, 3}
            << QList<double>{0, 0, 1, 1} << QList<double>{0, 4, 3, 3} << 1 << 0;

        // The nearest earlier dated row in table order places the adding,
        // even when an earlier row carries a later date (another copy's clock).
        QTest::newRow("undated row placed by the nearest earlier dated row")
            << QStringList{"1 5 0 5", "2 3 0 3"}
            << QStringList{"7 2024-06-08 Status changed from A to B",
                           "8 2024-06-05 Status changed from A to B", "1 -",
                           "9 2024-06-09 Status changed from A to B", "2 -"}
            << QList<int>{2} << QDate(2024, 6, 4) << QList<double>{0, 5, 5, 5, 5, 8, 8}
            << QList<double>{0, 0, 0, 0, 0, 0, 0} << QList<double>{0, 0, 0, 0, 0, 3, 3} << 2 << 0;

        // Added before any dated row: the first dated row after it is the bound.
        QTest::newRow("added before any dated row")
            << QStringList{"1 5 0 5"}
            << QStringList{"1 -", "6 2024-06-09 Status changed from A to B"} << QList<int>{}
            << QDate(2024, 6, 8) << QList<double>{0, 5, 5} << QList<double>{0, 0, 0}
            << QList<double>{0, 0, 0} << 0 << 1;

        // No row records the adding: the task has been there all along, with
        // the values its oldest change started from.
        QTest::newRow("no row for the adding")
            << QStringList{"1 4 4 4"}
            << QStringList{"1 2024-06-09 Elapsed Time changed from 1 to 4"} << QList<int>{}
            << QDate(2024, 6, 7) << QList<double>{3, 3, 0, 0} << QList<double>{1, 1, 4, 4}
            << QList<double>{0, 0, 0, 0} << 0 << 0;

        // Another copy's clock ran ahead: a later row dated earlier than the
        // one before it still gives one state per day.
        QTest::newRow("rows out of date order")
            << QStringList{"1 10 3 10"}
            << QStringList{"1 2024-06-09 Elapsed Time changed from 0 to 1",
                           "1 2024-06-08 Elapsed Time changed from 1 to 3"}
            << QList<int>{} << QDate(2024, 6, 7) << QList<double>{10, 7, 7, 7}
            << QList<double>{0, 3, 3, 3} << QList<double>{0, 0, 0, 0} << 0 << 0;

        QTest::newRow("a change dated after today counts today")
            << QStringList{"1 10 5 10"}
            << QStringList{"1 2024-06-12 Elapsed Time changed from 2 to 5"} << QList<int>{}
            << QDate(2024, 6, 9) << QList<double>{8, 5} << QList<double>{2, 5}
            << QList<double>{0, 0} << 0 << 0;

        QTest::newRow("filtered rows are a subset")
            << QStringList{"1 10 0 10", "2 6 1 6", "3 2 2 2"}
            << QStringList{"1 2024-06-09 Elapsed Time changed from 0 to 0",
                           "2 2024-06-10 Elapsed Time changed from 0 to 1"}
            << QList<int>{2, 3, 42} << QDate(2024, 6, 9) << QList<double>{16, 15}
            << QList<double>{2, 3} << QList<double>{6, 5} << 0 << 0;

        // No start given: the first day any of the project's rows knows of.
        QTest::newRow("all days") << QStringList{"1 3 1 3"}
                                  << QStringList{"5 2024-05-01 Status changed from A to B", "1 -",
                                                 "1 2024-06-10 Elapsed Time changed from 0 to 1"}
                                  << QList<int>{} << QDate()
                                  << QList<double>(40, 3) + QList<double>{2}
                                  << QList<double>(40, 0) + QList<double>{1} << QList<double>(41, 0)
                                  << 1 << 0;
    }
    void reconstruction() {
        QFETCH(QStringList, tasks);
        QFETCH(QStringList, rows);
        QFETCH(QList<int>, filter);
        QFETCH(QDate, from);
        QFETCH(QList<double>, remaining);
        QFETCH(QList<double>, elapsed);
        QFETCH(QList<double>, filteredRemaining);
        QFETCH(int, placedEarlier);
        QFETCH(int, placedLater);

        const Chart c = reconstruct(tasksFrom(tasks), rowsFrom(rows),
                                    std::vector<int>(filter.begin(), filter.end()), from, kToday);
        QCOMPARE(c.to, kToday);
        if (from.isValid())
            QCOMPARE(c.from, from);
        QCOMPARE(c.dayAt(c.dayCount() - 1), kToday);
        QCOMPARE(remainingOf(c.project), remaining);
        QCOMPARE(elapsedOf(c.project), elapsed);
        QCOMPARE(remainingOf(c.filtered), filteredRemaining);
        QCOMPARE(c.placedByEarlierRow, placedEarlier);
        QCOMPARE(c.placedByLaterRow, placedLater);
    }

    // The original estimate is not what the editor describes, but a change
    // that names it is undone like the others.
    void originalEstimate() {
        const Chart c = reconstruct(
            tasksFrom({"1 8 0 8"}),
            rowsFrom({"1 2024-06-09 Original Estimate changed from 5 to 6",
                      "1 2024-06-10 Original Estimate changed from 6 to 8|Current Estimate "
                      "changed from 6 to 8"}),
            {}, QDate(2024, 6, 8), kToday);
        QCOMPARE(originalOf(c.project), (QList<double>{5, 6, 8}));
        QCOMPARE(remainingOf(c.project), (QList<double>{6, 6, 8}));
    }

    // Through the data layer: the project's tasks as the schedule lists them,
    // History rows of any task placing the adding, and the wording ChangeTask
    // writes in the user's locale read back.
    void projectRows_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << "C";
        QTest::newRow("comma") << "de_DE";
    }
    void projectRows() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        QTemporaryDir dir;
        TdmGlobals globals(dir.path());
        DbConnection& conn = globals.Connection();
        const int me = addRow(conn, QStringLiteral("Developers"),
                              {{"LoginName", "me"}, {"Name", "Mia Example"}});
        const int apollo = addRow(conn, QStringLiteral("Projects"), {{"Name", "Apollo"}});
        const int zephyr = addRow(conn, QStringLiteral("Projects"), {{"Name", "Zephyr"}});
        const int accounts = addRow(conn, QStringLiteral("Features"),
                                    {{"Project ID", apollo}, {"Name", "Accounts"}});
        const int elsewhere = addRow(conn, QStringLiteral("Features"),
                                     {{"Project ID", zephyr}, {"Name", "Elsewhere"}});
        auto task = [&](int feature, double current, double elapsed) {
            return addRow(conn, QStringLiteral("Tasks"),
                          {{"Feature ID", feature},
                           {"Name", "t"},
                           {"Current Estimate", current},
                           {"Original Estimate", current},
                           {"Elapsed Time", elapsed}});
        };
        auto history = [&](int taskID, const QString& change, const QDateTime& stamp) {
            QVariantMap v{{"Task ID", taskID},
                          {"User ID", me},
                          {"Action Description", "Modified by Mia Example"}};
            if (stamp.isValid()) {
                v.insert(QStringLiteral("Change Description"), change);
                v.insert(QStringLiteral("Modified Datestamp"), stamp);
            }
            addRow(conn, QStringLiteral("History"), v);
        };
        const QDate today = QDate::currentDate();
        const QDateTime threeDaysAgo(today.addDays(-3), QTime(23, 30));
        const QDateTime twoDaysAgo(today.addDays(-2), QTime(0, 15));

        const int remote = task(elsewhere, 9, 0);
        history(remote, QStringLiteral("Elapsed Time changed from 0 to 3"), threeDaysAgo);
        const int design = task(accounts, 5, 2.5);
        history(design, {}, {}); // added, placed three days ago by the row before it
        const int gone = task(accounts, 1, 0);
        history(gone, {}, {});
        history(gone, QStringLiteral("Elapsed Time changed from 0 to 1"), twoDaysAgo);
        history(design, QStringLiteral("Current Estimate changed from 4 to 5\r\n"), twoDaysAgo);
        DbTable tasks(conn, QStringLiteral("Tasks"));
        tasks.open();
        QVERIFY(tasks.locate(QStringLiteral("Task ID"), gone));
        tasks.deleteRecord();

        // "Work 1 hour on this task" on design today, through the module.
        globals.CurrentUserID = me;
        globals.CurrentUserName = QStringLiteral("Mia Example");
        TdmProjects projects(globals);
        QVERIFY(projects.dbProjects->locate(QStringLiteral("Project ID"), apollo));
        QVERIFY(projects.sqlSchedule->locate(QStringLiteral("Task ID"), design));
        projects.ChangeTask(QStringLiteral("Elapsed Time"), 3.5);
        const QStringList written = historyLines(conn, design);
        QVERIFY2(written.last().endsWith(QLocale().toString(3.5)), qPrintable(written.last()));

        const ProjectRows rows = loadProjectRows(conn, apollo);
        QCOMPARE(rows.tasks.size(), size_t(1));
        QCOMPARE(rows.tasks[0].taskID, design);
        QCOMPARE(rows.tasks[0].elapsedTime, 3.5);
        QCOMPARE(rows.rows.size(), size_t(6)); // every History row, in table order
        QCOMPARE(rows.rows[0].taskID, remote);
        QCOMPARE(rows.rows[0].day, threeDaysAgo.date());
        QVERIFY(rows.rows[0].change.isEmpty()); // another project's change is not read
        QVERIFY(!rows.rows[1].day.isValid());

        const Chart c = reconstruct(rows.tasks, rows.rows, {design}, today.addDays(-4), today);
        QCOMPARE(remainingOf(c.project), (QList<double>{0, 1.5, 2.5, 2.5, 1.5}));
        QCOMPARE(elapsedOf(c.project), (QList<double>{0, 2.5, 2.5, 2.5, 3.5}));
        QCOMPARE(remainingOf(c.filtered), remainingOf(c.project));
        QCOMPARE(c.placedByEarlierRow, 1);
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(TestRemainingWork)
#include "tst_remainingwork.moc"
