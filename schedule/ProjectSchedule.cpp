#include "schedule/ProjectSchedule.h"

#include "data/DataChangeWatcher.h"
#include "data/GlobalData.h"
#include "editing/EditTask.h"
#include "editing/FeatureListForm.h"
#include "schedule/EditProject.h"
#include "schedule/ProjectSelector.h"
#include "schedule/QuickActions.h"
#include "schedule/RemainingWorkWindow.h"
#include "schedule/ScheduleClipboard.h"
#include "schedule/ScheduleExport.h"
#include "schedule/SchedulePrint.h"
#include "schedule/TaskListFrame.h"
#include "schedule/UserSettings.h"
#include "schedule/WebPages.h"
#include "users/AboutForm.h"
#include "users/ChangePassword.h"
#include "users/Options.h"
#include "widgets/DataGrid.h"
#include "widgets/ErrorHandling.h"
#include "widgets/HelpRouter.h"
#include "widgets/LiveRefresh.h"
#include "widgets/SidePanel.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

#include <algorithm>

namespace {
// Runs a command handler of the window or of its quick actions.
template <class T> void runCommand(T* target, void (T::*handler)()) {
    ErrorHandling::guarded([target, handler] { (target->*handler)(); });
}
} // namespace

TfrmProjectSchedule::TfrmProjectSchedule(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmProjectSchedule"));
    setWindowTitle(QStringLiteral("Pelloran"));
    resize(kDesignWidth, kDesignHeight);
    createCommands();
    FormCreate();
}

TfrmProjectSchedule::~TfrmProjectSchedule() {
    FormDestroy();
}

