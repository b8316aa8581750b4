#pragma once
// The start-up sequence: splash, data modules, first-run wizard, login, main
// window, event loop; then shutdown in the reverse order.
#include <QApplication>
#include <QString>

#include <functional>

// The application object: errors that escape an event handler end up in the
// central handler instead of ending the program.
class PelloranApplication : public QApplication {
public:
    PelloranApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs the whole sequence on an existing application object with the data
// folder beside `programFolder`. Returns the program's exit code.
int runStartupSequence(const QString& programFolder);
// The same with the data folder chosen elsewhere (app/DataFolder.h).
int runStartupSequence(const QString& programFolder, const QString& dataFolder);

// Test seam: replaces the login step of the sequence (empty restores Login()).
void setLoginStepForTests(std::function<bool()> login);

// main(): installs the error handling, makes the application object and runs the sequence.
int runPelloran(int& argc, char** argv);
