#include "data/TableStructures.h"

#include "data/Dataset.h"
#include "data/Errors.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

using K = FieldKind;

QList<TableDef> makeDefs() {
    QList<TableDef> t;
    // "Password" holds a password hash (see Passwords.h), which is longer than
    // the 30 characters of a password, so its stored width is larger.
    t.append({QStringLiteral("Developers"),
              {{QStringLiteral("Developer ID"), K::AutoInc},
               {QStringLiteral("LoginName"), K::Character, 20},
               {QStringLiteral("Name"), K::Character, 50},
               {QStringLiteral("Password"), K::Character, 160},
               {QStringLiteral("Default Project ID"), K::Integer},
               {QStringLiteral("Grid Settings"), K::Memo},
               {QStringLiteral("Other Settings"), K::Memo},
               {QStringLiteral("IsAdmin"), K::Boolean}},
              {{QStringLiteral("DEVELOPER ID"), QStringLiteral("Developer ID"), false, true},
               {QStringLiteral("NAME"), QStringLiteral("Name"), true, false},
               {QStringLiteral("LOGINNAME"), QStringLiteral("LoginName"), true, false}},
              true});
    t.append({QStringLiteral("Features"),
              {{QStringLiteral("Feature ID"), K::AutoInc},
               {QStringLiteral("Project ID"), K::Integer},
               {QStringLiteral("Name"), K::Character, 60},
               {QStringLiteral("Description"), K::Memo}},
              {{QStringLiteral("FEATURE ID"), QStringLiteral("Feature ID"), false, true},
               {QStringLiteral("PROJECT ID"), QStringLiteral("Project ID"), false, false},
               {QStringLiteral("NAME"), QStringLiteral("Name"), false, false}},
              false});
    t.append({QStringLiteral("History"),
              {{QStringLiteral("Task History ID"), K::AutoInc},
               {QStringLiteral("Task ID"), K::Integer},
               {QStringLiteral("User ID"), K::Integer},
               {QStringLiteral("Action Description"), K::Character, 50},
               {QStringLiteral("Change Description"), K::Memo},
               {QStringLiteral("Modified Datestamp"), K::DateTime}},
              {{QStringLiteral("TASK HISTORY ID"), QStringLiteral("Task History ID"), false, true},
               {QStringLiteral("TASK ID"), QStringLiteral("Task ID"), false, false},
               {QStringLiteral("USER ID"), QStringLiteral("User ID"), false, false}},
              false});
    t.append({QStringLiteral("Projects"),
              {{QStringLiteral("Project ID"), K::AutoInc},
               {QStringLiteral("Name"), K::Character, 60},
               {QStringLiteral("Default Developer ID"), K::Integer}},
              {{QStringLiteral("PROJECT ID"), QStringLiteral("Project ID"), false, true},
               {QStringLiteral("DEFAULT DEVELOPER ID"), QStringLiteral("Default Developer ID"),
                false, false}},
              false});
    t.append({QStringLiteral("Tasks"),
              {{QStringLiteral("Task ID"), K::AutoInc},
               {QStringLiteral("Developer ID"), K::Integer},
               {QStringLiteral("Feature ID"), K::Integer},
               {QStringLiteral("Name"), K::Character, 60},
               {QStringLiteral("Priority"), K::Integer},
               {QStringLiteral("Original Estimate"), K::Float},
               {QStringLiteral("Current Estimate"), K::Float},
               {QStringLiteral("Elapsed Time"), K::Float},
               {QStringLiteral("Status"), K::Character, 20},
               {QStringLiteral("Notes"), K::Memo}},
              {{QStringLiteral("TASK ID"), QStringLiteral("Task ID"), false, true},
               {QStringLiteral("DEVELOPER ID"), QStringLiteral("Developer ID"), false, false},
               {QStringLiteral("NAME"), QStringLiteral("Name"), false, false},
               {QStringLiteral("STATUS"), QStringLiteral("Status"), false, false}},
              false});
    return t;
}

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString columnType(const FieldDef& f) {
    switch (f.kind) {
    case FieldKind::AutoInc:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldKind::Integer:
        return QStringLiteral("INTEGER");
    case FieldKind::Float:
        return QStringLiteral("DOUBLE");
    case FieldKind::Character:
        return QStringLiteral("VARCHAR(%1)").arg(f.width);
    case FieldKind::Memo:
        return QStringLiteral("CLOB");
    case FieldKind::DateTime:
        return QStringLiteral("DATETIME");
    case FieldKind::Boolean:
        return QStringLiteral("BOOLEAN");
    }
    return {};
}