void TfrmProjectSchedule::createCommands() {
    auto make = [this](const char* name, const char* caption, const char* hint,
                       QList<QKeySequence> keys = {}) {
        auto* a = new QAction(QString::fromUtf8(caption), this);
        a->setObjectName(QLatin1String(name));
        if (hint) {
            a->setStatusTip(QString::fromUtf8(hint));
            a->setToolTip(QString::fromUtf8(hint));
        }
        a->setShortcuts(keys);
        return a;
    };
    btnExportExcel = make("btnExportExcel", "to E&xcel...", "to Excel");
    btnExportHTML = make("btnExportHTML", "to &HTML...", "to HTML");
    btnExportXML = make("btnExportXML", "to &XML...", "to XML");
    btnExportTextFile = make("btnExportTextFile", "to a &Text File...", "to a Text File");
    btnPrint = make("btnPrint", "&Print...", "Print", {QKeySequence(Qt::CTRL | Qt::Key_P)});
    btnExit = make("btnExit", "E&xit", "Exit");
    btnCopyToClipboard = make("btnCopyToClipboard", "&Copy Grid to Clipboard",
                              "Copy Grid to Clipboard", {QKeySequence(Qt::CTRL | Qt::Key_C)});
    btnTaskNotes = make("btnTaskNotes", "Task &Notes", "Task Notes");
    btnGrouping = make("btnGrouping", "&Group By Box", "Group By Box");
    btnCustomizeColumns = make("btnCustomizeColumns", "&Field Chooser...", "Field Chooser");
    btnRefresh = make("btnRefresh", "R&efresh", "Refresh", {QKeySequence(Qt::Key_F5)});
    btnRemainingWork = make("btnRemainingWork", "&Remaining Work...", "Remaining Work");
    btnAddTask = make("btnAddTask", "&Add Task...", "Add Task", {QKeySequence(Qt::Key_Insert)});
    // Enter opens the editor only while the task list has the focus; the
    // keypad key comes first so the menu names it "Enter".
    btnEditTask = make("btnEditTask", "&Edit Task...", "Edit Task",
                       {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    btnEditTask->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    btnAddHour = make("btnAddHour", "Add one &hour to elapsed time", "Add one hour to elapsed time",
                      {QKeySequence(Qt::CTRL | Qt::Key_H)});
    btnDeleteTask =
        make("btnDeleteTask", "&Delete Task", "Delete Task", {QKeySequence(Qt::Key_Delete)});
    btnAddProject = make("btnAddProject", "&Add Project...", "Add Project");
    btnEditProject = make("btnEditProject", "&Edit Project...", "Edit Project");
    btnFeaturesList = make("btnFeaturesList", "&Manage Features...", "Manage Features");
    btnDeleteProject = make("btnDeleteProject", "&Delete Project", "Delete Project");
    btnOptions = make("btnOptions", "&Options...", "Options");
    btnChangePassword = make("btnChangePassword", "Change My &Password...", "Change My Password");
    btnContents =
        make("btnContents", "&Help Contents", "Help Contents", {QKeySequence(Qt::Key_F1)});
    btnCheckForUpdate = make("btnCheckForUpdate", "&Check for Update...", "Check for Update");
    btnZevWebsite = make("btnZevWebsite", "Trevolant &Web Site", "Trevolant Web Site");
    btnAbout = make("btnAbout", "&About...", "About");
    // Side panel items carry no hints.
    navAddTask = make("navAddTask", "Add task", nullptr);
    navAddHour = make("navAddHour", "Work 1 hour on this task", nullptr);
    navMarkComplete = make("navMarkComplete", "Set this task as completed", nullptr);
    navToggleNotes = make("navToggleNotes", "View task notes", nullptr);
    navAssignToMe = make("navAssignToMe", "Assign this task to me", nullptr);
    navViewMyTasks = make("navViewMyTasks", "My incomplete tasks: 0", nullptr);

    const QStyle* s = style();
    auto icon = [s](const char* theme, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QLatin1String(theme), s->standardIcon(fallback));
    };
    btnAddTask->setIcon(icon("document-new", QStyle::SP_FileIcon));
    btnEditTask->setIcon(icon("document-properties", QStyle::SP_FileDialogDetailedView));
    btnDeleteTask->setIcon(icon("edit-delete", QStyle::SP_TrashIcon));
    btnPrint->setIcon(icon("document-print", QStyle::SP_DriveFDIcon));
    btnAddProject->setIcon(icon("folder-new", QStyle::SP_FileDialogNewFolder));
    btnEditProject->setIcon(icon("document-edit", QStyle::SP_FileDialogInfoView));
    btnContents->setIcon(icon("help-contents", QStyle::SP_DialogHelpButton));
    btnRefresh->setIcon(icon("view-refresh", QStyle::SP_BrowserReload));

    cmbProjectAction = new ProjectSelectorAction(this);
    cmbProjectAction->setObjectName(QStringLiteral("cmbProject"));

    auto on = [this](QAction* a, void (TfrmProjectSchedule::*handler)()) {
        connect(a, &QAction::triggered, this, [this, handler] { runCommand(this, handler); });
    };
    on(btnExportExcel, &TfrmProjectSchedule::btnExportExcelClick);
    on(btnExportHTML, &TfrmProjectSchedule::btnExportHTMLClick);
    on(btnExportXML, &TfrmProjectSchedule::btnExportXMLClick);
    on(btnExportTextFile, &TfrmProjectSchedule::btnExportTextFileClick);
    on(btnPrint, &TfrmProjectSchedule::btnPrintClick);
    on(btnExit, &TfrmProjectSchedule::btnExitClick);
    on(btnCopyToClipboard, &TfrmProjectSchedule::btnCopyToClipboardClick);
    on(btnGrouping, &TfrmProjectSchedule::btnGroupingClick);
    on(btnCustomizeColumns, &TfrmProjectSchedule::btnCustomizeColumnsClick);
    on(btnRefresh, &TfrmProjectSchedule::btnRefreshClick);
    on(btnRemainingWork, &TfrmProjectSchedule::btnRemainingWorkClick);
    on(btnAddTask, &TfrmProjectSchedule::btnAddTaskClick);
    on(navAddTask, &TfrmProjectSchedule::btnAddTaskClick);
    on(btnEditTask, &TfrmProjectSchedule::DoEditTask);
    on(btnAddProject, &TfrmProjectSchedule::btnAddProjectClick);
    on(btnEditProject, &TfrmProjectSchedule::btnEditProjectClick);
    on(btnFeaturesList, &TfrmProjectSchedule::btnFeaturesListClick);
    on(btnDeleteProject, &TfrmProjectSchedule::btnDeleteProjectClick);
    on(btnOptions, &TfrmProjectSchedule::btnOptionsClick);
    on(btnChangePassword, &TfrmProjectSchedule::btnChangePasswordClick);
    on(btnContents, &TfrmProjectSchedule::btnContentsClick);
    on(btnCheckForUpdate, &TfrmProjectSchedule::btnCheckForUpdateClick);
    on(btnZevWebsite, &TfrmProjectSchedule::btnZevWebsiteClick);
    on(btnAbout, &TfrmProjectSchedule::btnAboutClick);
    connect(cmbProjectAction, &ProjectSelectorAction::projectChosen, this, [this](int id) {
        // The schedule follows the projects table through its master link.
        ErrorHandling::guarded(
            [&] { dmProjects->dbProjects->locate(QStringLiteral("Project ID"), id); });
    });
}

void TfrmProjectSchedule::createMenusAndToolbars() {
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    menuBar()->setWindowTitle(QStringLiteral("Main Menu"));
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    mnuExport = file->addMenu(QStringLiteral("&Export"));
    mnuExport->addActions({btnExportExcel, btnExportHTML, btnExportXML, btnExportTextFile});
    file->addAction(btnPrint);
    file->addSeparator();
    file->addAction(btnExit);
    menuBar()->addMenu(QStringLiteral("&Edit"))->addAction(btnCopyToClipboard);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions({btnTaskNotes, btnGrouping, btnCustomizeColumns, btnRemainingWork});
    view->addSeparator();
    view->addAction(btnRefresh);
    QMenu* task = menuBar()->addMenu(QStringLiteral("T&ask"));
    task->addActions({btnAddTask, btnEditTask, btnAddHour});
    task->addSeparator();
    task->addAction(btnDeleteTask);
    QMenu* projects = menuBar()->addMenu(QStringLiteral("&Projects"));
    projects->addActions({btnAddProject, btnEditProject, btnFeaturesList, cmbProjectAction});
    projects->addSeparator();
    projects->addAction(btnDeleteProject);
    menuBar()->addMenu(QStringLiteral("&Tools"))->addActions({btnOptions, btnChangePassword});
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addActions({btnContents, btnCheckForUpdate, btnZevWebsite});
    help->addSeparator();
    help->addAction(btnAbout);

    auto bar = [this](const char* name) {
        auto* tb = addToolBar(QLatin1String(name));
        tb->setObjectName(QLatin1String(name));
        tb->setMovable(false);
        tb->setFloatable(false);
        tb->setContextMenuPolicy(Qt::PreventContextMenu);
        tb->setIconSize(QSize(16, 16));
        return tb;
    };
    tbTasks = bar("Tasks");
    tbTasks->addActions({btnAddTask, btnEditTask, btnDeleteTask});
    tbTasks->addSeparator();
    tbTasks->addAction(btnPrint);
    tbProjects = bar("Projects");
    tbProjects->addActions({cmbProjectAction, btnAddProject, btnEditProject});
    tbHelp = bar("Help");
    tbHelp->addAction(btnContents);
    if (QWidget* w = tbProjects->widgetForAction(cmbProjectAction))
        cmbProject = w->findChild<LookupCombo*>();
}

void TfrmProjectSchedule::createSideBar() {
    SideBar = new SidePanel(this);
    SideBar->setObjectName(QStringLiteral("SideBar"));
    SideBar->setFixedWidth(kSideBarWidth);
    TaskGroup = SideBar->addGroup(QStringLiteral("TaskGroup"), QStringLiteral("Tasks"));
    for (QAction* a : {navAddTask, navAddHour, navMarkComplete, navToggleNotes, navAssignToMe})
        TaskGroup->addItem(a);
    Statistics = SideBar->addGroup(QStringLiteral("Statistics"), QStringLiteral("Statistics"));
    Statistics->addItem(navViewMyTasks);
}

void TfrmProjectSchedule::FormCreate() {
    createMenusAndToolbars();
    createSideBar();
    auto* client = new QWidget(this);
    auto* lay = new QHBoxLayout(client);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(SideBar);
    setCentralWidget(client);

    // 1. The task list fills the rest of the window.
    fraTaskList = new TfraTaskList(*dmProjects, client);
    lay->addWidget(fraTaskList, 1);
    fraTaskList->addAction(btnEditTask);
    fraTaskList->setContextActions({btnAddTask, btnEditTask, btnAddHour, nullptr, btnDeleteTask});
    connect(fraTaskList, &TfraTaskList::editTaskRequested, this,
            [this] { ErrorHandling::guarded([this] { DoEditTask(); }); });
    quickActions = new QuickActions(*dmGlobals, *dmProjects, *fraTaskList, this);
    quickActions->setNotesCommands(btnTaskNotes, navToggleNotes);
    auto quick = [this](QAction* a, void (QuickActions::*handler)()) {
        connect(a, &QAction::triggered, this,
                [this, handler] { runCommand(quickActions, handler); });
    };
    quick(btnAddHour, &QuickActions::btnAddHourClick);
    quick(navAddHour, &QuickActions::btnAddHourClick);
    quick(navMarkComplete, &QuickActions::navMarkCompleteClick);
    quick(navAssignToMe, &QuickActions::navAssignToMeClick);
    quick(btnDeleteTask, &QuickActions::btnDeleteTaskClick);
    quick(btnTaskNotes, &QuickActions::btnTaskNotesClick);
    quick(navToggleNotes, &QuickActions::btnTaskNotesClick);
    quick(navViewMyTasks, &QuickActions::navViewMyTasksClick);

    // The selector follows the current project, whoever moves it.
    connect(dmProjects->dbProjects, &DbDataset::afterOpen, this,
            [this] { ErrorHandling::guarded([this] { refreshProjectSelector(); }); });
    connect(dmProjects->dbProjects, &DbDataset::afterScroll, this,
            [this] { ErrorHandling::guarded([this] { followCurrentProject(); }); });
    setProjectSelectorText([this](const QString&) { refreshProjectSelector(); });

    // 2. The side panel's count and items, now that the window exists.
    dmProjects->setScheduleWindow(this);
    dmProjects->sqlScheduleAfterOpen();
    // 3. Only administrators delete projects.
    if (!dmGlobals->CurrentUserIsAdmin)
        btnDeleteProject->setEnabled(false);
    // 4. The user's default project, when it still exists.
    dmProjects->dbProjects->locate(QStringLiteral("Project ID"),
                                   dmGlobals->CurrentUserDefaultProjectID);
    refreshProjectSelector();
    // 5. The user's window settings.
    loadWindowSettings();

    // Other copies' changes show without a key press.
    liveRefresh = new LiveRefresh(this, *dmGlobals->changeWatcher, [this] { btnRefreshClick(); });
    dmGlobals->changeWatcher->start();
}

void TfrmProjectSchedule::FormDestroy() {
    if (dmGlobals)
        dmGlobals->changeWatcher->stop();
    setProjectSelectorText({});
    if (dmProjects && dmProjects->scheduleWindow() == this)
        dmProjects->setScheduleWindow(nullptr);
    // The frame goes before the data modules it listens to.
    delete fraTaskList;
    fraTaskList = nullptr;
}

void TfrmProjectSchedule::followCurrentProject() {
    // Moving between known projects needs no new list; a project the list
    // does not hold yet (added meanwhile) does.
    const int projectID = dmProjects->currentProjectID();
    const auto& items = cmbProjectAction->items();
    const bool known =
        projectID == 0 || std::any_of(items.begin(), items.end(),
                                      [&](const auto& item) { return item.first == projectID; });
    if (known)
        cmbProjectAction->setKeyValue(projectID);
    else
        refreshProjectSelector();
}

void TfrmProjectSchedule::refreshProjectSelector() {
    QList<LookupCombo::Item> items;
    DbTable projects(dmGlobals->Connection(), QStringLiteral("Projects"));
    projects.open();
    for (; !projects.eof(); projects.next())
        items.append({projects.fieldByName(QStringLiteral("Project ID")).asInteger(),
                      projects.fieldByName(QStringLiteral("Name")).asString()});
    cmbProjectAction->setItems(items);
    cmbProjectAction->setKeyValue(dmProjects->currentProjectID());
}

void TfrmProjectSchedule::loadWindowSettings() {
    // Side panel, size and colour scheme from the user's "Other Settings".
    UserSettings::loadOtherSettings(*this, *SideBar, *fraTaskList->gridSchedule);
}

void TfrmProjectSchedule::loadGridSettings() {
    // The task list's column layout from the user's "Grid Settings"; a layout
    // that cannot be read leaves the designed one.
    UserSettings::loadGridSettings(*fraTaskList->gridSchedule);
}

void TfrmProjectSchedule::FormShow() {
    loadGridSettings();
    // Centred on the screen it opens on, never larger than that screen.
    UserSettings::centreOnScreen(*this);
    // The keys of the task list (Enter, Ins, Del) work straight away.
    fraTaskList->gridSchedule->setFocus();
}

void TfrmProjectSchedule::FormClose() {
    UserSettings::storeSettings(*this, *SideBar, *fraTaskList->gridSchedule);
}

void TfrmProjectSchedule::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        ErrorHandling::guarded([this] { FormShow(); });
    }
}

