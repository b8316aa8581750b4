#include "data/ProjectData.h"

#include "data/GlobalData.h"
#include "data/TaskHistory.h"

TdmProjects* dmProjects = nullptr;

const char* const TdmProjects::kScheduleSql =
    R"(select tasks."Task ID",
       features."Name" "Feature",
       tasks."Name" "Task",
       tasks."Priority",
       tasks."Original Estimate",
       tasks."Current Estimate",
       tasks."Elapsed Time",
       tasks."Status",
       tasks.Notes,
       developers."Name" "Developer",
       (tasks."Current Estimate" - tasks."Elapsed Time") "Time Remaining"

from features inner join tasks on (features."Feature ID" = Tasks."Feature ID")
              left outer join developers on (developers."Developer ID" = Tasks."Developer ID")

where (features."Project ID" = :"Project ID")

order by features."Name",
         tasks."Priority")";

const char* const TdmProjects::kMyTasksCountSql =
    R"(select count(*)
from tasks left outer join features on (features."feature id" = tasks."feature id")
where (features."project id" = :ProjectID) 
   and (tasks."Developer ID" = :DeveloperID)
   and (tasks."Status" <> 'Complete'))";

TdmProjects::TdmProjects(TdmGlobals& globals, QObject* parent)
    : QObject(parent)
    , globals_(globals) {
    setObjectName(QStringLiteral("dmProjects"));
    dmProjects = this;
    DbConnection& conn = globals_.Connection();
    sqlSchedule = new DbQuery(conn, QString::fromUtf8(kScheduleSql), this);
    sqlSchedule->setObjectName(QStringLiteral("sqlSchedule"));
    dbProjects = new DbTable(conn, QStringLiteral("Projects.adt"), this);
    dbProjects->setObjectName(QStringLiteral("dbProjects"));
    sqlSchedule->setMasterSource(dbProjects);
    dbHistory = new DbTable(conn, QStringLiteral("History.adt"), this);
    dbHistory->setObjectName(QStringLiteral("dbHistory"));
    dbHistory->setIndexName(QStringLiteral("TASK ID"));
    sqlMyTasksCount = new DbQuery(conn, QString::fromUtf8(kMyTasksCountSql), this);
    sqlMyTasksCount->setObjectName(QStringLiteral("sqlMyTasksCount"));
    sqlProjectCount = new DbQuery(conn, QStringLiteral("select count(*) from projects"), this);
    sqlProjectCount->setObjectName(QStringLiteral("sqlProjectCount"));
    connect(sqlSchedule, &DbDataset::afterOpen, this, [this] { sqlScheduleAfterOpen(); });
    try {
        DataModuleCreate();
    } catch (...) {
        dmProjects = nullptr;
        throw;
    }
}

TdmProjects::~TdmProjects() {
    // Queries and tables close before the connection they were lent.
    delete sqlSchedule;
    delete dbProjects;
    delete dbHistory;
    delete sqlMyTasksCount;
    delete sqlProjectCount;
    if (dmProjects == this)
        dmProjects = nullptr;
}

void TdmProjects::DataModuleCreate() {
    dbProjects->open();
    sqlSchedule->open();
    dbHistory->open();
}

void TdmProjects::sqlScheduleAfterOpen() {
    sqlMyTasksCount->close();
    sqlMyTasksCount->paramByName(QStringLiteral("ProjectID"))
        .setAsInteger(sqlSchedule->paramByName(QStringLiteral("Project ID")).asInteger());
    sqlMyTasksCount->paramByName(QStringLiteral("DeveloperID"))
        .setAsInteger(globals_.CurrentUserID);
    sqlMyTasksCount->open();
    if (!window_)
        return;
    try {
        const QString caption =
            QStringLiteral("My incomplete tasks: %1").arg(sqlMyTasksCount->field(0).asString());
        window_->setMyTasksItems(caption, sqlMyTasksCount->hasCurrent());
    } catch (...) {
        // The side panel is cosmetic; a failure there must not stop the schedule.
    }
}

