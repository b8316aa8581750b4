#include "widgets/LiveRefresh.h"

#include "data/DataChangeWatcher.h"
#include "data/DbConnection.h"
#include "data/Errors.h"
#include "widgets/ErrorHandling.h"

#include <QApplication>
#include <QWidget>

namespace {
// While the window is busy, how often it looks again.
constexpr int kRetryMs = 200;
} // namespace

LiveRefresh::LiveRefresh(QWidget* window, DataChangeWatcher& watcher, std::function<void()> reread)
    : QObject(window)
    , window_(window)
    , watcher_(&watcher)
    , reread_(std::move(reread)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &LiveRefresh::tryReread);
    connect(&watcher, &DataChangeWatcher::changed, this, &LiveRefresh::noticed);
}

bool LiveRefresh::windowIdle(const QWidget* window, const DataChangeWatcher& watcher) {
    if (!window)
        return false;
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != window->window())
        return false;
    return !QApplication::activePopupWidget() && QApplication::mouseButtons() == Qt::NoButton &&
           !watcher.connection().inTransaction();
}

void LiveRefresh::noticed() {
    pending_ = true;
    tryReread();
}

void LiveRefresh::tryReread() {
    if (!pending_ || !window_ || !watcher_)
        return;
    if (!windowIdle(window_, *watcher_)) {
        retry_.start(kRetryMs);
        return;
    }
    pending_ = false;
    try {
        reread_();
    } catch (const PelloranError&) {
        // Most likely another copy holds the folder for a moment: what is
        // shown stays as it was, and the next try reads it again.
        pending_ = true;
        retry_.start(watcher_->interval());
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}
