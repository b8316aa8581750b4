#pragma once
// Turns code addresses into the unit, function, source file and line the
// report shows: from the program's own debug information for its code, from
// exported names for the other modules.
#include <QString>
#include <cstdint>
#include <memory>

struct SourceLocation {
    QString unit;      // source file name without its extension
    QString procedure; // demangled function name
    QString file;      // source file name without its folder
    unsigned line = 0;
};

class AddressResolver {
public:
    AddressResolver();
    ~AddressResolver();
    AddressResolver(const AddressResolver&) = delete;
    AddressResolver& operator=(const AddressResolver&) = delete;

    // An address in this process.
    SourceLocation resolve(std::uintptr_t address);
    // An address given as an offset from the load address of a module file,
    // as the fault handler writes them (the process itself is gone). Source
    // lines are looked up for the program's own file only.
    SourceLocation resolveInModule(const QString& path, std::uintptr_t offset, bool ownProgram);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A function name without the suffixes an optimising compiler gives the copies
// it makes of a function ("[clone .constprop.0]", ".part.0", ".cold").
QString withoutCloneSuffixes(QString name);

// A code address as the report prints it: upper-case hex, the pointer's width.
QString formatCodeAddress(std::uintptr_t address);

// One line of the stack block for a resolved (or unresolvable) entry.
QString stackLine(std::uintptr_t address, const SourceLocation& where);

// The executable's path and its load bias (what its addresses are moved by).
QString ownExecutablePath();
std::uintptr_t ownExecutableBias();
