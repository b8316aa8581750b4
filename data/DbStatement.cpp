#include "data/DbStatement.h"

#include "data/DbConnection.h"
#include "data/DbStorage.h"
#include "data/Errors.h"

#include <sqlcipher/sqlite3.h>

using DbStorage::toStorage;

DbStatement::DbStatement(DbConnection& conn, const QString& sql)
    : conn_(conn)
    , sql_(sql) {
    stmt_ = conn_.acquire(sql_, cached_);
}

DbStatement::~DbStatement() {
    conn_.release(sql_, stmt_, cached_);
}

void DbStatement::bind(int index, const QVariant& value) {
    const QVariant v = toStorage(value);
    int rc = SQLITE_OK;
    if (!v.isValid() || v.isNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(stmt_, index, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt_, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob64(stmt_, index, b.constData(), sqlite3_uint64(b.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray u = v.toString().toUtf8();
            rc = sqlite3_bind_text64(stmt_, index, u.constData(), sqlite3_uint64(u.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    conn_.check(rc, QStringLiteral("Cannot bind a parameter"));
}

void DbStatement::bind(const QString& name, const QVariant& value) {
    const int index = sqlite3_bind_parameter_index(stmt_, name.toUtf8().constData());
    if (index == 0)
        throw DataError(QStringLiteral("Parameter ") + name + QStringLiteral(" not found"));
    bind(index, value);
}

int DbStatement::parameterCount() const {
    return sqlite3_bind_parameter_count(stmt_);
}

QString DbStatement::parameterName(int index) const {
    return QString::fromUtf8(sqlite3_bind_parameter_name(stmt_, index));
}

bool DbStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    conn_.fail(QStringLiteral("The data engine failed"));
}

void DbStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int DbStatement::columnCount() const {
    return sqlite3_column_count(stmt_);
}

QString DbStatement::columnName(int i) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

QString DbStatement::columnDeclType(int i) const {
    return QString::fromUtf8(sqlite3_column_decltype(stmt_, i));
}

QVariant DbStatement::column(int i) const {
    switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(stmt_, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, i));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                              sqlite3_column_bytes(stmt_, i)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, i)),
                                   sqlite3_column_bytes(stmt_, i)));
    default:
        return {};
    }
}

qint64 DbStatement::columnInt64(int i) const {
    return sqlite3_column_int64(stmt_, i);
}
