#pragma once
// What a saved task means for its history: the task values the history
// watches, the change lines that compare two sets of them, and the History
// row that records a save. The task editor and the one-click changes of the
// project data module both write their rows through here.
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class DbDataset;
class DbTable;

// The task fields the history watches, in the order their lines appear.
enum class TaskField { Feature, Name, Priority, CurrentEstimate, ElapsedTime, Status, Developer };

// The watched values of one task. "Original Estimate" and "Notes" are not
// watched. Empty fields read as 0 or the empty text.
struct TaskValues {
    int featureID = 0;
    QString name;
    int priority = 0;
    double currentEstimate = 0;
    double elapsedTime = 0;
    QString status;
    int developerID = 0;

    // The values of the current record of a dataset over the Tasks table.
    static TaskValues of(DbDataset& tasks);

    // Exact comparison: letter case, blanks and every bit of a number count.
    bool differsIn(TaskField field, const TaskValues& other) const;
    bool operator==(const TaskValues&) const = default;
};

// The watched fields in which the two differ, in line order.
std::vector<TaskField> changedTaskFields(const TaskValues& a, const TaskValues& b);

// How the lines name a feature or a developer by id; nullopt when there is
// no row with that id.
struct TaskNames {
    std::function<std::optional<QString>(int featureID)> featureName;
    std::function<std::optional<QString>(int developerID)> developerName;
};

// The change lines of one save, one per changed watched field in line order
// ("Feature changed from %s to %s", ..., "Task assigned to %s"); empty when
// nothing watched changed. Numbers are written in general form with the
// user's decimal separator; a feature that no longer exists is "Unknown".
QStringList taskChangeLines(const TaskValues& before, const TaskValues& after,
                            const TaskNames& names);

// Lines as the "Change Description" holds them: each one followed by CR LF.
QString changeDescriptionOf(const QStringList& lines);

// "Modified by %s" and "Task added by %s", kept with the program's texts.
QString modifiedByText(const QString& userName);
QString taskAddedByText(const QString& userName);

enum class HistoryAction { TaskAdded, Modified };

// Appends one History row of the task through `history` (a table object on
// History): "Task added by %s" alone, or "Modified by %s" with the change
// description and the local date and time. Call it inside the transaction
// that stores the change, so both are kept or neither.
void writeHistoryRow(DbTable& history, int taskID, int userID, const QString& userName,
                     HistoryAction action, const QString& changeDescription = {});

// The History row of a task save: the add row for a new task, otherwise a
// "Modified by %s" row with the change lines, or no row when nothing watched
// changed. Returns whether a row was written.
bool recordTaskSave(DbTable& history, int taskID, int userID, const QString& userName,
                    bool isNewTask, const TaskValues& before, const TaskValues& after,
                    const TaskNames& names);
