// Installs problem reporting the way the program does, then faults.
#include "reporting/ExceptionDialog.h"

__attribute__((noinline)) void crashNow(volatile int* target) {
    *target = 42; // the fault the test expects
}

int main() {
    installProblemReporting();
    crashNow(nullptr);
    return 0;
}
