#include "data/DataChangeWatcher.h"

#include "data/DbConnection.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>

namespace {
// A notice comes with the writer's first page; its commit ends a moment later.
constexpr int kNoticeDelayMs = 15;
// A file held by a writer is asked about again after this long.
constexpr int kBusyRetryMs = 40;
} // namespace

DataChangeWatcher::DataChangeWatcher(DbConnection& conn, QObject* parent)
    : QObject(parent)
    , conn_(conn) {
    poll_.setInterval(kPollIntervalMs);
    soon_.setSingleShot(true);
    connect(&poll_, &QTimer::timeout, this, &DataChangeWatcher::checkNow);
    connect(&soon_, &QTimer::timeout, this, &DataChangeWatcher::checkNow);
}

DataChangeWatcher::~DataChangeWatcher() = default;

void DataChangeWatcher::start() {
    seen_.clear();
    checkNow(); // the counters later changes are told from
    poll_.start();
    if (fileNotices_)
        watchFiles();
}

void DataChangeWatcher::stop() {
    poll_.stop();
    soon_.stop();
    delete files_;
    files_ = nullptr;
}

void DataChangeWatcher::setInterval(int ms) {
    poll_.setInterval(std::max(1, ms));
}

void DataChangeWatcher::setFileNotices(bool on) {
    fileNotices_ = on;
    if (!on) {
        delete files_;
        files_ = nullptr;
    } else if (isActive()) {
        watchFiles();
    }
}

void DataChangeWatcher::watchFiles() {
    if (!files_) {
        files_ = new QFileSystemWatcher(this);
        connect(files_, &QFileSystemWatcher::fileChanged, this, &DataChangeWatcher::fileNoticed);
    }
    // Tables attached since (the users table, once its password is given) join in.
    const QStringList watched = files_->files();
    QStringList missing;
    for (const QString& f : conn_.tableFiles())
        if (!watched.contains(f) && QFileInfo::exists(f))
            missing.append(f);
    if (!missing.isEmpty())
        files_->addPaths(missing);
}

void DataChangeWatcher::fileNoticed() {
    // A file replaced under its name drops out of the watch: take it up again.
    if (files_ && files_->files().size() < conn_.tableFiles().size())
        watchFiles();
    if (!soon_.isActive())
        soon_.start(kNoticeDelayMs);
}

bool DataChangeWatcher::checkNow() {
    // Inside our own write the counters cannot be read; the next tick asks again.
    if (conn_.inTransaction())
        return false;
    if (!conn_.readChangeCounters(now_)) {
        if (isActive())
            soon_.start(kBusyRetryMs);
        return false;
    }
    // A file attached since the last check has no earlier counter to differ from.
    bool moved = false;
    const size_t common = std::min(seen_.size(), now_.size());
    for (size_t i = 0; i < common && !moved; ++i)
        moved = seen_[i] != now_[i];
    const bool newFiles = now_.size() != seen_.size();
    seen_.swap(now_);
    if (newFiles && files_)
        watchFiles();
    if (moved)
        emit changed();
    return moved;
}
