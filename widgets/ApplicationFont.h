#pragma once
// The face the program's windows are designed in: Arial 8 pt. It is set once,
// as the application's font, at start-up; a window designed in another face
// sets its own.
#include <QApplication>
#include <QFont>

inline QFont designedFont() {
    return QFont(QStringLiteral("Arial"), 8);
}

inline void setApplicationFont() {
    QApplication::setFont(designedFont());
}
