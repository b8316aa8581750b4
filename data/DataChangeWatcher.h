#pragma once
// Notices when another copy of the program (or any other connection) commits
// a change to the data folder, so that windows can re-read what they show.
//
// It asks the engine for the change counter of every table file on the
// connection: one prepared statement per file, no table is read. While it
// runs it asks on a short timer; a file-system notice on the table files
// makes it ask at once (where the file system sends such notices: network
// shares often do not, and there the timer alone finds the change).
#include <QObject>
#include <QTimer>

#include <vector>

class DbConnection;
class QFileSystemWatcher;

class DataChangeWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 500;

    explicit DataChangeWatcher(DbConnection& conn, QObject* parent = nullptr);
    ~DataChangeWatcher() override;

    DbConnection& connection() const { return conn_; }

    // Asking on the timer (and on file-system notices) starts and stops here.
    // The counters seen at start() are the ones later changes are told from.
    void start();
    void stop();
    bool isActive() const { return poll_.isActive(); }
    // The poll interval; file-system notices may be switched off, so that
    // only the timer finds changes (as on shares that send no notices).
    void setInterval(int ms);
    int interval() const { return poll_.interval(); }
    void setFileNotices(bool on);

    // One check: reads the counters and emits changed() when a file's counter
    // moved since the last check. Returns whether it did. A file held by a
    // writer at this moment makes the check come back soon.
    bool checkNow();

signals:
    // Another connection committed to the data folder since the last check.
    void changed();

private:
    void watchFiles();
    void fileNoticed();

    DbConnection& conn_;
    QTimer poll_;
    QTimer soon_; // after a file-system notice, or when a file was busy
    QFileSystemWatcher* files_ = nullptr;
    bool fileNotices_ = true;
    std::vector<qint64> seen_;
    std::vector<qint64> now_;
};
