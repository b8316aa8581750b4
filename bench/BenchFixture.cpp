#include "bench/BenchFixture.h"

#include "bench/BenchSupport.h"
#include "data/Errors.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <random>

namespace bench {
namespace {

// A bare connection on one table's file for bulk loading: no sync, the
// journal in memory, everything in one transaction.
class Loader {
public:
    Loader(const QString& dataFolder, const TableDef& table) {
        const QByteArray path = QFile::encodeName(QDir(dataFolder).filePath(table.fileName()));
        if (sqlite3_open_v2(path.constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
            sqlite3_close_v2(db_);
            throw DataError(QStringLiteral("Cannot open for loading: ") + msg,
                            QString::fromLocal8Bit(path));
        }
        if (table.encrypted)
            exec(("PRAGMA key = '" + kTablePassword.toStdString() + "'").c_str());
        exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN");
    }
    ~Loader() { sqlite3_close_v2(db_); }
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    sqlite3* db() const { return db_; }
    void commit() { exec("COMMIT"); }
    void exec(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db_));
            sqlite3_free(err);
            throw DataError(QString::fromUtf8(sql) + QStringLiteral(": ") + msg);
        }
    }

private:
    sqlite3* db_ = nullptr;
};

const TableDef& table(const char* name) {
    return *findTableDef(QString::fromLatin1(name));
}

std::string developerName(int id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Developer %02d", id);
    return buf;
}

// History rows spread over the tasks, with texts and stamps like real ones.
void loadHistory(const QString& dataFolder, int rows, int taskCount, int users, std::mt19937& rng) {
    static const char* const kFields[] = {"Elapsed Time", "Status", "Developer ID",
                                          "Current Estimate"};
    Loader l(dataFolder, table("History"));
    RawStatement ins(l.db(), "INSERT INTO \"History\" (\"Task ID\", \"User ID\", "
                             "\"Action Description\", \"Change Description\", "
                             "\"Modified Datestamp\") VALUES (?,?,?,?,?)");
    std::uniform_int_distribution<int> task(1, std::max(1, taskCount));
    std::uniform_int_distribution<int> user(1, std::max(1, users));
    std::uniform_int_distribution<int> hours(0, 40);
    std::time_t stamp = 1704067200; // 2024-01-01
    for (int i = 0; i < rows; ++i) {
        const int u = user(rng);
        const int h = hours(rng);
        char change[96], when[40];
        std::snprintf(change, sizeof change, "%s changed from %d to %d\r\n", kFields[i % 4], h,
                      h + 1);
        stamp += 1 + (i % 97);
        std::tm tm{};
        gmtime_r(&stamp, &tm);
        const size_t n = std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tm);
        std::snprintf(when + n, sizeof when - n, ".%03d", i % 1000);
        ins.bindInt(1, task(rng));
        ins.bindInt(2, u);
        ins.bindText(3, "Modified by " + developerName(u));
        ins.bindText(4, change);
        ins.bindText(5, when);
        ins.step();
        ins.reset();
    }
    l.commit();
}

} // namespace

