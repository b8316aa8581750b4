#include "schedule/QuickActions.h"

#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "schedule/TaskListFrame.h"
#include "widgets/MessageBoxes.h"

#include <QAction>

QuickActions::QuickActions(TdmGlobals& globals, TdmProjects& projects, TfraTaskList& taskList,
                           QWidget* owner)
    : QObject(owner)
    , globals_(globals)
    , projects_(projects)
    , taskList_(taskList)
    , owner_(owner) {}

void QuickActions::setNotesCommands(QAction* menuCommand, QAction* panelItem) {
    btnTaskNotes_ = menuCommand;
    navToggleNotes_ = panelItem;
}

QString QuickActions::deleteTaskQuestion() {
    return QStringLiteral("Are you sure you want to delete this task?");
}

void QuickActions::btnAddHourClick() {
    // ChangeTask itself does nothing without a focused task.
    if (!taskList_.hasFocusedTask() || !projects_.sqlSchedule->hasCurrent())
        return;
    const double shown =
        projects_.sqlSchedule->fieldByName(QStringLiteral("Elapsed Time")).asFloat();
    projects_.ChangeTask(QStringLiteral("Elapsed Time"), shown + 1.0);
}

void QuickActions::navMarkCompleteClick() {
    projects_.ChangeTask(QStringLiteral("Status"), QStringLiteral("Complete"));
}

void QuickActions::navAssignToMeClick() {
    projects_.ChangeTask(QStringLiteral("Developer ID"), globals_.CurrentUserID);
}

void QuickActions::btnDeleteTaskClick() {
    if (!taskList_.hasFocusedTask() || !projects_.sqlSchedule->hasCurrent())
        return;
    const int taskID = projects_.sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger();
    if (!Msg::question(owner_, QStringLiteral("Delete Task"), deleteTaskQuestion(),
                       Msg::Answer::No))
        return;
    projects_.DeleteTask(taskID);
}

void QuickActions::btnTaskNotesClick() {
    const bool shown = !taskList_.notesVisible();
    taskList_.setNotesVisible(shown);
    if (btnTaskNotes_) {
        // Pressed while the notes are shown, a plain command otherwise.
        btnTaskNotes_->setCheckable(shown);
        btnTaskNotes_->setChecked(shown);
    }
    if (navToggleNotes_)
        navToggleNotes_->setText(shown ? QStringLiteral("Hide task notes")
                                       : QStringLiteral("View task notes"));
}

void QuickActions::navViewMyTasksClick() {
    taskList_.setMyIncompleteTasksFilter(globals_.CurrentUserName);
}