void defaultMessage(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
TableMessageFn g_message = defaultMessage;

// A private connection on one new file, closed in every case.
class NewFile {
public:
    explicit NewFile(const QString& path) {
        rc_ = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~NewFile() { sqlite3_close_v2(db_); }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    bool opened() const { return rc_ == SQLITE_OK; }
    void exec(const QString& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db_));
            sqlite3_free(err);
            throw DataError(msg);
        }
    }
    QString error() const { return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString(); }

private:
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_CANTOPEN;
};

// Why nothing can be created in the folder, in words a person can act on.
QString folderProblem(const QString& folder, const QString& engineMessage) {
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("the data folder does not exist and could not be made");
    if (!info.isDir())
        return QStringLiteral("a file stands where the data folder should be");
    if (!info.isWritable())
        return QStringLiteral("the data folder cannot be written");
    return engineMessage;
}

// The table's own files: its database and any journal beside it.
QStringList ownFiles(const QString& folder, const TableDef& table) {
    const QString base = table.fileName();
    QStringList files;
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries)
        for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"),
                                      QStringLiteral("-shm")})
            if (e.compare(base + suffix, Qt::CaseInsensitive) == 0)
                files.append(dir.filePath(e));
    return files;
}

// The file of a present table as it is spelled in the folder; empty when missing.
QString presentFile(const QString& folder, const TableDef& table) {
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& e : entries)
        if (e.compare(table.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return {};
}

QString folderShown(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

// "A", "A and B", "A, B and C".
QString listed(const QStringList& names) {
    if (names.size() < 2)
        return names.value(0);
    return QStringList(names.mid(0, names.size() - 1)).join(QStringLiteral(", ")) +
           QStringLiteral(" and ") + names.last();
}

// Reads a present table file without changing it (beyond what the engine
// does for any reader, such as rolling back a crashed writer's journal) and
// returns its number of rows. A file that is not a sound table of its kind
// raises a DamagedDataError naming the file and the cause.
class TableFileCheck {
public:
    TableFileCheck(const QString& path, const QString& folder, const TableDef& table)
        : path_(path)
        , folder_(folder)
        , table_(table) {}
    ~TableFileCheck() { sqlite3_close_v2(db_); }
    TableFileCheck(const TableFileCheck&) = delete;
    TableFileCheck& operator=(const TableFileCheck&) = delete;

    qint64 rows() {
        if (QFileInfo(path_).size() == 0)
            throw damaged(QStringLiteral("is empty"));
        // Read-write without create: a read-only reader could not roll back the
        // journal another copy of the program left when it crashed.
        check(sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_, SQLITE_OPEN_READWRITE,
                              nullptr));
        sqlite3_busy_timeout(db_, DbConnection::kBusyTimeoutMs);
        sqlite3_extended_result_codes(db_, 1);
        if (table_.encrypted) {
            QString key = kTablePassword;
            key.replace(u'\'', QStringLiteral("''"));
            const QByteArray pragma = (QStringLiteral("PRAGMA key = '") + key + u'\'').toUtf8();
            check(sqlite3_exec(db_, pragma.constData(), nullptr, nullptr, nullptr));
        }
        if (query(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                 "AND name = '%1' COLLATE NOCASE")
                      .arg(table_.name)) == 0)
            throw damaged(QStringLiteral("does not hold the table ") + table_.name);
        // Every field the program reads must be there.
        const QStringList present = columnNames();
        for (const FieldDef& f : table_.fields) {
            if (!present.contains(f.name, Qt::CaseInsensitive))
                throw damaged(QStringLiteral("does not hold the table ") + table_.name +
                              QStringLiteral(" as Pelloran keeps it (the field \"") + f.name +
                              QStringLiteral("\" is missing)"));
        }
        return query(QStringLiteral("SELECT count(*) FROM ") + quoted(table_.name));
    }

private:
    DamagedDataError damaged(const QString& cause) const {
        return DamagedDataError(QFileInfo(path_).fileName() + QStringLiteral(" in ") +
                                    folderShown(folder_) + u' ' + cause +
                                    QStringLiteral(".\n\nRestore the file from a backup. "
                                                   "Nothing has been changed."),
                                path_);
    }

    void check(int rc) const {
        if (rc == SQLITE_OK)
            return;
        const QString engine = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
        switch (rc & 0xff) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            throw damaged(QStringLiteral("is not a database or is damaged"));
        case SQLITE_ERROR:
            // A schema the engine cannot make sense of.
            throw damaged(QStringLiteral("does not hold the table ") + table_.name +
                          QStringLiteral(" as Pelloran keeps it (") + engine + u')');
        default:
            // Locked, unreadable, out of memory: trouble, but not damage.
            throw DataError(QStringLiteral("Cannot read the table ") + table_.name +
                                QStringLiteral(": ") + engine,
                            path_);
        }
    }

    QStringList columnNames() {
        const QByteArray sql =
            (QStringLiteral("PRAGMA table_info(") + quoted(table_.name) + u')').toUtf8();
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt, nullptr);
        QStringList names;
        // Column 1 of each row is the field's name.
        while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            names.append(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))));
            rc = SQLITE_OK;
        }
        sqlite3_finalize(stmt);
        check(rc == SQLITE_DONE ? SQLITE_OK : rc);
        return names;
    }

    qint64 query(const QString& sql) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        int rc = sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, nullptr);
        qint64 value = 0;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                value = sqlite3_column_int64(stmt, 0);
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        check(rc);
        return value;
    }

    QString path_;
    QString folder_;
    const TableDef& table_;
    sqlite3* db_ = nullptr;
};

