#pragma once
// The program's own settings file, `pelloran.ini` beside the program: what an
// organisation sets once for everyone who runs this copy (where problem
// reports go, for one). Lines of `key=value`; blanks around key and value do
// not count, keys are matched without regard to case, and a later line wins.
// Empty lines, lines starting with '#' or ';', section lines ("[...]") and
// lines without '=' are ignored. The text is UTF-8.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

class ProgramIni {
public:
    static constexpr const char* kFileName = "pelloran.ini";

    // Reads the file at `path`; a missing or unreadable file has no values.
    explicit ProgramIni(const QString& path);

    // The file in `programFolder`; the folder of the running program when empty.
    static ProgramIni inFolder(const QString& programFolder = QString());
    static QString programFolder();

    static QHash<QString, QString> parse(const QByteArray& text);

    const QString& path() const { return path_; }
    // The value of `key`; nullopt when the file has no such line.
    std::optional<QString> value(const QString& key) const;

private:
    QString path_;
    QHash<QString, QString> values_;
};
