#pragma once
// Faults the program cannot survive: processor faults (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL), abort (SIGABRT, which qFatal ends in) and std::terminate.
// The handler writes what it knows to a crash file with signal-safe calls
// only and lets the program end; the next start shows that report.
#include "reporting/ProblemReport.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace FaultHandler {

// Installs the handlers, writing into `crashFile` (its folder must exist).
// Replaces any handler installed before (a sanitizer's, for one). Called on
// the main thread.
void install(const QString& crashFile);

struct CrashFrame {
    std::uintptr_t address = 0;
    std::uintptr_t offset = 0; // from the load address of `module`
    QString module;            // empty when the address lay in no file
};

struct CrashRecord {
    QString message;
    QString className;
    std::uintptr_t address = 0;
    bool mainThread = true;
    QDateTime time;
    QString executable;       // the program that failed
    QByteArray buildId;       // of that program, in hex; empty when it had none
    QList<CrashFrame> frames; // the faulting instruction first
    QList<ProblemReport::ModuleInfo> modules;
};

// Reads a crash file written by the handler; nullopt when there is none or
// it cannot be understood.
std::optional<CrashRecord> readCrashFile(const QString& path);

// The GNU build id of the running program and of a program file, in hex;
// empty when it has none.
QByteArray ownBuildId();
QByteArray buildIdOfFile(const QString& path);

// Whether the program file named by the record is still the build that
// failed, so that its addresses may be looked up in it.
bool isSameBuild(const CrashRecord& crash);

} // namespace FaultHandler
