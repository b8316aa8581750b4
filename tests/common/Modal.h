#pragma once
// Driving modal dialogs from inside their own event loops, as a user would.
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

// A bound on a modal loop. While it lives, a loop that is still running after
// `seconds` fails the running test and is then taken down: every few moments
// the modal window on top is rejected (or closed), and without one every
// visible window is closed; a window that refuses to close does not stop it,
// as every running event loop is then told to end. A fault that leaves a
// dialog, a message box or the main window open thus ends in a failure, not
// a hang.
class ModalTimeout {
public:
    explicit ModalTimeout(int seconds = 30, const char* what = "the modal loop")
        : what_(what) {
        timer_.setSingleShot(false);
        timer_.setInterval(seconds * 1000);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { expire(); });
        timer_.start();
    }
    ModalTimeout(const ModalTimeout&) = delete;
    ModalTimeout& operator=(const ModalTimeout&) = delete;

    bool expired() const { return expired_; }

private:
    void expire() {
        if (!expired_) {
            expired_ = true;
            const QByteArray message =
                QByteArray(what_) + " was still running when its time ran out; closing it";
            QTest::qFail(message.constData(), __FILE__, __LINE__);
            timer_.setInterval(200);
        }
        if (++rounds_ > 10) {
            QCoreApplication::exit(1);
            return;
        }
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            return;
        }
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->close();
    }

    const char* what_;
    QTimer timer_;
    bool expired_ = false;
    int rounds_ = 0;
};

// Runs `open`, which shows a modal dialog of type D; `script` drives the dialog
// from inside its event loop. A dialog the script leaves open is rejected
// afterwards so that a failing test cannot hang, and the whole run is bounded
// by a ModalTimeout. Returns whether a D was shown;
// `leftOpen` tells whether it was still open when the script ended.
template <class D>
bool whileModal(const std::function<void()>& open, const std::function<void(D*)>& script,
                bool* leftOpen = nullptr) {
    bool found = false;
    bool stillOpen = false;
    QObject guard; // a dialog that never opens leaves no timer behind
    QTimer::singleShot(0, &guard, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dlg = qobject_cast<D*>(modal);
        if (!dlg) {
            if (modal)
                modal->close();
            return;
        }
        found = true;
        // Focus checks and typed keys need the dialog to be the active window.
        if (!QTest::qWaitForWindowActive(dlg))
            qWarning("the dialog did not become active");
        QPointer<D> alive(dlg);
        script(dlg);
        stillOpen = alive && alive->isVisible();
        if (stillOpen)
            alive->reject();
    });
    // A script that opens a box nobody answers must not hang the test.
    ModalTimeout bound(30, "a dialog driven by the test");
    open();
    if (leftOpen)
        *leftOpen = stillOpen;
    return found;
}

// Answers left over by a test must not reach the next one.
inline void drainMessageAnswers() {
    while (Msg::answersQueued())
        Msg::information(nullptr, QString());
    Msg::takeShown();
}
