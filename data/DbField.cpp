#include "data/DbField.h"

#include "data/DbDataset.h"
#include "data/DbStorage.h"
#include "data/Errors.h"

#include <QLocale>

using DbStorage::cutCharacter;
using DbStorage::kDateTimeFormat;

namespace {

QLocale userLocale() {
    QLocale loc;
    loc.setNumberOptions(loc.numberOptions() | QLocale::OmitGroupSeparator);
    return loc;
}

double parseFloat(const QString& text, bool* ok) {
    double d = userLocale().toDouble(text.trimmed(), ok);
    if (!*ok)
        d = QLocale::c().toDouble(text.trimmed(), ok);
    return d;
}

} // namespace

QVariant DbField::materialize(FieldKind kind, const QVariant& v) {
    if (kind == FieldKind::DateTime && v.typeId() == QMetaType::QString) {
        const QDateTime dt = QDateTime::fromString(v.toString(), kDateTimeFormat);
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    return v;
}

QVariant DbField::value() const {
    return owner_->hasCurrent() ? materialize(kind_, owner_->current_.at(index_)) : QVariant();
}

bool DbField::isNull() const {
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

QString DbField::textOf(FieldKind kind, const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return {};
    switch (kind) {
    case FieldKind::Float:
        return userLocale().toString(v.toDouble(), 'g', 15);
    case FieldKind::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldKind::DateTime:
        return QLocale().toString(materialize(kind, v).toDateTime(), QLocale::ShortFormat);
    case FieldKind::Memo:
        return v.typeId() == QMetaType::QByteArray ? QString::fromUtf8(v.toByteArray())
                                                   : v.toString();
    default:
        if (v.typeId() == QMetaType::Double)
            return userLocale().toString(v.toDouble(), 'g', 15);
        return v.toString();
    }
}

QString DbField::asString() const {
    return textOf(kind_, value());
}

qint32 DbField::asInteger() const {
    const QVariant v = value();
    if (isNull())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return qint32(qRound64(v.toDouble()));
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const int i = v.toString().trimmed().toInt(&ok);
        if (!ok)
            throw DataError(QStringLiteral("'") + v.toString() +
                            QStringLiteral("' is not a valid integer value for field ") + name_);
        return i;
    }
    return qint32(v.toLongLong());
}

double DbField::asFloat() const {
    const QVariant v = value();
    if (isNull())
        return 0.0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const double d = parseFloat(v.toString(), &ok);
        if (!ok)
            throw DataError(QStringLiteral("'") + v.toString() +
                            QStringLiteral("' is not a valid floating point value for field ") +
                            name_);
        return d;
    }
    return v.toDouble();
}

bool DbField::asBoolean() const {
    return !isNull() && value().toBool();
}

QDateTime DbField::asDateTime() const {
    return isNull() ? QDateTime() : value().toDateTime();
}

QByteArray DbField::asBytes() const {
    const QVariant v = value();
    if (isNull())
        return {};
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8();
}

void DbField::setAsString(const QString& v) {
    switch (kind_) {
    case FieldKind::Character:
        owner_->setFieldValue(index_, cutCharacter(v, width_));
        return;
    case FieldKind::Memo:
        owner_->setFieldValue(index_, v);
        return;
    case FieldKind::AutoInc:
    case FieldKind::Integer: {
        if (v.trimmed().isEmpty())
            return clear();
        bool ok = false;
        const int i = v.trimmed().toInt(&ok);
        if (!ok)
            throw DataError(QStringLiteral("'") + v +
                            QStringLiteral("' is not a valid integer value for field ") + name_);
        owner_->setFieldValue(index_, i);
        return;
    }
    case FieldKind::Float: {
        if (v.trimmed().isEmpty())
            return clear();
        bool ok = false;
        const double d = parseFloat(v, &ok);
        if (!ok)
            throw DataError(QStringLiteral("'") + v +
                            QStringLiteral("' is not a valid floating point value for field ") +
                            name_);
        owner_->setFieldValue(index_, d);
        return;
    }
    case FieldKind::Boolean:
        owner_->setFieldValue(index_, v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
        return;
    case FieldKind::DateTime:
        owner_->setFieldValue(index_, QLocale().toDateTime(v, QLocale::ShortFormat));
        return;
    }
}

void DbField::setAsInteger(qint32 v) {
    if (kind_ == FieldKind::Character || kind_ == FieldKind::Memo)
        return setAsString(QString::number(v));
    if (kind_ == FieldKind::Float)
        return owner_->setFieldValue(index_, double(v));
    if (kind_ == FieldKind::Boolean)
        return owner_->setFieldValue(index_, v != 0);
    owner_->setFieldValue(index_, v);
}

void DbField::setAsFloat(double v) {
    if (kind_ == FieldKind::Character || kind_ == FieldKind::Memo)
        return setAsString(textOf(FieldKind::Float, v));
    if (kind_ == FieldKind::Integer || kind_ == FieldKind::AutoInc)
        return owner_->setFieldValue(index_, qint32(qRound64(v)));
    owner_->setFieldValue(index_, v);
}

void DbField::setAsBoolean(bool v) {
    if (kind_ == FieldKind::Boolean)
        return owner_->setFieldValue(index_, v);
    setAsInteger(v ? 1 : 0);
}

void DbField::setAsDateTime(const QDateTime& v) {
    if (kind_ != FieldKind::DateTime)
        return setAsString(QLocale().toString(v, QLocale::ShortFormat));
    owner_->setFieldValue(index_, v.isValid() ? QVariant(v) : QVariant());
}

void DbField::setAsBytes(const QByteArray& v) {
    if (kind_ == FieldKind::Memo)
        return owner_->setFieldValue(index_, v);
    setAsString(QString::fromUtf8(v));
}

void DbField::setValue(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return clear();
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return setAsInteger(qint32(v.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return setAsFloat(v.toDouble());
    case QMetaType::Bool:
        return setAsBoolean(v.toBool());
    case QMetaType::QDateTime:
        return setAsDateTime(v.toDateTime());
    case QMetaType::QByteArray:
        return setAsBytes(v.toByteArray());
    default:
        return setAsString(v.toString());
    }
}

void DbField::clear() {
    owner_->setFieldValue(index_, QVariant());
}
