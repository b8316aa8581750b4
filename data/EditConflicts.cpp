#include "data/EditConflicts.h"

#include "data/Dataset.h"

namespace {
constexpr TaskRowField kAllFields[] = {TaskRowField::Feature,
                                       TaskRowField::Name,
                                       TaskRowField::Priority,
                                       TaskRowField::OriginalEstimate,
                                       TaskRowField::CurrentEstimate,
                                       TaskRowField::ElapsedTime,
                                       TaskRowField::Status,
                                       TaskRowField::Developer,
                                       TaskRowField::Notes};
} // namespace

TaskRow TaskRow::of(DbDataset& tasks) {
    TaskRow row;
    row.values = TaskValues::of(tasks);
    row.originalEstimate = tasks.fieldByName(QStringLiteral("Original Estimate")).asFloat();
    row.notes = tasks.fieldByName(QStringLiteral("Notes")).asString();
    return row;
}

bool TaskRow::differsIn(TaskRowField field, const TaskRow& other) const {
    switch (field) {
    case TaskRowField::Feature:
        return values.differsIn(TaskField::Feature, other.values);
    case TaskRowField::Name:
        return values.differsIn(TaskField::Name, other.values);
    case TaskRowField::Priority:
        return values.differsIn(TaskField::Priority, other.values);
    case TaskRowField::OriginalEstimate:
        return originalEstimate != other.originalEstimate;
    case TaskRowField::CurrentEstimate:
        return values.differsIn(TaskField::CurrentEstimate, other.values);
    case TaskRowField::ElapsedTime:
        return values.differsIn(TaskField::ElapsedTime, other.values);
    case TaskRowField::Status:
        return values.differsIn(TaskField::Status, other.values);
    case TaskRowField::Developer:
        return values.differsIn(TaskField::Developer, other.values);
    case TaskRowField::Notes:
        return notes != other.notes;
    }
    return false;
}

void TaskRow::take(TaskRowField field, const TaskRow& from) {
    switch (field) {
    case TaskRowField::Feature:
        values.featureID = from.values.featureID;
        break;
    case TaskRowField::Name:
        values.name = from.values.name;
        break;
    case TaskRowField::Priority:
        values.priority = from.values.priority;
        break;
    case TaskRowField::OriginalEstimate:
        originalEstimate = from.originalEstimate;
        break;
    case TaskRowField::CurrentEstimate:
        values.currentEstimate = from.values.currentEstimate;
        break;
    case TaskRowField::ElapsedTime:
        values.elapsedTime = from.values.elapsedTime;
        break;
    case TaskRowField::Status:
        values.status = from.values.status;
        break;
    case TaskRowField::Developer:
        values.developerID = from.values.developerID;
        break;
    case TaskRowField::Notes:
        notes = from.notes;
        break;
    }
}

std::vector<TaskRowField> changedTaskRowFields(const TaskRow& a, const TaskRow& b) {
    std::vector<TaskRowField> fields;
    for (TaskRowField f : kAllFields) {
        if (a.differsIn(f, b))
            fields.push_back(f);
    }
    return fields;
}

TaskRow EditComparison::merged(const TaskRow& stored, const TaskRow& wanted,
                               ConflictChoice choice) const {
    TaskRow row = stored;
    for (TaskRowField f : mine)
        row.take(f, wanted);
    if (choice == ConflictChoice::SaveMine) {
        for (TaskRowField f : conflicts)
            row.take(f, wanted);
    }
    return row;
}

EditComparison compareEdit(const TaskRow& opened, const TaskRow& stored, const TaskRow& wanted) {
    EditComparison c;
    for (TaskRowField f : kAllFields) {
        if (!wanted.differsIn(f, opened))
            continue; // not mine: whatever is stored stays
        if (!wanted.differsIn(f, stored))
            continue; // stored already holds my value: nothing to write
        if (stored.differsIn(f, opened))
            c.conflicts.push_back(f);
        else
            c.mine.push_back(f);
    }
    return c;
}

