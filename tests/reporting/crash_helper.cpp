// Installs problem reporting the way the program does, then fails the way its
// argument names. The tests find the failing lines by their "fails:" marks.
#include "data/Errors.h"
#include "reporting/ExceptionDialog.h"

#include <QtGlobal>

#include <cstring>

__attribute__((noinline)) void crashNow(volatile int* target) {
    *target = 42; // fails: segv
}

__attribute__((noinline)) void raiseUnhandled() {
    throw PelloranError(QStringLiteral("Nobody caught this")); // fails: terminate
}

// An error leaving a noexcept function ends in std::terminate.
__attribute__((noinline)) void failInNoexcept() noexcept {
    raiseUnhandled();
}

__attribute__((noinline)) void failFatally(const char* what) {
    qFatal("Broken %s", what); // fails: fatal
}

#if defined(__x86_64__)
// Faults with a frame pointer the unwinder cannot follow: its call frame
// information says the caller's frame lies at %rbp, which holds 8. Walking
// the stack from the fault handler then faults a second time.
extern "C" void faultWithBrokenFrame();
asm(R"(
    .text
    .globl faultWithBrokenFrame
    .type faultWithBrokenFrame, @function
faultWithBrokenFrame:
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    movq $8, %rbp
    movl $42, 0
    .cfi_endproc
    .size faultWithBrokenFrame, .-faultWithBrokenFrame
)");
#endif

int main(int argc, char** argv) {
    installProblemReporting();
    const char* mode = argc > 1 ? argv[1] : "segv";
    if (std::strcmp(mode, "terminate") == 0)
        failInNoexcept();
    else if (std::strcmp(mode, "fatal") == 0)
        failFatally("promise");
#if defined(__x86_64__)
    else if (std::strcmp(mode, "broken-walk") == 0)
        faultWithBrokenFrame();
#endif
    else
        crashNow(nullptr);
    return 0;
}
