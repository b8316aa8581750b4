#pragma once
// A program folder of its own with both data modules on it, and helpers to
// run a modal dialog from a script and to read back what was stored.
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

struct DataFixture {
    QTemporaryDir folder;
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;

    DataFixture() {
        globals = std::make_unique<TdmGlobals>(folder.path());
        projects = std::make_unique<TdmProjects>(*globals);
    }
    ~DataFixture() {
        projects.reset();
        globals.reset();
    }

    // A fresh cursor, so a check reads what is stored, not a cached record.
    std::unique_ptr<DbTable> table(const QString& name) {
        auto t = std::make_unique<DbTable>(globals->Connection(), name);
        if (t->def().encrypted)
            t->applyPassword(kTablePassword);
        t->open();
        return t;
    }
};

// Answers left over by a test must not reach the next one.
inline void drainMessageAnswers() {
    while (Msg::answersQueued())
        Msg::information(nullptr, QString());
    Msg::takeShown();
}

// Runs `show` (which opens a modal dialog of type D and returns its result);
// `script` drives the dialog from inside its event loop. A dialog the script
// leaves open is closed afterwards so a failing test cannot hang;
// `leftOpen` tells whether that was needed.
template <class D, class R>
R driveModal(const std::function<R()>& show, const std::function<void(D*)>& script,
             bool* leftOpen = nullptr) {
    bool found = false;
    bool open = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<D*>(QApplication::activeModalWidget());
        found = dlg != nullptr;
        if (!dlg)
            return;
        // Focus checks and typed keys need the dialog to be the active window.
        if (!QTest::qWaitForWindowActive(dlg))
            qWarning("the dialog did not become active");
        script(dlg);
        open = dlg->isVisible();
        if (open)
            dlg->done(QDialog::Rejected);
    });
    R result = show();
    if (!found)
        qWarning("the expected dialog was not the active modal window");
    if (leftOpen)
        *leftOpen = open;
    return result;
}