QString taskRowFieldCaption(TaskRowField field) {
    switch (field) {
    case TaskRowField::Feature:
        return QStringLiteral("Feature");
    case TaskRowField::Name:
        return QStringLiteral("Task name");
    case TaskRowField::Priority:
        return QStringLiteral("Priority");
    case TaskRowField::OriginalEstimate:
        return QStringLiteral("Original Estimate");
    case TaskRowField::CurrentEstimate:
        return QStringLiteral("Current Estimate");
    case TaskRowField::ElapsedTime:
        return QStringLiteral("Elapsed Time");
    case TaskRowField::Status:
        return QStringLiteral("Status");
    case TaskRowField::Developer:
        return QStringLiteral("Developer");
    case TaskRowField::Notes:
        return QStringLiteral("Notes");
    }
    return {};
}

QString taskRowFieldText(TaskRowField field, const TaskRow& row, const TaskNames& names) {
    auto named = [](const std::function<std::optional<QString>(int)>& lookUp, int id) {
        const std::optional<QString> name = lookUp ? lookUp(id) : std::nullopt;
        return name.value_or(QStringLiteral("Unknown"));
    };
    switch (field) {
    case TaskRowField::Feature:
        return named(names.featureName, row.values.featureID);
    case TaskRowField::Name:
        return row.values.name;
    case TaskRowField::Priority:
        return QString::number(row.values.priority);
    case TaskRowField::OriginalEstimate:
        return DbField::textOf(FieldKind::Float, row.originalEstimate);
    case TaskRowField::CurrentEstimate:
        return DbField::textOf(FieldKind::Float, row.values.currentEstimate);
    case TaskRowField::ElapsedTime:
        return DbField::textOf(FieldKind::Float, row.values.elapsedTime);
    case TaskRowField::Status:
        return row.values.status;
    case TaskRowField::Developer:
        return named(names.developerName, row.values.developerID);
    case TaskRowField::Notes:
        return row.notes;
    }
    return {};
}

std::optional<QString> lastChangedBy(DbConnection& conn, int taskID) {
    DbQuery q(conn, QStringLiteral(R"(select d."Name"
from history h join developers d on d."Developer ID" = h."User ID"
where h."Task ID" = :TaskID
order by h."Task History ID" desc
limit 1)"));
    q.paramByName(QStringLiteral("TaskID")).setValue(taskID);
    q.open();
    if (!q.hasCurrent())
        return std::nullopt;
    return q.field(0).asString();
}

void setTaskRowField(DbDataset& tasks, TaskRowField field, const TaskRow& row) {
    auto f = [&tasks](const char* name) -> DbField& {
        return tasks.fieldByName(QString::fromLatin1(name));
    };
    switch (field) {
    case TaskRowField::Feature:
        f("Feature ID").setAsInteger(row.values.featureID);
        break;
    case TaskRowField::Name:
        f("Name").setAsString(row.values.name);
        break;
    case TaskRowField::Priority:
        f("Priority").setAsInteger(row.values.priority);
        break;
    case TaskRowField::OriginalEstimate:
        f("Original Estimate").setAsFloat(row.originalEstimate);
        break;
    case TaskRowField::CurrentEstimate:
        f("Current Estimate").setAsFloat(row.values.currentEstimate);
        break;
    case TaskRowField::ElapsedTime:
        f("Elapsed Time").setAsFloat(row.values.elapsedTime);
        break;
    case TaskRowField::Status:
        f("Status").setAsString(row.values.status);
        break;
    case TaskRowField::Developer:
        f("Developer ID").setAsInteger(row.values.developerID);
        break;
    case TaskRowField::Notes:
        f("Notes").setAsString(row.notes);
        break;
    }
}

namespace {
QVariantList valuesOf(DbDataset& ds, const QStringList& fields) {
    QVariantList values;
    for (const QString& name : fields) {
        values << ds.fieldByName(name).value();
    }
    return values;
}
} // namespace

RowSnapshot RowSnapshot::of(DbDataset& editing, const QString& table, const QString& idField,
                            const QStringList& fields) {
    RowSnapshot s;
    s.table = table;
    s.idField = idField;
    s.id = editing.fieldByName(idField).asInteger();
    s.fields = fields;
    s.values = valuesOf(editing, fields);
    return s;
}

bool RowSnapshot::changedIn(DbConnection& conn) const {
    DbTable stored(conn, table);
    stored.open();
    if (!stored.locate(idField, id))
        return true;
    return valuesOf(stored, fields) != values;
}

QString changedByOthersQuestion(const QString& thing) {
    return thing + QStringLiteral(" was changed by someone else since you opened it. Overwrite "
                                  "their changes, or reload?");
}