// Before anything is created: every present table must be sound, and a
// missing table beside tables that hold data is a lost file, not a first start.
// Making it afresh would hand the team's data to whoever creates it (a new
// users table makes the next person through the wizard user 1 and owner of
// every task of the old user 1).
void checkPresentTables(const QString& folder) {
    QStringList missing;
    QString missingPath;
    QString holdingRows;
    for (const TableDef& t : allTableDefs()) {
        const QString path = presentFile(folder, t);
        if (path.isEmpty()) {
            missing.append(t.fileName());
            if (missingPath.isEmpty())
                missingPath = QDir(folder).filePath(t.fileName());
            continue;
        }
        if (TableFileCheck(path, folder, t).rows() > 0 && holdingRows.isEmpty())
            holdingRows = QFileInfo(path).fileName();
    }
    if (missing.isEmpty() || holdingRows.isEmpty())
        return;
    const bool one = missing.size() == 1;
    throw DamagedDataError(
        listed(missing) + (one ? QStringLiteral(" is") : QStringLiteral(" are")) +
            QStringLiteral(" missing from the data folder ") + folderShown(folder) +
            QStringLiteral(", while ") + holdingRows +
            QStringLiteral(" there holds data.\n\nRestore ") +
            (one ? QStringLiteral("it") : QStringLiteral("them")) +
            QStringLiteral(" from a backup. Nothing has been created or changed."),
        missingPath);
}

