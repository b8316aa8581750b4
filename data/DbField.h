#pragma once
// A field of a dataset's current record: read and written by name in the
// program's own types.
#include "data/TableStructures.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

class DbDataset;

// A field of a dataset's current record.
class DbField {
public:
    DbField(DbDataset* owner, int index, QString name, FieldKind kind, int width)
        : owner_(owner)
        , index_(index)
        , name_(std::move(name))
        , kind_(kind)
        , width_(width) {}

    const QString& name() const { return name_; }
    FieldKind kind() const { return kind_; }
    int width() const { return width_; }
    int index() const { return index_; }

    bool isNull() const;
    QVariant value() const; // raw stored value, null as an invalid QVariant
    // Nulls read as 0, "" or false. Floats read as text in general form with
    // up to 15 significant digits and the user's decimal separator.
    QString asString() const;
    qint32 asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    QDateTime asDateTime() const;
    QByteArray asBytes() const; // memo as a byte stream

    // Writers need the dataset in edit or insert state. Character values are
    // cut to the field's width and stored without trailing blanks.
    void setAsString(const QString& v);
    void setAsInteger(qint32 v);
    void setAsFloat(double v);
    void setAsBoolean(bool v);
    void setAsDateTime(const QDateTime& v);
    void setAsBytes(const QByteArray& v); // replaces the whole memo
    // Converts a value of any type to the field's own type; null clears it.
    void setValue(const QVariant& v);
    void clear();

    // The text form of a value of the given kind, as asString gives it.
    static QString textOf(FieldKind kind, const QVariant& v);
    // A value as held in a row (currentValues, valueAt) in the form value()
    // gives: date-times are held as stored text until they are read.
    static QVariant materialize(FieldKind kind, const QVariant& v);

private:
    DbDataset* owner_;
    int index_;
    QString name_;
    FieldKind kind_;
    int width_;
};
