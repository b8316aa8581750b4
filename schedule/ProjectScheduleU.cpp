#include "schedule/ProjectScheduleU.h"

#include "data/GlobalData.h"
#include "widgets/ErrorHandling.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>

TfrmProjectSchedule* frmProjectSchedule = nullptr;

TfrmProjectSchedule::TfrmProjectSchedule(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmProjectSchedule"));
    setWindowTitle(QStringLiteral("Pelloran"));
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    setFont(f);
    resize(kDesignWidth, kDesignHeight);
    frmProjectSchedule = this;

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addSeparator();
    btnExit = file->addAction(QStringLiteral("E&xit"), this, &TfrmProjectSchedule::btnExitClick);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setStatusTip(QStringLiteral("Exit"));
    QMenu* projects = menuBar()->addMenu(QStringLiteral("&Projects"));
    projects->addSeparator();
    btnDeleteProject = projects->addAction(QStringLiteral("&Delete Project"));
    btnDeleteProject->setObjectName(QStringLiteral("btnDeleteProject"));
    btnDeleteProject->setStatusTip(QStringLiteral("Delete Project"));
    FormCreate();
}

TfrmProjectSchedule::~TfrmProjectSchedule() {
    if (dmProjects && dmProjects->scheduleWindow() == this)
        dmProjects->setScheduleWindow(nullptr);
    if (frmProjectSchedule == this)
        frmProjectSchedule = nullptr;
}

void TfrmProjectSchedule::FormCreate() {
    auto* placeholder = new QLabel(this);
    placeholder->setObjectName(QStringLiteral("fraTaskList"));
    setCentralWidget(placeholder);
    if (dmProjects) {
        dmProjects->setScheduleWindow(this);
        dmProjects->sqlScheduleAfterOpen();
    }
    if (dmGlobals && !dmGlobals->CurrentUserIsAdmin)
        btnDeleteProject->setEnabled(false);
    if (dmGlobals && dmProjects)
        dmProjects->dbProjects->locate(QStringLiteral("Project ID"),
                                       dmGlobals->CurrentUserDefaultProjectID);
}

void TfrmProjectSchedule::FormShow() {
    // Centred on the desktop with its current size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void TfrmProjectSchedule::FormClose() {
    // The user's grid layout and window settings are stored here.
}

void TfrmProjectSchedule::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmProjectSchedule::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
        event->accept();
    } catch (...) {
        event->ignore();
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}

void TfrmProjectSchedule::btnExitClick() {
    close();
}

void TfrmProjectSchedule::setMyTasksItems(const QString& caption, bool enabled) {
    myTasksCaption_ = caption;
    myTasksEnabled_ = enabled;
}

bool TfrmProjectSchedule::hasFocusedTask() const {
    return dmProjects && dmProjects->sqlSchedule->hasCurrent();
}

bool TfrmProjectSchedule::focusedTaskExpanded() const {
    return false;
}

void TfrmProjectSchedule::setFocusedTaskExpanded(bool) {}