void createTable(const QString& folder, const TableDef& table) {
    if (tablePresent(folder, table))
        return;
    for (const QString& stale : ownFiles(folder, table))
        QFile::remove(stale);
    const QString target = QDir(folder).filePath(table.fileName());
    // Built under a name of its own and moved into place only when complete, so
    // a failure never leaves a half-made table that the next start would trust.
    const QString temp = target + QStringLiteral(".new-") + QString::number(::getpid());
    QFile::remove(temp);
    try {
        {
            NewFile db(temp);
            if (!db.opened())
                throw DataError(QStringLiteral("Cannot create the table ") + table.name +
                                    QStringLiteral(": ") + folderProblem(folder, db.error()),
                                folder);
            if (table.encrypted) {
                QString key = kTablePassword;
                key.replace(u'\'', QStringLiteral("''"));
                db.exec(QStringLiteral("PRAGMA key = '") + key + QStringLiteral("'"));
            }
            db.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            QString cols;
            for (const FieldDef& f : table.fields)
                cols += (cols.isEmpty() ? QString() : QStringLiteral(", ")) + quoted(f.name) +
                        u' ' + columnType(f);
            QString sql = QStringLiteral("BEGIN; CREATE TABLE ") + quoted(table.name) +
                          QStringLiteral(" (") + cols + QStringLiteral(");");
            for (const IndexDef& ix : table.indexes) {
                // The id's index is the table's primary key itself.
                if (table.field(ix.field)->kind == FieldKind::AutoInc)
                    continue;
                const QString key = ix.upper ? QStringLiteral("upper(") + quoted(ix.field) + u')'
                                             : quoted(ix.field);
                sql += QStringLiteral(" CREATE ") +
                       (ix.unique ? QStringLiteral("UNIQUE ") : QString()) +
                       QStringLiteral("INDEX ") + quoted(ix.tag) + QStringLiteral(" ON ") +
                       quoted(table.name) + QStringLiteral(" (") + key + QStringLiteral(");");
            }
            sql += QStringLiteral(" COMMIT;");
            db.exec(sql);
        }
        // link() never replaces: when another copy of the program created the
        // table meanwhile, its table stays and ours is dropped.
        if (::link(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) !=
                0 &&
            !tablePresent(folder, table))
            throw DataError(QStringLiteral("Cannot move the new table into place: ") +
                                QString::fromLocal8Bit(std::strerror(errno)),
                            target);
        QFile::remove(temp);
    } catch (const DataError&) {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
        g_message(QStringLiteral("Table ") + table.name +
                  QStringLiteral(".adt Could Not Be Created"));
        throw;
    }
}

} // namespace

const FieldDef* TableDef::field(const QString& fieldName) const {
    for (const FieldDef& f : fields)
        if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

const IndexDef* TableDef::index(const QString& tag) const {
    for (const IndexDef& ix : indexes)
        if (ix.tag.compare(tag, Qt::CaseInsensitive) == 0)
            return &ix;
    return nullptr;
}

const QList<TableDef>& allTableDefs() {
    static const QList<TableDef> defs = makeDefs();
    return defs;
}

const TableDef* findTableDef(const QString& tableName) {
    QString name = tableName.trimmed();
    if (name.endsWith(QLatin1String(".adt"), Qt::CaseInsensitive))
        name.chop(4);
    for (const TableDef& t : allTableDefs())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

bool tablePresent(const QString& folder, const TableDef& table) {
    return !presentFile(folder, table).isEmpty();
}

void setTableMessageHandler(TableMessageFn fn) {
    g_message = fn ? fn : defaultMessage;
}

void CreateTableDevelopers(const QString& f) {
    createTable(f, *findTableDef(QStringLiteral("Developers")));
}
void CreateTableFeatures(const QString& f) {
    createTable(f, *findTableDef(QStringLiteral("Features")));
}
void CreateTableHistory(const QString& f) {
    createTable(f, *findTableDef(QStringLiteral("History")));
}
void CreateTableProjects(const QString& f) {
    createTable(f, *findTableDef(QStringLiteral("Projects")));
}
void CreateTableTasks(const QString& f) {
    createTable(f, *findTableDef(QStringLiteral("Tasks")));
}

void CreateAllTables(const QString& dataFolder) {
    checkPresentTables(dataFolder);
    CreateTableDevelopers(dataFolder);
    CreateTableFeatures(dataFolder);
    CreateTableHistory(dataFolder);
    CreateTableProjects(dataFolder);
    CreateTableTasks(dataFolder);
}
