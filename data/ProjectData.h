#pragma once
// The project data module: the projects table (its current record is the
// current project), the schedule query, the history table, the count of the
// user's incomplete tasks and the single-field task changes.
#include "data/Dataset.h"

#include <QObject>

#include <functional>

class TdmGlobals;

// What the project data module needs of the main window. The window installs
// itself; before it exists (and in tests without one) nothing is installed.
class IScheduleWindow {
public:
    virtual ~IScheduleWindow() = default;
    // "My incomplete tasks: %s" and the enabled state of the four side panel items.
    virtual void setMyTasksItems(const QString& caption, bool enabled) = 0;
    // The grid's focused row (the schedule query's current record).
    virtual bool hasFocusedTask() const = 0;
    virtual bool focusedTaskExpanded() const = 0;
    virtual void setFocusedTaskExpanded(bool expanded) = 0;
};

class TdmProjects : public QObject {
    Q_OBJECT
public:
    explicit TdmProjects(TdmGlobals& globals, QObject* parent = nullptr);
    ~TdmProjects() override;

    DbQuery* sqlSchedule = nullptr;
    DbTable* dbProjects = nullptr;
    DbTable* dbHistory = nullptr;
    DbQuery* sqlMyTasksCount = nullptr;
    DbQuery* sqlProjectCount = nullptr;

    void setScheduleWindow(IScheduleWindow* window) { window_ = window; }
    IScheduleWindow* scheduleWindow() const { return window_; }

    void sqlScheduleAfterOpen();
    void DeleteTask(int taskID);
    // Changes one field of the focused task and records it in History, in one
    // transaction. "Elapsed Time" with a numeric value adds value minus the
    // shown old value to what is stored, so a concurrent hour is not lost.
    void ChangeTask(const QString& fieldName, const QVariant& value);
    int GetDefaultDeveloper(int projectID);
    int GetProjectCount();
    // The current project's "Project ID"; 0 when there is no project.
    int currentProjectID() const;

    // Run the schedule again and move back to the task.
    void reopenScheduleAt(int taskID);
    // Reads again what the module shows from the tables (the current project's
    // row, the schedule), for changes made elsewhere: the current project and
    // task stay current while they exist.
    void rereadAll();

    // For tests only: called inside ChangeTask after the stored value is read
    // and before the new one is written, so a test can make another copy of
    // the program write in between.
    void setBetweenReadAndWriteHook(std::function<void()> hook) {
        betweenReadAndWrite_ = std::move(hook);
    }

    static const char* const kScheduleSql;
    static const char* const kMyTasksCountSql;

private:
    void DataModuleCreate();
    void rerunSchedule();
    TdmGlobals& globals_;
    IScheduleWindow* window_ = nullptr;
    std::function<void()> betweenReadAndWrite_;
};

extern TdmProjects* dmProjects;
