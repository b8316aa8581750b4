#pragma once
// Shows the wait cursor while something keeps the program busy, so it never
// looks frozen without a sign. Does nothing without a GUI application.
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

class WaitCursor {
public:
    WaitCursor()
        : set_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        if (set_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor() {
        if (set_)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool set_;
};
