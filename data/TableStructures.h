#pragma once
// The five tables: their fields, widths and index tags, and the routines that
// create a missing table in the data folder. This is the one place where the
// tables are defined; the dataset layer reads its field kinds from here.
#include <QList>
#include <QString>

enum class FieldKind { AutoInc, Integer, Float, Character, Memo, DateTime, Boolean };

struct FieldDef {
    QString name;
    FieldKind kind;
    int width = 0; // characters, for Character fields
};

struct IndexDef {
    QString tag;        // the name datasets choose their order by, e.g. "LOGINNAME"
    QString field;      // the field the key is made of
    bool upper = false; // key is the upper-cased field value
    bool unique = false;
};

struct TableDef {
    QString name; // "Developers", "Projects", "Features", "Tasks", "History"
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    bool encrypted = false;

    QString fileName() const { return name + QStringLiteral(".db"); }
    QString schema() const { return name.toLower(); }
    const FieldDef* field(const QString& fieldName) const;
    const IndexDef* index(const QString& tag) const;
};

// The password of the encrypted users table.
inline const QString kTablePassword = QStringLiteral("velvetquarry");

// The table a name refers to, ignoring case and a legacy file suffix that
// older names carry; null when unknown.
const TableDef* findTableDef(const QString& tableName);
// All five, in the order they are created.
const QList<TableDef>& allTableDefs();

// True when the folder holds the table's database file (name matched without regard to case).
bool tablePresent(const QString& folder, const TableDef& table);

// Creates every table the folder lacks: Developers, Features, History,
// Projects, Tasks, in that order. A failure shows the table's "could not be
// created" message and is raised again, stopping there.
void CreateAllTables(const QString& dataFolder);
void CreateTableDevelopers(const QString& dataFolder);
void CreateTableFeatures(const QString& dataFolder);
void CreateTableHistory(const QString& dataFolder);
void CreateTableProjects(const QString& dataFolder);
void CreateTableTasks(const QString& dataFolder);

// Shows the "could not be created" message; replaced by tests and by the UI
// layer (the data layer itself never opens a window). Default: prints to stderr.
using TableMessageFn = void (*)(const QString& message);
void setTableMessageHandler(TableMessageFn fn);
