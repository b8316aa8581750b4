#pragma once
// Records the call stack of every C++ throw in the throwing thread, so the
// problem report can show where an error was raised even after it unwound.
#include <QDateTime>
#include <cstdint>
#include <optional>
#include <vector>

namespace ExceptionTracking {

struct StackRecord {
    QDateTime time;
    // Innermost first; each entry is the address of the call (or, for a
    // processor fault, the faulting instruction).
    std::vector<std::uintptr_t> frames;
};

// Switches recording on for every later throw in any thread.
void start();
void stop();
bool isActive();

// The most recent record of the calling thread, if it has one.
std::optional<StackRecord> currentThreadRecord();

// The address of the call instruction that returned to `returnAddress`, found
// by looking at the bytes before it; falls back to one byte before.
std::uintptr_t callSiteOf(std::uintptr_t returnAddress);

// Fills `out` with up to `capacity` call addresses of the calling thread,
// innermost first, leaving out `skip` frames after this function's own.
// Used by the throw hook and the fault handler.
int captureStack(std::uintptr_t* out, int capacity, int skip);

// Called by the throw hook: replaces the calling thread's record.
void recordThrow() noexcept;

} // namespace ExceptionTracking
