#pragma once
// The one-click actions of the main window on the focused task (add an hour,
// mark complete, assign to me, delete) and on the list (notes, the filter
// of the user's incomplete tasks). Field changes go through the project data
// module, so each leaves one line in the task's history.
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;
class TdmGlobals;
class TdmProjects;
class TfraTaskList;

class QuickActions : public QObject {
    Q_OBJECT
public:
    // owner: the window that owns the "Delete Task" question.
    QuickActions(TdmGlobals& globals, TdmProjects& projects, TfraTaskList& taskList,
                 QWidget* owner);

    // The View menu entry and the side panel item that follow the notes' state.
    void setNotesCommands(QAction* menuCommand, QAction* panelItem);

    void btnAddHourClick();
    void navMarkCompleteClick();
    void navAssignToMeClick();
    void btnDeleteTaskClick();
    void btnTaskNotesClick();
    void navViewMyTasksClick();

    static QString deleteTaskQuestion();

private:
    TdmGlobals& globals_;
    TdmProjects& projects_;
    TfraTaskList& taskList_;
    QPointer<QWidget> owner_;
    QPointer<QAction> btnTaskNotes_;
    QPointer<QAction> navToggleNotes_;
};
