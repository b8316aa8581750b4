#pragma once
// The main window: the schedule of one project at a time. Created only after
// a successful login; closing it ends the program. Its commands are actions
// shared by the menu bar, the toolbars, the side panel and the task list's
// context menu.
#include "data/ProjectData.h"

#include "schedule/ScheduleExport.h"
#include "users/Options.h"

#include <QMainWindow>

class QAction;
class QMenu;
class QToolBar;
class LiveRefresh;
class LookupCombo;
class ProjectSelectorAction;
class QuickActions;
class SidePanel;
class SidePanelGroup;
class TfraTaskList;

class TfrmProjectSchedule : public QMainWindow, public IScheduleWindow, public IOptionsTarget {
    Q_OBJECT
public:
    static constexpr int kDesignWidth = 630;
    static constexpr int kDesignHeight = 388;
    static constexpr int kSideBarWidth = 181;

    explicit TfrmProjectSchedule(QWidget* parent = nullptr);
    ~TfrmProjectSchedule() override;

    // IScheduleWindow: what the project data module updates and asks.
    void setMyTasksItems(const QString& caption, bool enabled) override;
    bool hasFocusedTask() const override;
    bool focusedTaskExpanded() const override;
    void setFocusedTaskExpanded(bool expanded) override;

    // IOptionsTarget: what the options dialog reads and sets on OK.
    bool sideBarVisible() const override;
    void setSideBarVisible(bool visible) override;
    QString styleSheetName() const override;
    void setStyleSheetName(const QString& name) override;

    QString myTasksCaption() const;

    // ---- commands ----
    QAction* btnExportExcel = nullptr;
    QAction* btnExportHTML = nullptr;
    QAction* btnExportXML = nullptr;
    QAction* btnExportTextFile = nullptr;
    QAction* btnPrint = nullptr;
    QAction* btnExit = nullptr;
    QAction* btnCopyToClipboard = nullptr;
    QAction* btnTaskNotes = nullptr;
    QAction* btnGrouping = nullptr;
    QAction* btnCustomizeColumns = nullptr;
    QAction* btnRefresh = nullptr;
    QAction* btnRemainingWork = nullptr;
    QAction* btnAddTask = nullptr;
    QAction* btnEditTask = nullptr;
    QAction* btnAddHour = nullptr;
    QAction* btnDeleteTask = nullptr;
    QAction* btnAddProject = nullptr;
    QAction* btnEditProject = nullptr;
    QAction* btnFeaturesList = nullptr;
    QAction* btnDeleteProject = nullptr;
    QAction* btnOptions = nullptr;
    QAction* btnChangePassword = nullptr; // every logged-in user, administrator or not
    QAction* btnContents = nullptr;
    QAction* btnCheckForUpdate = nullptr;
    QAction* btnZevWebsite = nullptr;
    QAction* btnAbout = nullptr;
    // Side panel items.
    QAction* navAddTask = nullptr;
    QAction* navAddHour = nullptr;
    QAction* navMarkComplete = nullptr;
    QAction* navToggleNotes = nullptr;
    QAction* navAssignToMe = nullptr;
    QAction* navViewMyTasks = nullptr;

    // ---- controls ----
    SidePanel* SideBar = nullptr;
    SidePanelGroup* TaskGroup = nullptr;
    SidePanelGroup* Statistics = nullptr;
    QToolBar* tbTasks = nullptr;
    QToolBar* tbProjects = nullptr;
    QToolBar* tbHelp = nullptr;
    QMenu* mnuExport = nullptr;
    ProjectSelectorAction* cmbProjectAction = nullptr;
    LookupCombo* cmbProject = nullptr; // the selector on the Projects toolbar
    TfraTaskList* fraTaskList = nullptr;
    QuickActions* quickActions = nullptr;
    // Re-reads the schedule and the project selector when another copy
    // changed the data folder and the window is idle.
    LiveRefresh* liveRefresh = nullptr;

    // The project selector's list, read again from the projects table, and
    // its choice set to the current project.
    void refreshProjectSelector();
    void followCurrentProject();

    // Menus and toolbars are fixed: no menu to switch toolbars off.
    QMenu* createPopupMenu() override { return nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createCommands();
    void createMenusAndToolbars();
    void createSideBar();
    void FormCreate();
    void FormDestroy();
    void FormShow();
    // Stores the user's window settings. An error is shown and keeps the
    // window open once; the next close then ends without storing.
    void FormClose();
    // Applies the user's stored window settings at creation and the grid
    // layout when first shown.
    void loadWindowSettings();
    void loadGridSettings();

    void btnExitClick();
    void btnGroupingClick();
    void btnCustomizeColumnsClick();
    // Reads the projects and the schedule again at once; the view stays as it is.
    void btnRefreshClick();
    void btnRemainingWorkClick();
    void btnAddTaskClick();
    void DoEditTask();
    void btnAddProjectClick();
    void btnEditProjectClick();
    void btnFeaturesListClick();
    void btnDeleteProjectClick();
    void btnOptionsClick();
    void btnChangePasswordClick();
    void btnContentsClick();
    void btnCheckForUpdateClick();
    void btnZevWebsiteClick();
    void btnAboutClick();
    void exportAs(ScheduleExport::Format format);
    void btnExportExcelClick();
    void btnExportHTMLClick();
    void btnExportXMLClick();
    void btnExportTextFileClick();
    void btnPrintClick();
    void btnCopyToClipboardClick();

    bool shown_ = false;
    bool settingsStoreFailed_ = false; // a close that failed to store lets the next one go
};
