#pragma once
// Every file of a folder with its bytes, so a test can show that nothing in
// the data folder was changed.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

inline QMap<QString, QByteArray> filesIn(const QString& folder) {
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.insert(name, f.readAll());
    }
    return files;
}
