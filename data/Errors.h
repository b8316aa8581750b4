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

private:
    QString file_;
};

// fieldByName with a name the dataset does not have.
class FieldNotFoundError : public DataError {
public:
    using DataError::DataError;
};