void TfrmProjectSchedule::closeEvent(QCloseEvent* event) {
    // Settings that cannot be stored must not keep the program from ending:
    // the first failure is shown and keeps the window, the next close goes.
    if (settingsStoreFailed_) {
        event->accept();
        return;
    }
    try {
        FormClose();
        event->accept();
    } catch (...) {
        settingsStoreFailed_ = true;
        event->ignore();
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}

// ---------------------------------------------------------------- side panel and focus

void TfrmProjectSchedule::setMyTasksItems(const QString& caption, bool enabled) {
    navViewMyTasks->setText(caption);
    for (QAction* a : {navViewMyTasks, navAddHour, navAssignToMe, navMarkComplete})
        a->setEnabled(enabled);
}

QString TfrmProjectSchedule::myTasksCaption() const {
    return navViewMyTasks->text();
}

bool TfrmProjectSchedule::hasFocusedTask() const {
    return fraTaskList && fraTaskList->hasFocusedTask();
}

bool TfrmProjectSchedule::focusedTaskExpanded() const {
    return fraTaskList && fraTaskList->focusedTaskExpanded();
}

void TfrmProjectSchedule::setFocusedTaskExpanded(bool expanded) {
    if (fraTaskList)
        fraTaskList->setFocusedTaskExpanded(expanded);
}

// ---------------------------------------------------------------- commands

void TfrmProjectSchedule::btnExitClick() {
    close();
}

void TfrmProjectSchedule::btnGroupingClick() {
    fraTaskList->setGroupPanelVisible(!fraTaskList->groupPanelVisible());
}

void TfrmProjectSchedule::btnCustomizeColumnsClick() {
    fraTaskList->showColumnChooser();
}

void TfrmProjectSchedule::btnRefreshClick() {
    dmProjects->rereadAll();
    refreshProjectSelector();
}

void TfrmProjectSchedule::btnRemainingWorkClick() {
    // The chart of the current project, with the rows the task list's filter lets through.
    if (const int projectID = dmProjects->currentProjectID())
        ShowRemainingWork(this, dmGlobals->Connection(), projectID, cmbProject->currentText(),
                          *fraTaskList->gridSchedule);
}

void TfrmProjectSchedule::btnAddTaskClick() {
    AddTask(this);
}

void TfrmProjectSchedule::DoEditTask() {
    // With no task in the list there is nothing to edit.
    if (!fraTaskList->hasFocusedTask() || !dmProjects->sqlSchedule->hasCurrent())
        return;
    EditTaskID(dmProjects->sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger(), this);
}

void TfrmProjectSchedule::btnAddProjectClick() {
    AddProject(this);
}

void TfrmProjectSchedule::btnEditProjectClick() {
    if (const int projectID = dmProjects->currentProjectID())
        EditProject(projectID, this);
}

void TfrmProjectSchedule::btnFeaturesListClick() {
    ShowFeaturesList(0, this);
}

void TfrmProjectSchedule::btnDeleteProjectClick() {
    deleteCurrentProject(this);
}

void TfrmProjectSchedule::btnOptionsClick() {
    ShowOptions(*this, this);
}

void TfrmProjectSchedule::btnChangePasswordClick() {
    changeMyPassword(this);
}

bool TfrmProjectSchedule::sideBarVisible() const {
    return !SideBar->isHidden();
}

void TfrmProjectSchedule::setSideBarVisible(bool visible) {
    SideBar->setVisible(visible);
}

QString TfrmProjectSchedule::styleSheetName() const {
    return fraTaskList->colorScheme().name;
}

void TfrmProjectSchedule::setStyleSheetName(const QString& name) {
    if (const GridStyleSheet* sheet = UserSettings::styleSheetFor(name, dmGlobals->StyleRepository))
        fraTaskList->setColorScheme(*sheet);
}

void TfrmProjectSchedule::btnContentsClick() {
    HelpRouter::instance().showContents();
}

void TfrmProjectSchedule::btnCheckForUpdateClick() {
    WebPages::open(WebPages::updatePage());
}

void TfrmProjectSchedule::btnZevWebsiteClick() {
    WebPages::open(WebPages::homePage());
}

void TfrmProjectSchedule::btnAboutClick() {
    ShowAbout(this);
}

// The schedule leaves the program always as the grid shows it.
void TfrmProjectSchedule::exportAs(ScheduleExport::Format format) {
    ScheduleExport::exportGrid(this, *fraTaskList->gridSchedule, format, cmbProject->currentText());
}
void TfrmProjectSchedule::btnExportExcelClick() {
    exportAs(ScheduleExport::Format::Excel);
}
void TfrmProjectSchedule::btnExportHTMLClick() {
    exportAs(ScheduleExport::Format::Html);
}
void TfrmProjectSchedule::btnExportXMLClick() {
    exportAs(ScheduleExport::Format::Xml);
}
void TfrmProjectSchedule::btnExportTextFileClick() {
    exportAs(ScheduleExport::Format::Text);
}
void TfrmProjectSchedule::btnPrintClick() {
    SchedulePrint::printGrid(this, *fraTaskList->gridSchedule, cmbProject->currentText());
}
void TfrmProjectSchedule::btnCopyToClipboardClick() {
    ScheduleClipboard::copyGrid(*fraTaskList->gridSchedule);
}
