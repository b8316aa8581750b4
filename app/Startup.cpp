#include "app/Startup.h"

#include <QApplication>

int runPelloran(int& argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
