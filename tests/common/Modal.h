#pragma once
// Driving modal dialogs from inside their own event loops, as a user would.
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

// Runs `open`, which shows a modal dialog of type D; `script` drives the dialog
// from inside its event loop. A dialog the script leaves open is rejected
// afterwards so that a failing test cannot hang. Returns whether a D was shown;
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
