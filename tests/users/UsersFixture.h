#pragma once
// A program folder of its own with both data modules on it, and helpers to
// run a modal dialog from a script and to read back what was stored.
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "tests/common/Modal.h"
#include "widgets/ApplicationFont.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

struct UsersFixture {
    QTemporaryDir folder;
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;

    UsersFixture() {
        setApplicationFont(); // as the start-up sequence sets it
        globals = std::make_unique<TdmGlobals>(folder.path());
        projects = std::make_unique<TdmProjects>(*globals);
    }
    ~UsersFixture() {
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

// Runs `show` (which opens a modal dialog of type D and returns its result);
// `script` drives the dialog from inside its event loop (see whileModal).
template <class D, class R>
R driveModal(const std::function<R()>& show, const std::function<void(D*)>& script,
             bool* leftOpen = nullptr) {
    R result{};
    if (!whileModal<D>([&] { result = show(); }, script, leftOpen))
        qWarning("the expected dialog was not the active modal window");
    return result;
}
