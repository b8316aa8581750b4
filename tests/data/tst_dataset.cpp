// What the dataset layer promises every window: text forms, nulls, widths,
// ids, locate, both parameter forms, master/detail, events and transactions.
#include "data/Dataset.h"
#include "tests/common/TestRows.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestDataset : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<DbConnection> conn_;

    int addProject(const QString& name, QVariant defaultDeveloper = {}) {
        return addRow(*conn_, QStringLiteral("Projects"),
                      {{"Name", name}, {"Default Developer ID", defaultDeveloper}});
    }

    // Project "One" with one feature, project "Two" with two.
    std::pair<int, int> twoProjectsWithFeatures() {
        const int p1 = addProject(QStringLiteral("One"));
        const int p2 = addProject(QStringLiteral("Two"));
        for (int p : {p1, p2, p2})
            addRow(*conn_, QStringLiteral("Features"), {{"Project ID", p}});
        return {p1, p2};
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        CreateAllTables(dir_->path());
        conn_ = std::make_unique<DbConnection>(dir_->path());
    }
    void cleanup() {
        conn_.reset();
        dir_.reset();
        QLocale::setDefault(QLocale::c());
    }

    void floatTextForms_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("half") << "en_US" << 2.5 << "2.5";
        QTest::newRow("whole") << "en_US" << 3.0 << "3";
        QTest::newRow("third") << "en_US" << 1.0 / 3.0 << "0.333333333333333";
        QTest::newRow("large, no grouping") << "en_US" << 12345.25 << "12345.25";
        QTest::newRow("negative") << "en_US" << -1.5 << "-1.5";
        QTest::newRow("comma separator") << "de_DE" << 2.5 << "2,5";
    }
    void floatTextForms() {
        QFETCH(QString, locale);
        QFETCH(double, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        DbTable t(*conn_, QStringLiteral("Tasks"));
        t.open();
        t.append();
        t.fieldByName(QStringLiteral("Elapsed Time")).setAsFloat(value);
        t.post();
        QCOMPARE(t.fieldByName(QStringLiteral("Elapsed Time")).asString(), text);
        QCOMPARE(t.fieldByName(QStringLiteral("elapsed time")).asFloat(), value);
    }

    void nullsReadAsEmptyValues() {
        DbTable t(*conn_, QStringLiteral("Tasks.adt"));
        t.open();
        t.append();
        t.post();
        for (const char* name : {"Developer ID", "Priority", "Elapsed Time", "Name", "Notes"}) {
            const DbField& f = t.fieldByName(QString::fromLatin1(name));
            QVERIFY2(f.isNull(), name);
            QCOMPARE(f.asString(), QString());
            QCOMPARE(f.asInteger(), 0);
            QCOMPARE(f.asFloat(), 0.0);
        }
        QVERIFY(t.fieldByName(QStringLiteral("Task ID")).asInteger() > 0);
        QVERIFY(!t.fieldByName(QStringLiteral("Task ID")).isNull());
    }

    void characterFieldsAreCutAndTrimmed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("as typed") << "Release 1"
                                  << "Release 1";
        QTest::newRow("trailing blanks") << "Release 1   "
                                         << "Release 1";
        QTest::newRow("leading blanks kept") << "  Release"
                                             << "  Release";
        QTest::newRow("cut at 60") << QString(70, u'x') << QString(60, u'x');
        QTest::newRow("awkward text") << "50% \"done\" <b>'; DROP TABLE x;--\\"
                                      << "50% \"done\" <b>'; DROP TABLE x;--\\";
        QTest::newRow("non-ASCII") << "Überprüfung ✓"
                                   << "Überprüfung ✓";
    }
    void characterFieldsAreCutAndTrimmed() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const int id = addProject(typed);
        DbTable t(*conn_, QStringLiteral("PROJECTS"));
        t.open();
        QVERIFY(t.locate(QStringLiteral("Project ID"), id));
        QCOMPARE(t.fieldByName(QStringLiteral("Name")).asString(), stored);
    }

    void idsAreReadRightAfterPostAndNeverReused() {
        const int a = addProject(QStringLiteral("A"));
        const int b = addProject(QStringLiteral("B"));
        QCOMPARE(b, a + 1);
        DbTable t(*conn_, QStringLiteral("Projects"));
        t.open();
        QVERIFY(t.locate(QStringLiteral("Project ID"), b));
        t.deleteRecord();
        QCOMPARE(addProject(QStringLiteral("C")), b + 1);
    }

    void unknownFieldFailsClearly() {
        DbTable t(*conn_, QStringLiteral("Projects"));
        t.open();
        try {
            t.fieldByName(QStringLiteral("Colour"));
            QFAIL("an unknown field must raise");
        } catch (const FieldNotFoundError& e) {
            QVERIFY(e.message().contains(QStringLiteral("Colour")));
        }
        QVERIFY_THROWS_EXCEPTION(DataError, DbTable(*conn_, QStringLiteral("Nonsense")));
    }

    void locateOnOneOrSeveralFields() {
        const int p1 = addProject(QStringLiteral("One"));
        const int p2 = addProject(QStringLiteral("Two"));
        DbTable f(*conn_, QStringLiteral("Features"));
        f.open();
        for (const auto& [project, name] :
             {std::pair{p1, "Login"}, {p2, "Login"}, {p2, "Reports"}}) {
            f.append();
            f.fieldByName(QStringLiteral("Project ID")).setAsInteger(project);
            f.fieldByName(QStringLiteral("Name")).setAsString(QString::fromLatin1(name));
            f.post();
        }
        QVERIFY(f.locate(QStringLiteral("Name;Project ID"), {QStringLiteral("Login"), p2}));
        QCOMPARE(f.fieldByName(QStringLiteral("Project ID")).asInteger(), p2);
        const int at = f.fieldByName(QStringLiteral("Feature ID")).asInteger();
        // Exact match: case counts, no partial match; a miss leaves the record where it was.
        QVERIFY(!f.locate(QStringLiteral("Name;Project ID"), {QStringLiteral("login"), p2}));
        QVERIFY(!f.locate(QStringLiteral("Name"), QStringLiteral("Log")));
        QCOMPARE(f.fieldByName(QStringLiteral("Feature ID")).asInteger(), at);
        QVERIFY(f.locate(QStringLiteral("Name"), QStringLiteral("Login")));
        QCOMPARE(f.fieldByName(QStringLiteral("Project ID")).asInteger(), p1);
    }

    void loginNameIsLookedUpThroughItsUpperCasedIndex() {
        DbTable u(*conn_, QStringLiteral("Developers"));
        u.applyPassword(kTablePassword);
        u.setIndexName(QStringLiteral("LOGINNAME"));
        u.open();
        for (const char* login : {"zed", "Admin", "ADMIN"}) {
            u.append();
            u.fieldByName(QStringLiteral("LoginName")).setAsString(QString::fromLatin1(login));
            u.post();
        }
        QVERIFY(u.locate(QStringLiteral("LoginName"), QStringLiteral("ADMIN")));
        QCOMPARE(u.fieldByName(QStringLiteral("LoginName")).asString(), QStringLiteral("Admin"));
        // Index order: upper-cased key, then the order of adding.
        u.first();
        QStringList order;
        for (; !u.eof(); u.next())
            order << u.fieldByName(QStringLiteral("LoginName")).asString();
        QCOMPARE(order, (QStringList{"Admin", "ADMIN", "zed"}));
        // Only a to z are folded, as the index keys are.
        QCOMPARE(upperAsciiLetters(QStringLiteral("ädmin-Zé")), QStringLiteral("äDMIN-Zé"));
    }

    void walkInIndexOrderAcrossPages() {
        DbTable h(*conn_, QStringLiteral("History"));
        h.open();
        // More rows than one page, keys out of order and repeated.
        DbConnection::Transaction tx(*conn_);
        for (int i = 0; i < 700; ++i) {
            h.append();
            h.fieldByName(QStringLiteral("Task ID")).setAsInteger((i * 37) % 50);
            h.post();
        }
        tx.commit();
        h.setIndexName(QStringLiteral("TASK ID"));
        QCOMPARE(h.recordCount(), 700);
        int count = 0, lastKey = -1, lastId = 0;
        for (h.first(); !h.eof(); h.next()) {
            const int key = h.fieldByName(QStringLiteral("Task ID")).asInteger();
            const int id = h.fieldByName(QStringLiteral("Task History ID")).asInteger();
            QVERIFY(key > lastKey || (key == lastKey && id > lastId));
            lastKey = key;
            lastId = id;
            ++count;
        }
        QCOMPARE(count, 700);
        h.setRange(QStringLiteral("Task ID"), 7);
        QCOMPARE(h.recordCount(), 14);
    }

    void queryAcceptsBothParameterForms() {
        const int p = addProject(QStringLiteral("P"), 5);
        addProject(QStringLiteral("Other"));
        DbQuery q(
            *conn_,
            QStringLiteral("select \"Name\" from PROJECTS where (\"project id\" = :\"Project ID\") "
                           "and \"Default Developer ID\" = :Dev and 'a:b' = 'a:b'"));
        q.paramByName(QStringLiteral("project id")).setAsInteger(p);
        q.paramByName(QStringLiteral("Dev")).setAsInteger(5);
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("P"));
        QCOMPARE(q.field(0).asString(), QStringLiteral("P"));
        QVERIFY_THROWS_EXCEPTION(DataError, q.paramByName(QStringLiteral("Missing")));
    }

    void queryFollowsItsMaster() {
        const auto [p1, p2] = twoProjectsWithFeatures();
        DbTable projects(*conn_, QStringLiteral("Projects"));
        DbQuery q(*conn_,
                  QStringLiteral("select * from features where \"Project ID\" = :\"Project ID\""));
        q.setMasterSource(&projects);
        projects.open();
        q.open();
        QSignalSpy opened(&q, &DbDataset::afterOpen);
        QCOMPARE(q.recordCount(), 1);
        QVERIFY(projects.locate(QStringLiteral("Project ID"), p2));
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.recordCount(), 2);
        QCOMPARE(q.paramByName(QStringLiteral("Project ID")).asInteger(), p2);
        // While controls are disabled the detail waits, then catches up once.
        projects.disableControls();
        projects.first();
        projects.next();
        QCOMPARE(opened.count(), 1);
        projects.enableControls();
        QCOMPARE(opened.count(), 2);
    }

    void queryValuesReadAsFieldsReadThem() {
        // Texts repeat down one column and not down another, so both ways of
        // holding them are read back; a null, bytes stored in a text column
        // and an expression column come along.
        const QDateTime stamp(QDate(2024, 5, 1), QTime(9, 30));
        for (int i = 0; i < 80; ++i)
            addRow(*conn_, QStringLiteral("History"),
                   {{"Task ID", i % 3},
                    {"Action Description",
                     i % 2 ? QStringLiteral("Modified by Ann") : QStringLiteral("Modified by Bob")},
                    {"Change Description",
                     i == 5 ? QVariant() : QVariant(QStringLiteral("line %1 é").arg(i))},
                    {"Modified Datestamp", stamp.addSecs(i)}});
        conn_->execute(QStringLiteral("update history set \"Action Description\" = x'3432' "
                                      "where \"Task History ID\" = 7"));
        DbQuery q(*conn_, QStringLiteral("select \"Task ID\", \"Action Description\", "
                                         "\"Change Description\", \"Modified Datestamp\", "
                                         "(\"Task ID\" * 0.5) \"Half\" from history "
                                         "order by \"Task History ID\""));
        q.open();
        QCOMPARE(q.rowCount(), 80);
        for (int r = 0; r < 80; ++r) {
            QCOMPARE(q.valueAt(r, 0), QVariant(r % 3));
            const QString action = r == 6  ? QStringLiteral("42")
                                   : r % 2 ? QStringLiteral("Modified by Ann")
                                           : QStringLiteral("Modified by Bob");
            QCOMPARE(q.valueAt(r, 1), QVariant(action));
            QCOMPARE(q.isNullAt(r, 2), r == 5);
            if (r != 5)
                QCOMPARE(q.valueAt(r, 2), QVariant(QStringLiteral("line %1 é").arg(r)));
            QCOMPARE(DbField::materialize(FieldKind::DateTime, q.valueAt(r, 3)).toDateTime(),
                     stamp.addSecs(r));
            QCOMPARE(q.valueAt(r, 4), QVariant((r % 3) * 0.5));
        }
        // The current record reads the same values by name.
        q.setRecNo(6);
        QCOMPARE(q.fieldByName(QStringLiteral("Action Description")).asString(),
                 QStringLiteral("42"));
        QCOMPARE(q.fieldByName(QStringLiteral("Half")).asFloat(), 0.0);
        QVERIFY(q.locate(QStringLiteral("Change Description"), QStringLiteral("line 79 é")));
        QCOMPARE(q.recNo(), 79);
    }

    void queryRunsAgainInOneStep() {
        const auto [p1, p2] = twoProjectsWithFeatures();
        DbTable projects(*conn_, QStringLiteral("Projects"));
        DbQuery q(*conn_, QStringLiteral("select \"Feature ID\" from features where "
                                         "\"Project ID\" = :\"Project ID\" order by 1"));
        q.setMasterSource(&projects);
        projects.open();
        QVERIFY(projects.locate(QStringLiteral("Project ID"), p2));
        q.open();
        q.next();
        QSignalSpy opened(&q, &DbDataset::afterOpen);
        QSignalSpy closed(&q, &DbDataset::afterClose);
        // Read again for the same project row: one afterOpen, and the current
        // row stays where it was.
        addRow(*conn_, QStringLiteral("Features"), {{"Project ID", p2}});
        projects.refresh();
        QCOMPARE(opened.count(), 1);
        QCOMPARE(q.recordCount(), 3);
        QCOMPARE(q.recNo(), 1);
        q.refresh();
        QCOMPARE(opened.count(), 2);
        QCOMPARE(q.recNo(), 1);
        // Another project: its rows from the first one.
        QVERIFY(projects.locate(QStringLiteral("Project ID"), p1));
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.recNo(), 0);
        QCOMPARE(closed.count(), 0);
        // A run that fails leaves the rows read before.
        QVERIFY(projects.locate(QStringLiteral("Project ID"), p2));
        conn_->execute(QStringLiteral("drop table features.\"Features\""));
        QVERIFY_THROWS_EXCEPTION(DataError, q.refresh());
        QVERIFY(q.active());
        QCOMPARE(q.recordCount(), 3);
        QCOMPARE(q.recNo(), 0);
    }

    void tableMasterLinkShowsOnlyTheMastersRows() {
        const auto [p1, p2] = twoProjectsWithFeatures();
        DbTable projects(*conn_, QStringLiteral("Projects"));
        projects.open();
        DbTable linked(*conn_, QStringLiteral("Features"));
        linked.setIndexName(QStringLiteral("PROJECT ID"));
        linked.setMasterLink(&projects, QStringLiteral("Project ID"), QStringLiteral("Project ID"));
        linked.open();
        QCOMPARE(linked.recordCount(), 1);
        projects.next();
        QCOMPARE(linked.recordCount(), 2);
        QCOMPARE(linked.fieldByName(QStringLiteral("Project ID")).asInteger(), p2);
    }

    void eventsAndAfterPostShareTheTransaction() {
        DbTable tasks(*conn_, QStringLiteral("Tasks"));
        DbTable history(*conn_, QStringLiteral("History"));
        tasks.open();
        history.open();
        connect(&tasks, &DbDataset::newRecord, this,
                [](DbDataset* ds) { ds->fieldByName(QStringLiteral("Priority")).setAsInteger(3); });
        bool failHistory = false;
        connect(&tasks, &DbDataset::afterPost, this, [&](DbDataset* ds) {
            history.append();
            history.fieldByName(QStringLiteral("Task ID"))
                .setAsInteger(ds->fieldByName(QStringLiteral("Task ID")).asInteger());
            history.post();
            if (failHistory)
                throw DataError(QStringLiteral("disk full"));
        });
        tasks.append();
        QCOMPARE(tasks.fieldByName(QStringLiteral("Priority")).asInteger(), 3);
        tasks.post();
        QCOMPARE(tasks.recordCount(), 1);
        QCOMPARE(history.recordCount(), 1);

        // A failing after-post handler undoes the post too: both or neither.
        failHistory = true;
        tasks.edit();
        tasks.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("changed"));
        QVERIFY_THROWS_EXCEPTION(DataError, tasks.post());
        QCOMPARE(tasks.state(), DbDataset::State::Edit);
        tasks.cancel();
        tasks.refresh();
        QCOMPARE(tasks.fieldByName(QStringLiteral("Name")).asString(), QString());
        QCOMPARE(history.recordCount(), 1);
    }

    void writesNeedEditStateAndOnlyWriteChangedFields() {
        const int id = addProject(QStringLiteral("Before"), 4);
        DbTable mine(*conn_, QStringLiteral("Projects"));
        DbTable theirs(*conn_, QStringLiteral("Projects"));
        mine.open();
        theirs.open();
        QVERIFY_THROWS_EXCEPTION(
            DataError, mine.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("x")));
        QVERIFY(mine.locate(QStringLiteral("Project ID"), id));
        QVERIFY(theirs.locate(QStringLiteral("Project ID"), id));
        mine.edit();
        theirs.edit();
        theirs.fieldByName(QStringLiteral("Default Developer ID")).setAsInteger(9);
        theirs.post();
        mine.fieldByName(QStringLiteral("Name")).setAsString(QStringLiteral("After"));
        mine.post();
        QCOMPARE(mine.fieldByName(QStringLiteral("Default Developer ID")).asInteger(), 9);
        theirs.refresh();
        QCOMPARE(theirs.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("After"));
    }

    void memoBytesComeBackUnchanged() {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
        DbTable u(*conn_, QStringLiteral("Developers"));
        u.applyPassword(kTablePassword);
        u.open();
        u.append();
        u.fieldByName(QStringLiteral("Grid Settings")).setAsBytes(bytes);
        u.fieldByName(QStringLiteral("Other Settings"))
            .setAsString(QStringLiteral("[Main]\r\nA=1\r\n"));
        u.fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(true);
        u.post();
        DbTable again(*conn_, QStringLiteral("Developers"));
        again.applyPassword(kTablePassword);
        again.open();
        QCOMPARE(again.fieldByName(QStringLiteral("Grid Settings")).asBytes(), bytes);
        QCOMPARE(again.fieldByName(QStringLiteral("Other Settings")).asString(),
                 QStringLiteral("[Main]\r\nA=1\r\n"));
        QVERIFY(again.fieldByName(QStringLiteral("IsAdmin")).asBoolean());
    }

    void deleteMovesToTheNextRecordAndExecuteRunsStatements() {
        for (const char* n : {"a", "b", "c"})
            addProject(QString::fromLatin1(n));
        DbTable t(*conn_, QStringLiteral("Projects"));
        t.open();
        t.next();
        t.deleteRecord();
        QCOMPARE(t.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("c"));
        t.deleteRecord();
        QCOMPARE(t.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("a"));
        QCOMPARE(conn_->execute(QStringLiteral("delete from projects where \"Name\" = :\"Name\""),
                                {QStringLiteral("a")}),
                 1);
        t.refresh();
        QVERIFY(t.isEmpty());
        QVERIFY(!t.hasCurrent());
        QVERIFY_THROWS_EXCEPTION(DataError, conn_->execute(QStringLiteral("delete from nowhere")));
    }
};

QTEST_GUILESS_MAIN(TestDataset)
#include "tst_dataset.moc"