void TdmProjects::reopenScheduleAt(int taskID) {
    rerunSchedule();
    sqlSchedule->locate(QStringLiteral("Task ID"), taskID);
}

void TdmProjects::rerunSchedule() {
    // In one step, so views go from the old rows straight to the new ones.
    if (sqlSchedule->active())
        sqlSchedule->refresh();
    else
        sqlSchedule->open();
}

void TdmProjects::rereadAll() {
    const int projectID = currentProjectID();
    const int taskID = sqlSchedule->hasCurrent()
                           ? sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger()
                           : 0;
    // The project row read again (or, when it is gone, the first project):
    // the schedule follows through its master link and runs again.
    dbProjects->refresh();
    if (!dbProjects->active())
        rerunSchedule();
    // Back to the task the schedule was on when it is still there; when it was
    // deleted the schedule stays on the row that took its place.
    if (taskID != 0 && currentProjectID() == projectID && sqlSchedule->hasCurrent() &&
        sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger() != taskID)
        sqlSchedule->locate(QStringLiteral("Task ID"), taskID);
}

void TdmProjects::DeleteTask(int taskID) {
    DbTable tasks(globals_.Connection(), QStringLiteral("Tasks"));
    tasks.open();
    if (tasks.locate(QStringLiteral("Task ID"), taskID)) {
        tasks.deleteRecord();
        rerunSchedule();
    }
}

void TdmProjects::ChangeTask(const QString& fieldName, const QVariant& value) {
    const bool focused = window_ ? window_->hasFocusedTask() : sqlSchedule->hasCurrent();
    if (!focused || !sqlSchedule->hasCurrent())
        return;
    const bool expanded = window_ ? window_->focusedTaskExpanded() : false;
    const int taskID = sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger();

    DbConnection& conn = globals_.Connection();
    DbTable tasks(conn, QStringLiteral("Tasks"));
    tasks.open();
    {
        // Reading the old value and writing the new one and its history row
        // happen under one write lock: both or neither, and no lost update.
        DbConnection::Transaction tx(conn);
        if (!tasks.locate(QStringLiteral("Task ID"), taskID))
            return;
        DbField& field = tasks.fieldByName(fieldName);
        QString change = field.name() + QStringLiteral(" changed from ") + field.asString();
        QVariant newValue = value;
        if (field.name() == QLatin1String("Elapsed Time") && !field.isNull()) {
            // The caller added to the value it showed; add the same to what is
            // stored now, so an hour another copy added meanwhile is kept.
            const DbField* shown = sqlSchedule->findField(field.name());
            if (shown)
                newValue = field.asFloat() + (value.toDouble() - shown->asFloat());
        }
        if (betweenReadAndWrite_)
            betweenReadAndWrite_();
        tasks.edit();
        field.setValue(newValue);
        tasks.post();
        change += QStringLiteral(" to ") + field.asString();
        writeHistoryRow(*dbHistory, taskID, globals_.CurrentUserID, globals_.CurrentUserName,
                        HistoryAction::Modified, change);
        tx.commit();
    }
    reopenScheduleAt(taskID);
    if (window_) {
        try {
            window_->setFocusedTaskExpanded(expanded);
        } catch (...) {
            // Keeping the row expanded is a courtesy; the change itself is saved.
        }
    }
}

int TdmProjects::GetDefaultDeveloper(int projectID) {
    DbTable projects(globals_.Connection(), QStringLiteral("Projects"));
    projects.open();
    if (!projects.locate(QStringLiteral("Project ID"), projectID))
        return 0;
    const DbField& f = projects.fieldByName(QStringLiteral("Default Developer ID"));
    if (f.isNull() || f.asInteger() == 0)
        return globals_.CurrentUserID;
    return f.asInteger();
}

int TdmProjects::currentProjectID() const {
    return dbProjects->hasCurrent()
               ? dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger()
               : 0;
}

int TdmProjects::GetProjectCount() {
    sqlProjectCount->close();
    sqlProjectCount->open();
    const int count = sqlProjectCount->field(0).asInteger();
    sqlProjectCount->close();
    return count;
}
