#pragma once
// What a save means when someone else changed the row while an editor held
// it open: the row as the editor opened it, as it is stored now and as the
// user wants it. Fields only the other person changed stay as stored; fields
// only this user changed are written; fields both changed to different values
// are conflicts the user decides on.
#include "data/TaskHistory.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

class DbConnection;
class DbDataset;

// Every field of a task the task editor writes, in the order of the editor.
enum class TaskRowField {
    Feature,
    Name,
    Priority,
    OriginalEstimate,
    CurrentEstimate,
    ElapsedTime,
    Status,
    Developer,
    Notes
};

// The editable values of one task: the watched ones plus the two the history
// does not describe.
struct TaskRow {
    TaskValues values;
    double originalEstimate = 0;
    QString notes;

    // The values of the current record of a dataset over the Tasks table.
    static TaskRow of(DbDataset& tasks);

    bool differsIn(TaskRowField field, const TaskRow& other) const;
    // Takes the one field from `from`.
    void take(TaskRowField field, const TaskRow& from);
    bool operator==(const TaskRow&) const = default;
};

// The fields in which the two rows differ, in editor order.
std::vector<TaskRowField> changedTaskRowFields(const TaskRow& a, const TaskRow& b);

// What to do with the fields both people changed.
enum class ConflictChoice { SaveMine, KeepTheirs };

// The comparison of one save against what is stored now.
struct EditComparison {
    // Fields this user changed and the other did not (or to the same value
    // only when it differs from the stored one): written as they are.
    std::vector<TaskRowField> mine;
    // Fields both changed, to different values.
    std::vector<TaskRowField> conflicts;

    // The row to store: the stored one with this user's own fields, and the
    // conflicting ones as `choice` says.
    TaskRow merged(const TaskRow& stored, const TaskRow& wanted, ConflictChoice choice) const;
};

// Compares what the editor opened, what is stored now and what the user
// wants, field by field (exactly: case, blanks and every bit of a number).
EditComparison compareEdit(const TaskRow& opened, const TaskRow& stored, const TaskRow& wanted);

// The field's caption as the editor labels it ("Status", "Current Estimate").
QString taskRowFieldCaption(TaskRowField field);
// The field's value as a user reads it: names for the feature and developer
// (looked up through `names`), numbers in general form.
QString taskRowFieldText(TaskRowField field, const TaskRow& row, const TaskNames& names);

// The name of the user of the task's latest History row; nullopt when the
// task has none or that user no longer exists.
std::optional<QString> lastChangedBy(DbConnection& conn, int taskID);

// Writes the one field of `row` into the current record of a dataset over
// the Tasks table, which must be in edit state.
void setTaskRowField(DbDataset& tasks, TaskRowField field, const TaskRow& row);

// The fields a dialog edits of one row, as it opened them; a save asks the
// user first when someone else changed any of them meanwhile.
struct RowSnapshot {
    QString table;
    QString idField;
    int id = 0;
    QStringList fields;
    QVariantList values;

    // The named fields of the current record of `editing`.
    static RowSnapshot of(DbDataset& editing, const QString& table, const QString& idField,
                          const QStringList& fields);
    // Whether the stored row differs from the snapshot in one of its fields;
    // a row that is gone counts as changed.
    bool changedIn(DbConnection& conn) const;
};

// The question for a row someone else changed since the dialog opened it;
// `thing` names it ("This feature").
QString changedByOthersQuestion(const QString& thing);
