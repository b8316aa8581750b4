#pragma once
// Errors of our own. Every error the program raises on purpose is a
// PelloranError, so the central handler can show its message as written.
#include <QString>
#include <stdexcept>

class PelloranError : public std::runtime_error {
public:
    explicit PelloranError(const QString& message)
        : std::runtime_error(message.toStdString())
        , message_(message) {}
    const QString& message() const noexcept { return message_; }

private:
    QString message_;
};

// A failure of the data engine or of a dataset operation. Carries the file
// involved where there is one, so a person knows which table is at fault.
class DataError : public PelloranError {
public:
    explicit DataError(const QString& message, const QString& file = {})
        : PelloranError(file.isEmpty() ? message : message + QStringLiteral(" (") + file + u')')
        , file_(file) {}
    const QString& file() const noexcept { return file_; }

protected:
    // For messages that already name the file in words of their own.
    struct FileNamedInMessage {};
    DataError(const QString& message, const QString& file, FileNamedInMessage)
        : PelloranError(message)
        , file_(file) {}

private:
    QString file_;
};

// The data folder itself is damaged: a table file that is not a database, cut
// short or empty, or missing beside tables that hold data. Not a fault of the
// program: start-up shows the message as it is and ends without changing
// anything, instead of asking for a problem report. `file()` is the path of
// the damaged or missing file.
class DamagedDataError : public DataError {
public:
    DamagedDataError(const QString& message, const QString& file)
        : DataError(message, file, FileNamedInMessage{}) {}
};

// fieldByName with a name the dataset does not have.
class FieldNotFoundError : public DataError {
public:
    using DataError::DataError;
};
