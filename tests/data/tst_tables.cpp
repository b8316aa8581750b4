// Table creation, the encrypted users table and damaged files.
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QStringList g_messages;
void recordMessage(const QString& m) {
    g_messages.append(m);
}

QByteArray head(const QString& path, int n) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.read(n);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TestTables : public QObject {
    Q_OBJECT
private slots:
    void init() {
        g_messages.clear();
        setTableMessageHandler(recordMessage);
    }

    void emptyFolderGetsAllTablesEmpty() {
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        for (const TableDef& t : allTableDefs())
            QVERIFY2(tablePresent(dir.path(), t), qPrintable(t.name));
        DbConnection conn(dir.path());
        for (const TableDef& t : allTableDefs()) {
            DbTable table(conn, t.name);
            if (t.encrypted)
                table.applyPassword(kTablePassword);
            table.open();
            QCOMPARE(table.recordCount(), 0);
        }
        QVERIFY(g_messages.isEmpty());
    }

    void usersTableIsEncrypted() {
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        const QString users = QDir(dir.path()).filePath(QStringLiteral("Developers.db"));
        QVERIFY(!head(users, 16).startsWith("SQLite format 3"));
        QVERIFY(head(QDir(dir.path()).filePath(QStringLiteral("Tasks.db")), 16)
                    .startsWith("SQLite format 3"));

        DbConnection conn(dir.path());
        DbTable wrongKey(conn, QStringLiteral("Developers"));
        wrongKey.applyPassword(QStringLiteral("not the password"));
        QVERIFY_THROWS_EXCEPTION(DataError, wrongKey.open());
        // Without a password given, the table opens with its own.
        DbTable withKey(conn, QStringLiteral("Developers.ADT"));
        withKey.open();
        withKey.append();
        withKey.fieldByName(QStringLiteral("LoginName")).setAsString(QStringLiteral("admin"));
        withKey.post();
        QCOMPARE(withKey.recordCount(), 1);
        QVERIFY(!head(users, 4096).contains("admin"));
    }

    // The users table's password is the data layer's business: a statement
    // that names the table reads and writes it on a fresh connection.
    void statementsReachTheUsersTableWithoutAPassword() {
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        {
            DbConnection conn(dir.path());
            QCOMPARE(conn.execute(QStringLiteral("insert into \"Developers\" (\"LoginName\", "
                                                 "\"Name\") values (?, ?)"),
                                  {QStringLiteral("mia"), QStringLiteral("Mia")}),
                     1);
        }
        DbConnection conn(dir.path());
        DbQuery q(conn, QStringLiteral("select \"Name\" from developers order by \"Name\""));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("Mia"));
    }

    void presentTableIsLeftAlone() {
        QTemporaryDir dir;
        CreateTableTasks(dir.path());
        // A Tasks table holding a row, under an upper-case file name.
        const QString upper = QDir(dir.path()).filePath(QStringLiteral("TASKS.DB"));
        QVERIFY(QFile::rename(QDir(dir.path()).filePath(QStringLiteral("Tasks.db")), upper));
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(upper.toUtf8().constData(), &raw), SQLITE_OK);
        QCOMPARE(sqlite3_exec(raw, "INSERT INTO Tasks (Name) VALUES ('kept')", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
        sqlite3_close(raw);

        CreateAllTables(dir.path());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Tasks.db"))));
        for (const TableDef& t : allTableDefs())
            QVERIFY(tablePresent(dir.path(), t));
        DbConnection conn(dir.path());
        DbTable tasks(conn, QStringLiteral("tasks"));
        tasks.open();
        QCOMPARE(tasks.recordCount(), 1);
        QCOMPARE(tasks.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("kept"));
    }

    void staleFilesAreRemovedBeforeCreating() {
        QTemporaryDir dir;
        writeFile(QDir(dir.path()).filePath(QStringLiteral("projects.DB-journal")),
                  "stale journal");
        CreateAllTables(dir.path());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("projects.DB-journal"))));
        DbConnection conn(dir.path());
        DbTable projects(conn, QStringLiteral("Projects"));
        projects.setIndexName(QStringLiteral("DEFAULT DEVELOPER ID"));
        projects.open();
        QCOMPARE(projects.recordCount(), 0);
    }

    void unwritableFolderFailsAtTheFirstTable() {
        QTemporaryDir dir;
        // A regular file where the data folder should be: nothing can be created in it.
        const QString folder = QDir(dir.path()).filePath(QStringLiteral("Data"));
        writeFile(folder, "not a folder");
        QVERIFY_THROWS_EXCEPTION(DataError, CreateAllTables(folder));
        QCOMPARE(g_messages,
                 QStringList{QStringLiteral("Table Developers.adt Could Not Be Created")});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Data")});
    }

    void globalDataModuleReportsUnwritableFolder() {
        QTemporaryDir dir;
        writeFile(QDir(dir.path()).filePath(QStringLiteral("Data")), "not a folder");
        QVERIFY_THROWS_EXCEPTION(DataError, TdmGlobals(dir.path()));
        QCOMPARE(g_messages.size(), 1);
    }

    void damagedFilesGiveAClearErrorAndStayUntouched_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("tasks garbage") << QStringLiteral("Tasks.db") << QByteArray(3000, 'x');
        QTest::newRow("history truncated header")
            << QStringLiteral("History.db") << QByteArray("SQLite format 3\0", 16);
        QTest::newRow("users garbage")
            << QStringLiteral("Developers.db") << QByteArray(5000, '\x07');
        QTest::newRow("projects empty-ish")
            << QStringLiteral("Projects.db") << QByteArray(100, '\0');
    }
    void damagedFilesGiveAClearErrorAndStayUntouched() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString data = TdmGlobals::dataFolderFor(dir.path());
        QDir().mkpath(data);
        CreateAllTables(data);
        const QString path = QDir(data).filePath(file);
        QVERIFY(QFile::remove(path));
        writeFile(path, bytes);
        try {
            TdmGlobals globals(dir.path());
            QFAIL("opening a damaged table must fail");
        } catch (const DataError& e) {
            QVERIFY2(e.message().contains(file), qPrintable(e.message()));
        }
        QCOMPARE(head(path, int(bytes.size()) + 10), bytes);
    }

    void dataFolderIsBesideTheProgram_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("data");
        QTest::newRow("plain") << QStringLiteral("/opt/pelloran")
                               << QStringLiteral("/opt/pelloran/Data");
        QTest::newRow("trailing separator")
            << QStringLiteral("/opt/pelloran/") << QStringLiteral("/opt/pelloran/Data");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/Data");
    }
    void dataFolderIsBesideTheProgram() {
        QFETCH(QString, program);
        QFETCH(QString, data);
        QCOMPARE(TdmGlobals::dataFolderFor(program), data);
    }
};

QTEST_GUILESS_MAIN(TestTables)
#include "tst_tables.moc"
