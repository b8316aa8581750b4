#include "data/GlobalData.h"

#include "data/DataChangeWatcher.h"

#include <QCoreApplication>
#include <QDir>

TdmGlobals* dmGlobals = nullptr;

TdmGlobals::TdmGlobals(const QString& programFolder, QObject* parent)
    : TdmGlobals(programFolder, dataFolderFor(programFolder), parent) {}

TdmGlobals::TdmGlobals(const QString& programFolder, const QString& dataFolder, QObject* parent)
    : QObject(parent) {
    setObjectName(QStringLiteral("dmGlobals"));
    dmGlobals = this;
    try {
        DataModuleCreate(programFolder, dataFolder);
    } catch (...) {
        // A module that failed to come up is not left behind half-made.
        delete changeWatcher;
        changeWatcher = nullptr;
        delete dbUsers;
        dbUsers = nullptr;
        connection_.reset();
        dmGlobals = nullptr;
        throw;
    }
}

TdmGlobals::~TdmGlobals() {
    // Datasets and the watcher go before the connection they work on.
    delete changeWatcher;
    changeWatcher = nullptr;
    delete dbUsers;
    dbUsers = nullptr;
    connection_.reset();
    if (dmGlobals == this)
        dmGlobals = nullptr;
}

QString TdmGlobals::dataFolderFor(const QString& programFolder) {
    QString path = programFolder;
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + QStringLiteral("Data");
}

void TdmGlobals::DataModuleCreate(const QString& programFolder, const QString& dataFolder) {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->setProperty(
            "helpFile", QDir(programFolder).filePath(QStringLiteral("Pelloran.hlp")));
    dataFolder_ = QDir::cleanPath(dataFolder);
    // A fresh installation has no data folder yet; when it cannot be made,
    // creating the first table fails and says so.
    QDir().mkpath(dataFolder_);
    CreateAllTables(dataFolder_);
    connection_ = std::make_unique<DbConnection>(dataFolder_);
    changeWatcher = new DataChangeWatcher(*connection_, this);
    dbUsers = new DbTable(*connection_, QStringLiteral("Developers"), this);
    dbUsers->setObjectName(QStringLiteral("dbUsers"));
    dbUsers->setIndexName(QStringLiteral("LOGINNAME"));
    dbUsers->open();
}
