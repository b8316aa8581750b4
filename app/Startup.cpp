#include "app/Startup.h"

#include "app/DataFolder.h"
#include "app/SplashForm.h"
#include "data/Errors.h"
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

std::function<bool()>& loginStep() {
    static std::function<bool()> step;
    return step;
}

// Runs one step of the sequence. A damaged data folder is not a program fault:
// its message is shown as it is, in a plain error box. Every other error goes
// to the central handler. Either way the program then ends, since nothing can
// work without what the step makes.
template <class Step> bool runStep(Step step) {
    try {
        step();
        return true;
    } catch (const DamagedDataError& e) {
        if (frmSplash)
            frmSplash->hide();
        Msg::plainError(nullptr, e.message());
    } catch (...) {
        if (frmSplash)
            frmSplash->hide();
        ErrorHandling::handleUnexpected(std::current_exception());
    }
    return false;
}
} // namespace

void setLoginStepForTests(std::function<bool()> login) {
    loginStep() = std::move(login);
}

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
    return runStartupSequence(programFolder, TdmGlobals::dataFolderFor(programFolder));
}

int runStartupSequence(const QString& programFolder, const QString& dataFolder) {
    // No display name: the window system would add it to every window title.
    QApplication::setApplicationName(QStringLiteral("Pelloran"));
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

    if (!runStep([&] { globals = std::make_unique<TdmGlobals>(programFolder, dataFolder); }))
        return end(1);
    repaintSplash();
    if (!runStep([&] { projects = std::make_unique<TdmProjects>(*globals); }))
        return end(1);
    repaintSplash();

    bool wizardCancelled = false;
    const bool ready = runStep([&] {
        repaintSplash();
        if (globals->dbUsers->isEmpty()) {
            splash->hide();
            if (!ShowGettingStarted()) {
                wizardCancelled = true;
                return;
            }
            splash->show();
        }

        repaintSplash();
        if (loginStep() ? loginStep()() : Login()) {
            repaintSplash();
            mainWindow = std::make_unique<TfrmProjectSchedule>();
        }
    });
    if (!ready)
        return end(1);
    if (wizardCancelled)
        return end(0);
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
    const DataFolderChoice data = chooseDataFolderForThisRun();
    if (!data.error.isEmpty()) {
        Msg::plainError(nullptr, data.error);
        return 2;
    }
    return runStartupSequence(QApplication::applicationDirPath(), data.folder);
}
