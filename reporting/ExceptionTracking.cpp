#include "reporting/ExceptionTracking.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <atomic>
#include <dlfcn.h>
#include <map>
#include <typeinfo>
#include <unwind.h>

namespace ExceptionTracking {
namespace {

std::atomic<bool> active{false};

struct Store {
    QMutex lock;
    std::map<Qt::HANDLE, StackRecord> records;
};

Store& store() {
    static Store s;
    return s;
}

struct UnwindState {
    std::uintptr_t* out;
    int capacity;
    int skip;
    int count;
};

_Unwind_Reason_Code unwindStep(_Unwind_Context* context, void* arg) {
    auto* state = static_cast<UnwindState*>(arg);
    int beforeInsn = 0;
    const std::uintptr_t ip = _Unwind_GetIPInfo(context, &beforeInsn);
    if (ip == 0)
        return _URC_END_OF_STACK;
    if (state->skip > 0) {
        --state->skip;
        return _URC_NO_REASON;
    }
    if (state->count >= state->capacity)
        return _URC_END_OF_STACK;
    // A frame interrupted by a signal holds the exact instruction, not a return address.
    const std::uintptr_t entry = beforeInsn ? ip : callSiteOf(ip);
    if (state->count == 0 || state->out[state->count - 1] != entry)
        state->out[state->count++] = entry;
    return _URC_NO_REASON;
}

thread_local bool recording = false;

} // namespace

__attribute__((noinline)) void recordThrow() noexcept {
    // A throw inside the recording (out of memory) must not record again.
    if (recording)
        return;
    recording = true;
    try {
        constexpr int kMaxFrames = 128;
        std::uintptr_t frames[kMaxFrames];
        // Leave out this function and the throw hook: the record starts at the thrower.
        const int n = captureStack(frames, kMaxFrames, 2);
        StackRecord rec{QDateTime::currentDateTime(),
                        std::vector<std::uintptr_t>(frames, frames + n)};
        QMutexLocker locker(&store().lock);
        store().records[QThread::currentThreadId()] = std::move(rec);
    } catch (...) {
        // The error being raised matters more than its record.
    }
    recording = false;
}

void start() {
    active.store(true);
}
void stop() {
    active.store(false);
}
bool isActive() {
    return active.load();
}

std::optional<StackRecord> currentThreadRecord() {
    QMutexLocker locker(&store().lock);
    const auto it = store().records.find(QThread::currentThreadId());
    if (it == store().records.end())
        return std::nullopt;
    return it->second;
}

__attribute__((no_sanitize("address", "undefined"))) std::uintptr_t
callSiteOf(std::uintptr_t returnAddress) {
#if defined(__x86_64__) || defined(__i386__)
    // The return address lies inside mapped code, and so do the few bytes
    // before it; the common call encodings are recognised by their opcodes.
    const auto* p = reinterpret_cast<const unsigned char*>(returnAddress);
    if (p[-5] == 0xE8)
        return returnAddress - 5; // call rel32
    if (p[-6] == 0xFF && (p[-5] == 0x15 || (p[-5] & 0xF8) == 0x90))
        return returnAddress - 6; // call [rip+disp32] / [reg+disp32]
    if (p[-3] == 0xFF && (p[-2] & 0xF8) == 0x50)
        return returnAddress - 3; // call [reg+disp8]
    if (p[-2] == 0xFF && ((p[-1] & 0xF8) == 0xD0 || (p[-1] & 0xF8) == 0x10)) {
        if ((p[-3] & 0xF0) == 0x40)
            return returnAddress - 3; // with a REX prefix
        return returnAddress - 2;     // call reg / call [reg]
    }
#endif
    return returnAddress - 1;
}

__attribute__((noinline)) int captureStack(std::uintptr_t* out, int capacity, int skip) {
    UnwindState state{out, capacity, skip + 1, 0};
    _Unwind_Backtrace(&unwindStep, &state);
    return state.count;
}

} // namespace ExceptionTracking

// The runtime's entry point of every C++ throw. Ours records the stack and
// hands on to the next definition (the runtime's, or a sanitizer's wrapper).
extern "C" {
using CxaThrow = void (*)(void*, void*, void (*)(void*));

[[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
    static const auto next = reinterpret_cast<CxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (ExceptionTracking::isActive())
        ExceptionTracking::recordThrow();
    next(object, type, destructor);
    __builtin_unreachable();
}
}
