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

// Runs statements on one table file with the engine directly; `key` for an
// encrypted file.
bool rawExec(const QString& path, const char* sql, const QByteArray& key = {}) {
    sqlite3* raw = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &raw) == SQLITE_OK;
    if (ok && !key.isEmpty())
        ok = sqlite3_exec(raw, QByteArray("PRAGMA key = '" + key + "'").constData(), nullptr,
                          nullptr, nullptr) == SQLITE_OK;
    if (ok)
        ok = sqlite3_exec(raw, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(raw);
    return ok;
}

// The first value of a statement's first row, read with the engine directly.
qint64 rawValue(const QString& path, const char* sql) {
    sqlite3* raw = nullptr;
    sqlite3_stmt* stmt = nullptr;
    qint64 value = -1;
    if (sqlite3_open(QFile::encodeName(path).constData(), &raw) == SQLITE_OK &&
        sqlite3_prepare_v2(raw, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(raw);
    return value;
}

// Every file of a folder with its bytes, to show that nothing was changed.
QMap<QString, QByteArray> filesIn(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.insert(name, f.readAll());
    }
    return files;
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
        // A Tasks table of its own (marked, still without rows: rows beside
        // missing tables are damage), under an upper-case file name.
        const QString upper = QDir(dir.path()).filePath(QStringLiteral("TASKS.DB"));
        QVERIFY(QFile::rename(QDir(dir.path()).filePath(QStringLiteral("Tasks.db")), upper));
        QVERIFY(rawExec(upper, "PRAGMA user_version = 7"));

        CreateAllTables(dir.path());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Tasks.db"))));
        for (const TableDef& t : allTableDefs())
            QVERIFY(tablePresent(dir.path(), t));
        QVERIFY(rawExec(upper, "INSERT INTO Tasks (Name) VALUES ('kept')"));
        DbConnection conn(dir.path());
        DbTable tasks(conn, QStringLiteral("tasks"));
        tasks.open();
        QCOMPARE(tasks.recordCount(), 1);
        QCOMPARE(tasks.fieldByName(QStringLiteral("Name")).asString(), QStringLiteral("kept"));
        QCOMPARE(rawValue(upper, "PRAGMA user_version"), 7); // the same file, not a new one
    }

    // A table file lost beside tables that hold data is damage, not a first
    // start: nothing is created, and the message names what is missing.
    void missingTableBesideDataIsDamage_data() {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QString>("message");
        QTest::newRow("users table")
            << QStringList{QStringLiteral("Developers.db")}
            << QStringLiteral("Developers.db is missing from the data folder %1, while Tasks.db "
                              "there holds data.\n\nRestore it from a backup. Nothing has been "
                              "created or changed.");
        QTest::newRow("two tables")
            << QStringList{QStringLiteral("Projects.db"), QStringLiteral("History.db")}
            << QStringLiteral("History.db and Projects.db are missing from the data folder %1, "
                              "while Tasks.db there holds data.\n\nRestore them from a backup. "
                              "Nothing has been created or changed.");
    }
    void missingTableBesideDataIsDamage() {
        QFETCH(QStringList, removed);
        QFETCH(QString, message);
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        QVERIFY(rawExec(QDir(dir.path()).filePath(QStringLiteral("Tasks.db")),
                        "INSERT INTO Tasks (Name) VALUES ('kept')"));
        for (const QString& f : removed)
            QVERIFY(QFile::remove(QDir(dir.path()).filePath(f)));
        const QMap<QString, QByteArray> before = filesIn(dir.path());
        try {
            CreateAllTables(dir.path());
            QFAIL("a lost table beside data must not be made afresh");
        } catch (const DamagedDataError& e) {
            QCOMPARE(e.message(), message.arg(dir.path()));
            QCOMPARE(e.file(), QDir(dir.path())
                                   .filePath(removed.size() == 1 ? removed[0]
                                                                 : QStringLiteral("History.db")));
        }
        QCOMPARE(filesIn(dir.path()), before);
        QVERIFY(g_messages.isEmpty());
    }

    void missingTableBesideEmptyTablesIsCreated() {
        // An earlier first start that stopped half-way: nothing is lost yet.
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        QVERIFY(QFile::remove(QDir(dir.path()).filePath(QStringLiteral("Developers.db"))));
        CreateAllTables(dir.path());
        QVERIFY(tablePresent(dir.path(), *findTableDef(QStringLiteral("Developers"))));
    }

    // A table file that is garbage, cut short, encrypted under another key,
    // empty or not ours: a plain message naming the file and the cause, and
    // not a byte changed.
    void damagedTableFile_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("cause");
        const QString notADatabase = QStringLiteral("is not a database or is damaged");
        QTest::newRow("garbage") << QStringLiteral("Tasks.db") << QStringLiteral("garbage")
                                 << notADatabase;
        QTest::newRow("truncated")
            << QStringLiteral("Tasks.db") << QStringLiteral("truncated") << notADatabase;
        QTest::newRow("users table under another key")
            << QStringLiteral("Developers.db") << QStringLiteral("other key") << notADatabase;
        QTest::newRow("plain table encrypted")
            << QStringLiteral("History.db") << QStringLiteral("other key") << notADatabase;
        QTest::newRow("empty") << QStringLiteral("Projects.db") << QStringLiteral("empty")
                               << QStringLiteral("is empty");
        QTest::newRow("another table")
            << QStringLiteral("Projects.db") << QStringLiteral("another table")
            << QStringLiteral("does not hold the table Projects");
        QTest::newRow("a field missing")
            << QStringLiteral("Features.db") << QStringLiteral("field missing")
            << QStringLiteral("does not hold the table Features as Pelloran keeps it (the "
                              "field \"Description\" is missing)");
    }
    void damagedTableFile() {
        QFETCH(QString, file);
        QFETCH(QString, damage);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        CreateAllTables(dir.path());
        const QString path = QDir(dir.path()).filePath(file);
        const QString tasks = QDir(dir.path()).filePath(QStringLiteral("Tasks.db"));
        QVERIFY(rawExec(tasks, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                               "WHERE i < 500) INSERT INTO Tasks (Name, Notes) SELECT 'task ' || "
                               "i, printf('%.200c', 'x') FROM n"));
        const QString table = QFileInfo(file).completeBaseName();
        if (damage == QLatin1String("garbage")) {
            writeFile(path, QByteArray(20000, '\x5a'));
        } else if (damage == QLatin1String("truncated")) {
            QFile f(path);
            QVERIFY(f.size() > 8 * 4096);
            QVERIFY(f.resize(f.size() / 2));
        } else if (damage == QLatin1String("other key")) {
            QVERIFY(QFile::remove(path));
            QVERIFY(rawExec(path,
                            QByteArray("CREATE TABLE \"" + table.toUtf8() +
                                       "\" (x); INSERT INTO \"" + table.toUtf8() + "\" VALUES (1)")
                                .constData(),
                            "another key"));
        } else if (damage == QLatin1String("empty")) {
            writeFile(path, QByteArray());
        } else if (damage == QLatin1String("another table")) {
            QVERIFY(QFile::remove(path));
            QVERIFY(rawExec(path, "CREATE TABLE Notes (x)"));
        } else if (damage == QLatin1String("field missing")) {
            QVERIFY(QFile::remove(path));
            QVERIFY(rawExec(path, "CREATE TABLE Features (\"Feature ID\" INTEGER PRIMARY KEY, "
                                  "\"Project ID\" INTEGER, Name VARCHAR(60))"));
        }
        const QMap<QString, QByteArray> before = filesIn(dir.path());
        try {
            CreateAllTables(dir.path());
            QFAIL("a damaged table must stop the start");
        } catch (const DamagedDataError& e) {
            QCOMPARE(e.message(), QStringLiteral("%1 in %2 %3.\n\nRestore the file from a backup. "
                                                 "Nothing has been changed.")
                                      .arg(file, dir.path(), cause));
            QCOMPARE(e.file(), path);
        }
        QCOMPARE(filesIn(dir.path()), before);
        QVERIFY(g_messages.isEmpty());
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
