#pragma once
// A window re-reads what it shows when another copy of the program changed
// the data folder: at once when the window is idle, else as soon as it is.
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class DataChangeWatcher;
class QWidget;

class LiveRefresh : public QObject {
    Q_OBJECT
public:
    // Owned by `window`. `reread` runs whenever the watcher reports a change
    // and the window is idle; a data error in it (the folder busy for a
    // moment) leaves the change pending for another try, any other error goes
    // to the central handler.
    LiveRefresh(QWidget* window, DataChangeWatcher& watcher, std::function<void()> reread);

    // Whether `window` may re-read now: it is the window the user works in
    // (no modal dialog above it), no menu or drop-down list is open, no mouse
    // button is held and no write of ours is under way.
    static bool windowIdle(const QWidget* window, const DataChangeWatcher& watcher);

    // A change was reported and not yet re-read.
    bool pending() const { return pending_; }

private:
    void noticed();
    void tryReread();

    QPointer<QWidget> window_;
    QPointer<DataChangeWatcher> watcher_;
    std::function<void()> reread_;
    QTimer retry_;
    bool pending_ = false;
};
