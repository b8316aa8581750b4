#pragma once
// Where the data lives. A team may run one copy of the program from a shared
// folder with its "Data" beside it; a program installed for a person lives in
// a folder that person cannot write, so its data goes to the person's own
// data folder instead. Either can be overridden.
#include <QString>
#include <QStringList>

struct DataFolderChoice {
    enum class Source { CommandLine, Environment, BesideProgram, UserData };
    QString folder; // absolute, no trailing separator
    Source source = Source::BesideProgram;
    QString error; // set when the command line cannot be understood
};

// The environment variable that names the data folder.
inline constexpr char kDataFolderVariable[] = "PELLORAN_DATA";

// In this order: "--data DIR" (or "--data=DIR") among `arguments` (the
// program's own name first, as in QCoreApplication::arguments()); the value of
// PELLORAN_DATA in `environmentValue`; "Data" beside the program when it
// exists or can be made there (it is made then); otherwise "Data" in the
// user's application data folder ($XDG_DATA_HOME/Pelloran). A relative folder
// is taken from the current folder.
DataFolderChoice chooseDataFolder(const QStringList& arguments, const QString& environmentValue,
                                  const QString& programFolder);

// The same for this run: the application's arguments, environment and folder.
DataFolderChoice chooseDataFolderForThisRun();
