#pragma once
// The data folders the figures run on, made with CreateAllTables and filled
// by bulk inserts on bare connections (one transaction per table).
#include <QString>

namespace bench {

struct FixtureSizes {
    int projects = 50;
    int users = 20;
    int bigTasks = 10000;  // in the first project, which the schedule opens on
    int bigFeatures = 100; // of the first project
    int otherFeatures = 2; // of each other project
    int otherTasks = 10;   // of each feature of the other projects
    int historyRows = 200000;
};

// Ids the figures rely on.
struct FixtureInfo {
    int bigProjectID = 1;
    int bigTaskCount = 0;
    int firstBigTaskID = 0; // tasks of the first project are numbered from here
    int historyRows = 0;
    int userID = 1;
    QString userName;
};

// Creates the tables in dataFolder (which must be empty or missing) and fills them.
FixtureInfo buildFixture(const QString& dataFolder, const FixtureSizes& sizes);

// A folder whose History table holds `rows` rows and whose other tables are empty.
void buildHistoryFolder(const QString& dataFolder, int rows);

} // namespace bench
