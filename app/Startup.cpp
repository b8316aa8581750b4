#include "app/Startup.h"

#include "app/SplashForm.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "reporting/ExceptionDialog.h"
#include "schedule/ProjectSchedule.h"
#include "users/GettingStartedForm.h"
#include "users/LoginForm.h"
#include "widgets/ApplicationFont.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <QIcon>

#include <memory>

namespace {
void repaintSplash() {
    if (frmSplash) {
        frmSplash->repaint();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void showTableMessage(const QString& message) {
    Msg::information(nullptr, message);
}

// Creates a data module; an error is shown through the central handler and
// the program then ends, since nothing can work without its tables.
template <class Make> bool createModule(Make make) {
    try {
        make();
        return true;
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
        return false;
    }
}
} // namespace

PelloranApplication::PelloranApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool PelloranApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
        return false;
    }
}

int runStartupSequence(const QString& programFolder) {
    QApplication::setApplicationName(QStringLiteral("Pelloran"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pelloran"));
    setApplicationFont();
    Q_INIT_RESOURCE(app); // the icons live in this static library
    QGuiApplication::setDesktopFileName(QStringLiteral("pelloran"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/pelloran-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    qApp->setProperty("helpFile", QStringLiteral("Pelloran.hlp"));
    setTableMessageHandler(showTableMessage);

    auto splash = std::make_unique<TfrmSplash>();
    splash->show();
    repaintSplash();

    // Owned here for the whole run and destroyed in reverse order at the end:
    // main window first, then the project module, then the global one.
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;
    std::unique_ptr<TfrmProjectSchedule> mainWindow;
    const auto end = [&](int code) {
        splash.reset();
        mainWindow.reset();
        projects.reset();
        globals.reset();
        return code;
    };

    if (!createModule([&] { globals = std::make_unique<TdmGlobals>(programFolder); }))
        return end(1);
    repaintSplash();
    if (!createModule([&] { projects = std::make_unique<TdmProjects>(*globals); }))
        return end(1);
    repaintSplash();

    repaintSplash();
    if (globals->dbUsers->isEmpty()) {
        splash->hide();
        if (!ShowGettingStarted())
            return end(0);
        splash->show();
    }

    repaintSplash();
    if (Login()) {
        repaintSplash();
        mainWindow = std::make_unique<TfrmProjectSchedule>();
    }
    splash.reset();

    if (!mainWindow)
        return end(0);
    mainWindow->show();
    const int code = QApplication::exec();
    return end(code);
}

int runPelloran(int& argc, char** argv) {
    // Before anything else, so errors of the start-up itself are reported too.
    QApplication::setApplicationName(QStringLiteral("Pelloran"));
    installProblemReporting();
    PelloranApplication app(argc, argv);
    // A processor fault ended the last run: its report is offered now.
    showPendingCrashReport();
    return runStartupSequence(QApplication::applicationDirPath());
}
