#include "app/DataFolder.h"

#include "data/GlobalData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString absolute(const QString& folder) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}
} // namespace

DataFolderChoice chooseDataFolder(const QStringList& arguments, const QString& environmentValue,
                                  const QString& programFolder) {
    DataFolderChoice choice;
    const QString option = QStringLiteral("--data");
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        QString value;
        if (a == option) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                choice.error = QStringLiteral("--data needs the path of a data folder.");
                return choice;
            }
            value = arguments[++i];
        } else if (a.startsWith(option + u'=')) {
            value = a.mid(option.size() + 1);
            if (value.isEmpty()) {
                choice.error = QStringLiteral("--data needs the path of a data folder.");
                return choice;
            }
        } else {
            continue;
        }
        // The last one given counts, as with most programs.
        choice.folder = absolute(value);
        choice.source = DataFolderChoice::Source::CommandLine;
    }
    if (!choice.folder.isEmpty())
        return choice;

    if (!environmentValue.isEmpty()) {
        choice.folder = absolute(environmentValue);
        choice.source = DataFolderChoice::Source::Environment;
        return choice;
    }

    // Beside the program whenever it is there already, whatever the rights:
    // a team's shared folder must never be passed over for a private one.
    const QString beside = absolute(TdmGlobals::dataFolderFor(programFolder));
    if (QFileInfo::exists(beside) || QDir().mkdir(beside)) {
        choice.folder = beside;
        choice.source = DataFolderChoice::Source::BesideProgram;
        return choice;
    }

    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    choice.folder = absolute(QDir(own).filePath(QStringLiteral("Data")));
    choice.source = DataFolderChoice::Source::UserData;
    return choice;
}

DataFolderChoice chooseDataFolderForThisRun() {
    return chooseDataFolder(QCoreApplication::arguments(),
                            qEnvironmentVariable(kDataFolderVariable),
                            QCoreApplication::applicationDirPath());
}
