#pragma once
// The task list: the schedule of the current project in the data grid, one
// row per task with its history as the detail level, footer sums and the
// notes as a preview line. The grid's focused row and the schedule query's
// current record always name the same task.
#include "widgets/GridTypes.h"

#include <QFrame>
#include <QPointer>
#include <memory>

class DataGrid;
class DbTable;
struct GridStyleSheet;
class QAction;
class QMenu;
class ScheduleModel;
class TdmProjects;

class TfraTaskList : public QFrame {
    Q_OBJECT
public:
    // Fields of the schedule query the columns show.
    static const QString kTaskID, kFeature, kTask, kPriority, kCurrentEstimate, kElapsedTime,
        kTimeRemaining, kOriginalEstimate, kStatus, kDeveloper, kNotes;

    explicit TfraTaskList(TdmProjects& projects, QWidget* parent = nullptr);
    ~TfraTaskList() override;

    // The designed columns of the task list view, in display order.
    static QList<GridColumn> designedColumns();

    DataGrid* gridSchedule = nullptr;
    // The context menu: the main window's commands, nullptr for a separator.
    QMenu* popGrid = nullptr;
    void setContextActions(const QList<QAction*>& actions);

    // The focused row, which is the schedule query's current record.
    bool hasFocusedTask() const;
    int focusedTaskID() const; // 0 when no task has the focus
    bool focusedTaskExpanded() const;
    void setFocusedTaskExpanded(bool expanded);

    void setNotesVisible(bool visible);
    bool notesVisible() const;
    void setGroupPanelVisible(bool visible);
    bool groupPanelVisible() const;
    void showColumnChooser();
    void setColorScheme(const GridStyleSheet& sheet);
    const GridStyleSheet& colorScheme() const;

    // Replaces the whole filter by: Developer equals the user and Status is
    // not "Complete".
    void setMyIncompleteTasksFilter(const QString& userName);

    // History rows of one task, oldest first (the detail level's loader).
    QList<GridDetailRow> loadHistory(int taskID);

signals:
    // Enter or a double-click on a task row: the editor is wanted for that task.
    void editTaskRequested(int taskID);

private:
    void DoEditTask(const QVariant& key);
    void cxGridPopupMenu1PopupMenus0Popup(const QPoint& globalPos, const GridHit& hit);
    // The query was opened, refreshed or closed: the grid reads it again.
    void scheduleReread();
    void scheduleScrolled();
    void gridFocusChanged(const QVariant& key);
    QVariant currentTaskKey() const;

    TdmProjects& projects_;
    ScheduleModel* model_ = nullptr;
    std::unique_ptr<DbTable> taskHistory_;
    bool syncing_ = false;
};
