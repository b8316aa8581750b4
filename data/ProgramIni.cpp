#include "data/ProgramIni.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

ProgramIni::ProgramIni(const QString& path)
    : path_(path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        values_ = parse(file.readAll());
}

QString ProgramIni::programFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (the crash path's set-up, for one).
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

ProgramIni ProgramIni::inFolder(const QString& folder) {
    const QString dir = folder.isEmpty() ? programFolder() : folder;
    return ProgramIni(QDir(dir).filePath(QString::fromLatin1(kFileName)));
}

QHash<QString, QString> ProgramIni::parse(const QByteArray& text) {
    QHash<QString, QString> values;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3); // a byte order mark written by some editors
    for (const QByteArray& raw : body.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') ||
            line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        values.insert(line.left(equals).trimmed().toLower(), line.mid(equals + 1).trimmed());
    }
    return values;
}

std::optional<QString> ProgramIni::value(const QString& key) const {
    const auto it = values_.constFind(key.toLower());
    if (it == values_.constEnd())
        return std::nullopt;
    return *it;
}
