// The program's start up to its data, without windows: chooses the data folder
// for this run exactly as the program does and makes the global data module
// there (the tables are created on a first start). Prints the folder and the
// number of users, so a test can run it as a person who cannot write the
// program's folder.
#include "app/DataFolder.h"
#include "data/Errors.h"
#include "data/GlobalData.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Pelloran"));
    QCoreApplication app(argc, argv);
    const DataFolderChoice choice = chooseDataFolderForThisRun();
    if (!choice.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(choice.error));
        return 2;
    }
    try {
        TdmGlobals globals(QCoreApplication::applicationDirPath(), choice.folder);
        std::printf("%s\n%d\n", qPrintable(globals.dataFolder()), globals.dbUsers->recordCount());
        return 0;
    } catch (const PelloranError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
}
