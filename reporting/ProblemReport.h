#pragma once
// The pieces of the problem report text. Each returns the lines of one block,
// ending with its empty line; the dialog puts them together.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <optional>

class QWidget;

namespace ProblemReport {

// The message lines: a "." is added when the message does not end with one;
// every line break starts a new line.
QStringList messageLines(const QString& message);

// The exception block: message lines, class, address, thread, empty line.
QStringList exceptionBlock(const QString& message, const QString& className, std::uintptr_t address,
                           bool mainThread);

// The class name of the exception held by `error` ("std::runtime_error").
QString exceptionClassName(std::exception_ptr error);

// "Stack list, generated ..." then the given stack lines and the empty line.
QStringList stackBlock(const QDateTime& generated, const QStringList& lines);

// "ActiveControl:", one line per control from `focused` up to its window, empty line.
QStringList focusBlock(const QWidget* focused);

// The clock rate in MHz rounded to the usual marketing steps.
int roundClockRate(int mhz);

struct ProcessorInfo {
    QString vendor;
    QString model;
    int mhz = 0;
    bool mmx = false;
    bool fdivBug = false;
};
ProcessorInfo processorInfo();
QString processorLine(const ProcessorInfo& cpu);

// The OS, processor and screen lines and the empty line.
QStringList systemBlock();

struct ModuleInfo {
    std::uintptr_t base = 0;
    QString path;
};
// The modules loaded in this process; nullopt when the list cannot be read.
std::optional<QList<ModuleInfo>> loadedModules();

struct FileVersion {
    unsigned parts[4] = {0, 0, 0, 0};
    QString fileVersion;
    QString description;
};
// The program's own version, or the one in a shared library's file name
// ("libfoo.so.1.2.3"); nullopt when the file carries none.
std::optional<FileVersion> fileVersionOf(const QString& path);

// "List of loaded modules:" and, sorted by path without regard to case, each
// module with its version lines.
QStringList moduleBlock(QList<ModuleInfo> modules);

// The report text: every line followed by CR LF.
QString joinReport(const QStringList& lines);

} // namespace ProblemReport