FixtureInfo buildFixture(const QString& dataFolder, const FixtureSizes& s) {
    QDir().mkpath(dataFolder);
    CreateAllTables(dataFolder);
    std::mt19937 rng(20240601);
    FixtureInfo info;
    {
        Loader l(dataFolder, table("Developers"));
        RawStatement ins(l.db(), "INSERT INTO \"Developers\" (\"LoginName\", \"Name\", "
                                 "\"Password\", \"Default Project ID\", \"IsAdmin\") "
                                 "VALUES (?,?,?,?,?)");
        for (int i = 1; i <= s.users; ++i) {
            ins.bindText(1, "dev" + std::to_string(i));
            ins.bindText(2, developerName(i));
            ins.bindText(3, "$argon2id$v=19$m=65536,t=2,p=1$placeholder$placeholder");
            ins.bindInt(4, 1);
            ins.bindInt(5, i == 1 ? 1 : 0);
            ins.step();
            ins.reset();
        }
        l.commit();
    }
    info.userID = 1;
    info.userName = QString::fromStdString(developerName(1));
    {
        Loader l(dataFolder, table("Projects"));
        RawStatement ins(l.db(), "INSERT INTO \"Projects\" (\"Name\", \"Default Developer ID\") "
                                 "VALUES (?,?)");
        for (int i = 1; i <= s.projects; ++i) {
            ins.bindText(1, "Project " + std::to_string(i));
            ins.bindInt(2, i % 3 == 0 ? 0 : 1 + i % std::max(1, s.users));
            ins.step();
            ins.reset();
        }
        l.commit();
    }
    // The first project's features come first (ids 1..bigFeatures), named in
    // an order unlike their ids so the schedule's sort has work to do.
    int featureCount = 0;
    std::vector<int> otherFeatureIDs;
    {
        Loader l(dataFolder, table("Features"));
        RawStatement ins(l.db(), "INSERT INTO \"Features\" (\"Project ID\", \"Name\", "
                                 "\"Description\") VALUES (?,?,?)");
        std::vector<int> names(size_t(s.bigFeatures));
        std::iota(names.begin(), names.end(), 1);
        std::shuffle(names.begin(), names.end(), rng);
        for (int i = 0; i < s.bigFeatures; ++i) {
            ins.bindInt(1, 1);
            ins.bindText(2, "Feature " + std::to_string(1000 + names[size_t(i)]));
            ins.bindText(3, "What feature " + std::to_string(names[size_t(i)]) + " is for.");
            ins.step();
            ins.reset();
            ++featureCount;
        }
        for (int p = 2; p <= s.projects; ++p)
            for (int f = 0; f < s.otherFeatures; ++f) {
                ins.bindInt(1, p);
                ins.bindText(2, "Feature " + std::to_string(f));
                ins.bindNull(3);
                ins.step();
                ins.reset();
                otherFeatureIDs.push_back(++featureCount);
            }
        l.commit();
    }
    int taskCount = 0;
    {
        static const char* const kStatus[] = {"Not Started", "In Development", "Testing",
                                              "Complete"};
        Loader l(dataFolder, table("Tasks"));
        RawStatement ins(l.db(), "INSERT INTO \"Tasks\" (\"Developer ID\", \"Feature ID\", "
                                 "\"Name\", \"Priority\", \"Original Estimate\", "
                                 "\"Current Estimate\", \"Elapsed Time\", \"Status\", \"Notes\") "
                                 "VALUES (?,?,?,?,?,?,?,?,?)");
        std::uniform_int_distribution<int> dev(0, s.users + 1); // 0: none, users+1: a deleted one
        std::uniform_int_distribution<int> prio(1, 5);
        std::uniform_int_distribution<int> est(1, 80);
        std::uniform_int_distribution<int> st(0, 3);
        const auto add = [&](int feature) {
            ++taskCount;
            const int d = dev(rng);
            if (d == 0)
                ins.bindNull(1);
            else
                ins.bindInt(1, d);
            ins.bindInt(2, feature);
            ins.bindText(3, "Task " + std::to_string(taskCount) + " of feature " +
                                std::to_string(feature));
            ins.bindInt(4, prio(rng));
            const int e = est(rng);
            ins.bindDouble(5, e);
            ins.bindDouble(6, e + 0.5 * (taskCount % 5));
            ins.bindDouble(7, 0.25 * (taskCount % 13));
            ins.bindText(8, kStatus[st(rng)]);
            if (taskCount % 4 == 0)
                ins.bindNull(9);
            else
                ins.bindText(9, "Notes on task " + std::to_string(taskCount) +
                                    ": check the edge cases and update the documentation.");
            ins.step();
            ins.reset();
        };
        info.firstBigTaskID = 1;
        for (int i = 0; i < s.bigTasks; ++i)
            add(1 + i % std::max(1, s.bigFeatures));
        info.bigTaskCount = s.bigTasks;
        for (int f : otherFeatureIDs)
            for (int i = 0; i < s.otherTasks; ++i)
                add(f);
        l.commit();
    }
    loadHistory(dataFolder, s.historyRows, taskCount, s.users, rng);
    info.historyRows = s.historyRows;
    return info;
}

void buildHistoryFolder(const QString& dataFolder, int rows) {
    QDir().mkpath(dataFolder);
    CreateAllTables(dataFolder);
    std::mt19937 rng(7);
    loadHistory(dataFolder, rows, 10000, 20, rng);
}

} // namespace bench
