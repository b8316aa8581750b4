#include "data/TaskHistory.h"

#include "data/Dataset.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {
QString numberText(double v) {
    return DbField::textOf(FieldKind::Float, v);
}

std::optional<QString> lookUp(const std::function<std::optional<QString>(int)>& names, int id) {
    return names ? names(id) : std::nullopt;
}

QString changedFrom(const QString& what, const QString& from, const QString& to) {
    // Joined rather than formatted, so a name holding "%1" stays as it is.
    return what + QStringLiteral(" changed from ") + from + QStringLiteral(" to ") + to;
}

QString changeLine(TaskField field, const TaskValues& before, const TaskValues& after,
                   const TaskNames& names) {
    switch (field) {
    case TaskField::Feature:
        return changedFrom(
            QStringLiteral("Feature"),
            lookUp(names.featureName, before.featureID).value_or(QStringLiteral("Unknown")),
            lookUp(names.featureName, after.featureID).value_or(QString()));
    case TaskField::Name:
        return changedFrom(QStringLiteral("Task name"), before.name, after.name);
    case TaskField::Priority:
        return changedFrom(QStringLiteral("Priority"), QString::number(before.priority),
                           QString::number(after.priority));
    case TaskField::CurrentEstimate:
        return changedFrom(QStringLiteral("Current Estimate"), numberText(before.currentEstimate),
                           numberText(after.currentEstimate));
    case TaskField::ElapsedTime:
        return changedFrom(QStringLiteral("Elapsed Time"), numberText(before.elapsedTime),
                           numberText(after.elapsedTime));
    case TaskField::Status:
        return changedFrom(QStringLiteral("Status"), before.status, after.status);
    case TaskField::Developer:
        // Only the developer now assigned is named.
        return QStringLiteral("Task assigned to ") +
               lookUp(names.developerName, after.developerID).value_or(QString());
    }
    return {};
}
} // namespace

TaskValues TaskValues::of(DbDataset& tasks) {
    TaskValues v;
    v.featureID = tasks.fieldByName(QStringLiteral("Feature ID")).asInteger();
    v.name = tasks.fieldByName(QStringLiteral("Name")).asString();
    v.priority = tasks.fieldByName(QStringLiteral("Priority")).asInteger();
    v.currentEstimate = tasks.fieldByName(QStringLiteral("Current Estimate")).asFloat();
    v.elapsedTime = tasks.fieldByName(QStringLiteral("Elapsed Time")).asFloat();
    v.status = tasks.fieldByName(QStringLiteral("Status")).asString();
    v.developerID = tasks.fieldByName(QStringLiteral("Developer ID")).asInteger();
    return v;
}

bool TaskValues::differsIn(TaskField field, const TaskValues& other) const {
    switch (field) {
    case TaskField::Feature:
        return featureID != other.featureID;
    case TaskField::Name:
        return name != other.name;
    case TaskField::Priority:
        return priority != other.priority;
    case TaskField::CurrentEstimate:
        return currentEstimate != other.currentEstimate;
    case TaskField::ElapsedTime:
        return elapsedTime != other.elapsedTime;
    case TaskField::Status:
        return status != other.status;
    case TaskField::Developer:
        return developerID != other.developerID;
    }
    return false;
}

std::vector<TaskField> changedTaskFields(const TaskValues& a, const TaskValues& b) {
    std::vector<TaskField> fields;
    for (TaskField f :
         {TaskField::Feature, TaskField::Name, TaskField::Priority, TaskField::CurrentEstimate,
          TaskField::ElapsedTime, TaskField::Status, TaskField::Developer}) {
        if (a.differsIn(f, b))
            fields.push_back(f);
    }
    return fields;
}

QStringList taskChangeLines(const TaskValues& before, const TaskValues& after,
                            const TaskNames& names) {
    QStringList lines;
    for (TaskField f : changedTaskFields(before, after))
        lines << changeLine(f, before, after, names);
    return lines;
}

QString changeDescriptionOf(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QString modifiedByText(const QString& userName) {
    return QCoreApplication::translate("TaskHistory", "Modified by %1").arg(userName);
}

QString taskAddedByText(const QString& userName) {
    return QCoreApplication::translate("TaskHistory", "Task added by %1").arg(userName);
}

void writeHistoryRow(DbTable& history, int taskID, int userID, const QString& userName,
                     HistoryAction action, const QString& changeDescription) {
    history.append();
    try {
        history.fieldByName(QStringLiteral("Task ID")).setAsInteger(taskID);
        history.fieldByName(QStringLiteral("User ID")).setAsInteger(userID);
        DbField& actionText = history.fieldByName(QStringLiteral("Action Description"));
        if (action == HistoryAction::TaskAdded) {
            actionText.setAsString(taskAddedByText(userName));
        } else {
            actionText.setAsString(modifiedByText(userName));
            history.fieldByName(QStringLiteral("Change Description"))
                .setAsString(changeDescription);
            history.fieldByName(QStringLiteral("Modified Datestamp"))
                .setAsDateTime(QDateTime::currentDateTime());
        }
        history.post();
    } catch (...) {
        // No half-filled row stays pending in the caller's cursor.
        history.cancel();
        throw;
    }
}

bool recordTaskSave(DbTable& history, int taskID, int userID, const QString& userName,
                    bool isNewTask, const TaskValues& before, const TaskValues& after,
                    const TaskNames& names) {
    if (isNewTask) {
        writeHistoryRow(history, taskID, userID, userName, HistoryAction::TaskAdded);
        return true;
    }
    const QStringList lines = taskChangeLines(before, after, names);
    if (lines.isEmpty())
        return false;
    writeHistoryRow(history, taskID, userID, userName, HistoryAction::Modified,
                    changeDescriptionOf(lines));
    return true;
}
