#pragma once
// The global data module: the data folder beside the program, the one
// connection, the users table kept open, the colour schemes and who is logged in.
#include "data/Dataset.h"
#include "data/StyleRepository.h"

#include <QObject>
#include <memory>

class DataChangeWatcher;

class TdmGlobals : public QObject {
    Q_OBJECT
public:
    // programFolder: the folder the program runs from; the data folder is
    // "Data" inside it. Creates missing tables and opens dbUsers; errors
    // propagate (the table's message has been shown by then). A damaged data
    // folder raises a DamagedDataError before anything is created.
    explicit TdmGlobals(const QString& programFolder, QObject* parent = nullptr);
    // The same with the data folder chosen elsewhere (see app/DataFolder.h).
    TdmGlobals(const QString& programFolder, const QString& dataFolder, QObject* parent = nullptr);
    ~TdmGlobals() override;

    // The data folder for a program folder: "<folder>/Data", no trailing separator.
    static QString dataFolderFor(const QString& programFolder);
    const QString& dataFolder() const { return dataFolder_; }

    DbConnection& Connection() { return *connection_; }
    // Tells windows when another copy changed the data folder (stopped until
    // the main window starts it).
    DataChangeWatcher* changeWatcher = nullptr;
    DbTable* dbUsers = nullptr; // "Developers", ordered by LOGINNAME
    GridStyleRepository StyleRepository;

    // Login state, written once by a successful login.
    int CurrentUserID = 0;
    QString CurrentUserName;
    int CurrentUserDefaultProjectID = 0;
    bool CurrentUserIsAdmin = false;

private:
    void DataModuleCreate(const QString& programFolder, const QString& dataFolder);
    QString dataFolder_;
    std::unique_ptr<DbConnection> connection_;
};

// The single instance while the program runs (null before and after).
extern TdmGlobals* dmGlobals;
