#include "data/Dataset.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

constexpr int kPageRows = 128;
constexpr int kMaxCachedStatements = 96;

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

// The actual file in the folder whose name matches without regard to case.
QString fileInFolder(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return dir.filePath(name);
}

FieldKind kindFromDeclType(const QString& decl, int& width) {
    const QString d = decl.toUpper();
    width = 0;
    if (d.startsWith(QLatin1String("VARCHAR"))) {
        const int open = d.indexOf(u'('), close = d.indexOf(u')');
        if (open > 0 && close > open)
            width = d.mid(open + 1, close - open - 1).toInt();
        return FieldKind::Character;
    }
    if (d == QLatin1String("INTEGER"))
        return FieldKind::Integer;
    if (d == QLatin1String("DOUBLE"))
        return FieldKind::Float;
    if (d == QLatin1String("CLOB"))
        return FieldKind::Memo;
    if (d == QLatin1String("BOOLEAN"))
        return FieldKind::Boolean;
    if (d == QLatin1String("DATETIME"))
        return FieldKind::DateTime;
    return FieldKind::Character;
}

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// A stored value as the program reads it for a field of the given kind.
QVariant fromStorage(FieldKind kind, QVariant raw) {
    if (!raw.isValid() || raw.isNull())
        return {};
    switch (kind) {
    case FieldKind::AutoInc:
    case FieldKind::Integer:
        return QVariant(int(raw.toLongLong()));
    case FieldKind::Float:
        return QVariant(raw.toDouble());
    case FieldKind::Boolean:
        return QVariant(raw.toLongLong() != 0);
    case FieldKind::DateTime:
        // Kept as stored text until read: converting to local time is costly
        // and most rows are never looked at field by field.
        return raw.typeId() == QMetaType::QString ? raw : QVariant(raw.toString());
    case FieldKind::Character:
        return raw.typeId() == QMetaType::QString ? raw : QVariant(raw.toString());
    case FieldKind::Memo:
        return raw;
    }
    return raw;
}

QVariant toStorage(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(v.toDateTime().toString(kDateTimeFormat));
    default:
        return v;
    }
}

QString cutCharacter(const QString& s, int width) {
    QString r = width > 0 ? s.left(width) : s;
    qsizetype end = r.size();
    while (end > 0 && r.at(end - 1) == u' ')
        --end;
    r.truncate(end);
    return r;
}

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

// Values compare equal the way Locate means it: numbers by value, text exactly.
bool sameValue(const QVariant& a, const QVariant& b) {
    const bool an = !a.isValid() || a.isNull(), bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an && bn;
    const auto numeric = [](const QVariant& v) {
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Double:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            return true;
        default:
            return false;
        }
    };
    if (numeric(a) && numeric(b))
        return a.toDouble() == b.toDouble();
    if (numeric(a) != numeric(b)) {
        bool ok = false;
        const double d = (numeric(a) ? b : a).toString().toDouble(&ok);
        return ok && d == (numeric(a) ? a : b).toDouble();
    }
    return a.toString() == b.toString();
}

// Translates both parameter forms (:"Project ID" and :ProjectID) to numbered
// parameters the engine understands; everything else is left as written.
QString translateParameters(const QString& sql, QStringList& names) {
    QString out;
    out.reserve(sql.size());
    const auto numberFor = [&names](const QString& name) {
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i + 1;
        names.append(name);
        return int(names.size());
    };
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') { // literal or quoted name: copy through its end
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += QStringView(sql).mid(i, j - i + 1);
            i = j + 1;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype j = sql.indexOf(u'\n', i);
            const qsizetype end = j < 0 ? n : j;
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u'"') {
            const qsizetype j = sql.indexOf(u'"', i + 2);
            if (j < 0)
                throw DataError(QStringLiteral("Unterminated parameter name in statement: ") + sql);
            out += u'?' + QString::number(numberFor(sql.mid(i + 2, j - i - 2)));
            i = j + 1;
        } else if (c == u':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == u'_')) {
            qsizetype j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_'))
                ++j;
            out += u'?' + QString::number(numberFor(sql.mid(i + 1, j - i - 1)));
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

QString upperAsciiLetters(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return out;
}

// ---------------------------------------------------------------- statements

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

// ---------------------------------------------------------------- connection

struct DbConnection::CacheEntry {
    QString sql;
    sqlite3_stmt* stmt = nullptr;
    bool inUse = false;
};

DbConnection::DbConnection(const QString& dataFolder)
    : folder_(dataFolder) {
    const TableDef* tasks = findTableDef(QStringLiteral("Tasks"));
    const QString mainFile = fileInFolder(folder_, tasks->fileName());
    if (!QFileInfo::exists(mainFile))
        throw DataError(QStringLiteral("The table Tasks is missing from the data folder"),
                        mainFile);
    const int rc = sqlite3_open_v2(QFile::encodeName(mainFile).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DataError(QStringLiteral("Cannot open the table Tasks: ") + msg, mainFile);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // Rollback journal: the data folder may be a network share, where WAL is unsafe.
    char* err = nullptr;
    if (sqlite3_exec(db_,
                     "PRAGMA main.journal_mode=DELETE; PRAGMA foreign_keys=OFF;"
                     "SELECT count(*) FROM main.sqlite_master;",
                     nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : "unknown error");
        sqlite3_free(err);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw DataError(QStringLiteral("The table Tasks cannot be read: ") + msg, mainFile);
    }
    try {
        for (const TableDef& t : allTableDefs())
            if (!t.encrypted && &t != tasks)
                attachTable(t);
    } catch (...) {
        // The destructor does not run for a half-made connection.
        for (auto& e : cache_)
            sqlite3_finalize(e->stmt);
        cache_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
}

DbConnection::~DbConnection() {
    for (auto& e : cache_)
        sqlite3_finalize(e->stmt);
    cache_.clear();
    if (db_)
        sqlite3_close_v2(db_);
}

QString DbConnection::fileOf(const QString& schema) const {
    for (const TableDef& t : allTableDefs())
        if (t.schema() == schema)
            return fileInFolder(folder_, t.fileName());
    return folder_;
}

bool DbConnection::isAttached(const TableDef& table) const {
    return table.schema() == QLatin1String("tasks") || attached_.contains(table.schema());
}

void DbConnection::attachTable(const TableDef& table, const QString& password) {
    if (isAttached(table))
        return;
    const QString file = fileInFolder(folder_, table.fileName());
    if (!QFileInfo::exists(file))
        throw DataError(QStringLiteral("The table ") + table.name +
                            QStringLiteral(" is missing from the data folder"),
                        file);
    // Plain tables are attached with an empty key, so they stay readable by
    // ordinary tools; the encrypted one with its password.
    const QString sql = QStringLiteral("ATTACH DATABASE ?1 AS ") + quoted(table.schema()) +
                        QStringLiteral(" KEY ?2");
    {
        DbStatement st(*this, sql);
        st.bind(1, file);
        st.bind(2, table.encrypted ? password : QString());
        try {
            st.step();
        } catch (const DataError& e) {
            throw DataError(QStringLiteral("Cannot open the table ") + table.name + u':' + u' ' +
                                QString::fromUtf8(sqlite3_errmsg(db_)),
                            file);
        }
    }
    // The key (or the file itself) is only checked on the first read.
    const QByteArray probe = (QStringLiteral("SELECT count(*) FROM ") + quoted(table.schema()) +
                              QStringLiteral(".sqlite_master"))
                                 .toUtf8();
    if (sqlite3_exec(db_, probe.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
        const QByteArray detach =
            (QStringLiteral("DETACH DATABASE ") + quoted(table.schema())).toUtf8();
        sqlite3_exec(db_, detach.constData(), nullptr, nullptr, nullptr);
        throw DataError(
            QStringLiteral("The table ") + table.name +
                (table.encrypted
                     ? QStringLiteral(" cannot be read (wrong password, or not a database): ")
                     : QStringLiteral(" cannot be read: ")) +
                msg,
            file);
    }
    const QByteArray journal = (QStringLiteral("PRAGMA ") + quoted(table.schema()) +
                                QStringLiteral(".journal_mode=DELETE"))
                                   .toUtf8();
    sqlite3_exec(db_, journal.constData(), nullptr, nullptr, nullptr);
    attached_.append(table.schema());
}

sqlite3_stmt* DbConnection::acquire(const QString& sql, bool& cached) {
    for (auto& e : cache_) {
        if (!e->inUse && e->sql == sql) {
            e->inUse = true;
            cached = true;
            return e->stmt;
        }
    }
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail(QStringLiteral("Cannot prepare the statement «") + sql.simplified() +
             QStringLiteral("»"));
    }
    cached = int(cache_.size()) < kMaxCachedStatements;
    if (cached) {
        auto e = std::make_unique<CacheEntry>();
        e->sql = sql;
        e->stmt = stmt;
        e->inUse = true;
        cache_.push_back(std::move(e));
    }
    return stmt;
}

void DbConnection::release(const QString& sql, sqlite3_stmt* stmt, bool cached) {
    if (!stmt)
        return;
    if (!cached) {
        sqlite3_finalize(stmt);
        return;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (auto& e : cache_)
        if (e->stmt == stmt && e->sql == sql)
            e->inUse = false;
}

void DbConnection::fail(const QString& what, const QString& file) const {
    const int code = sqlite3_errcode(db_);
    QString f = file;
    if (f.isEmpty() && (code & 0xff) == SQLITE_NOTADB)
        f = folder_;
    throw DataError(what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_)), f);
}

void DbConnection::check(int rc, const QString& what) const {
    if (rc != SQLITE_OK)
        fail(what);
}

int DbConnection::execute(const QString& sql, const QVariantList& params) {
    QStringList names;
    const QString translated = translateParameters(sql, names);
    Transaction tx(*this);
    int changes = 0;
    {
        DbStatement st(*this, translated);
        for (int i = 0; i < params.size() && i < st.parameterCount(); ++i)
            st.bind(i + 1, params[i]);
        while (st.step()) {
        }
        changes = sqlite3_changes(db_);
    }
    tx.commit();
    return changes;
}

DbConnection::Transaction::Transaction(DbConnection& conn)
    : conn_(conn)
    , level_(conn.txDepth_) {
    const QByteArray sql =
        level_ == 0 ? QByteArray("BEGIN IMMEDIATE") : "SAVEPOINT sp" + QByteArray::number(level_);
    if (sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        conn_.fail(QStringLiteral("Cannot start writing to the data folder"));
    ++conn_.txDepth_;
}

DbConnection::Transaction::~Transaction() {
    if (done_)
        return;
    --conn_.txDepth_;
    const QByteArray sql = level_ == 0 ? QByteArray("ROLLBACK")
                                       : "ROLLBACK TO sp" + QByteArray::number(level_) +
                                             "; RELEASE sp" + QByteArray::number(level_);
    sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr);
}

void DbConnection::Transaction::commit() {
    if (done_)
        return;
    const QByteArray sql =
        level_ == 0 ? QByteArray("COMMIT") : "RELEASE sp" + QByteArray::number(level_);
    if (sqlite3_exec(conn_.db_, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        conn_.fail(QStringLiteral("Cannot save the changes"));
    done_ = true;
    --conn_.txDepth_;
}

// ---------------------------------------------------------------- fields

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

// ---------------------------------------------------------------- datasets

DbDataset::DbDataset(DbConnection& conn, QObject* parent)
    : QObject(parent)
    , conn_(conn) {}

DbDataset::~DbDataset() = default;

void DbDataset::open() {
    if (active())
        return;
    doOpen();
    state_ = State::Browse;
    emit afterOpen(this);
}

void DbDataset::close() {
    if (!active())
        return;
    doClose();
    state_ = State::Inactive;
    clearCurrent();
    emit afterClose(this);
}

DbField* DbDataset::findField(const QString& name) {
    for (DbField& f : fields_)
        if (f.name().compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

DbField& DbDataset::fieldByName(const QString& name) {
    if (DbField* f = findField(name))
        return *f;
    throw FieldNotFoundError(displayName() + QStringLiteral(": Field '") + name +
                             QStringLiteral("' not found"));
}

void DbDataset::append() {
    requireWritable("Append");
}
void DbDataset::edit() {
    requireWritable("Edit");
}
void DbDataset::post() {
    requireWritable("Post");
}
void DbDataset::cancel() {
    requireWritable("Cancel");
}
void DbDataset::deleteRecord() {
    requireWritable("Delete");
}

void DbDataset::requireWritable(const char* op) const {
    throw DataError(displayName() + QStringLiteral(": ") + QLatin1String(op) +
                    QStringLiteral(" is not possible on a read-only dataset"));
}

void DbDataset::disableControls() {
    ++disabled_;
}

void DbDataset::enableControls() {
    if (disabled_ > 0 && --disabled_ == 0 && scrolledWhileDisabled_) {
        scrolledWhileDisabled_ = false;
        emit afterScroll(this);
    }
}

void DbDataset::setCurrent(QVariantList values) {
    current_ = std::move(values);
    eof_ = false;
}

void DbDataset::clearCurrent() {
    current_.clear();
    eof_ = true;
}

void DbDataset::markScrolled() {
    if (disabled_ > 0)
        scrolledWhileDisabled_ = true;
    else
        emit afterScroll(this);
}

void DbDataset::setFieldValue(int index, QVariant value) {
    if (state_ != State::Edit && state_ != State::Insert)
        throw DataError(displayName() + QStringLiteral(": Dataset not in edit or insert mode"));
    current_[index] = std::move(value);
    modified_[size_t(index)] = true;
}

// ---------------------------------------------------------------- tables

DbTable::DbTable(DbConnection& conn, const QString& tableName, QObject* parent)
    : DbDataset(conn, parent)
    , def_(findTableDef(tableName)) {
    if (!def_)
        throw DataError(QStringLiteral("Table ") + tableName + QStringLiteral(" does not exist"));
    qualified_ = (def_->schema() == QLatin1String("tasks") ? QStringLiteral("main")
                                                           : quoted(def_->schema())) +
                 u'.' + quoted(def_->name);
    for (int i = 0; i < def_->fields.size(); ++i) {
        const FieldDef& f = def_->fields[i];
        fields_.emplace_back(this, i, f.name, f.kind, f.width);
        if (f.kind == FieldKind::AutoInc)
            idIndex_ = i;
    }
    modified_.assign(fields_.size(), false);
}

QString DbTable::displayName() const {
    return def_->name;
}

void DbTable::setIndexName(const QString& tag) {
    if (tag.isEmpty()) {
        index_ = nullptr;
        indexTag_.clear();
    } else {
        index_ = def_->index(tag);
        if (!index_)
            throw DataError(def_->name + QStringLiteral(": Index ") + tag +
                            QStringLiteral(" does not exist"));
        indexTag_ = index_->tag;
    }
    if (active()) {
        fetchPage(true);
        markScrolled();
    }
}

void DbTable::applyPassword(const QString& password) {
    password_ = password;
    if (active())
        conn_.attachTable(*def_, password_);
}

void DbTable::setRange(const QString& field, const QVariant& value) {
    if (!def_->field(field))
        throw FieldNotFoundError(def_->name + QStringLiteral(": Field '") + field +
                                 QStringLiteral("' not found"));
    rangeField_ = def_->field(field)->name;
    rangeValue_ = value;
    hasRange_ = true;
    if (active()) {
        fetchPage(true);
        markScrolled();
    }
}

void DbTable::cancelRange() {
    hasRange_ = false;
    if (active()) {
        fetchPage(true);
        markScrolled();
    }
}

void DbTable::setMasterLink(DbDataset* master, const QString& masterField, const QString& field) {
    QObject::disconnect(masterScroll_);
    QObject::disconnect(masterOpen_);
    master_ = master;
    masterField_ = masterField;
    rangeField_ = field;
    hasRange_ = master != nullptr;
    if (master) {
        masterScroll_ = connect(master, &DbDataset::afterScroll, this, [this] { followMaster(); });
        masterOpen_ = connect(master, &DbDataset::afterOpen, this, [this] { followMaster(); });
    }
}

void DbTable::followMaster() {
    if (!master_)
        return;
    DbField* f = master_->hasCurrent() ? master_->findField(masterField_) : nullptr;
    rangeValue_ = f ? f->value() : QVariant();
    if (!f)
        rangeValue_ = QVariant(); // no master record: the range matches nothing
    if (active()) {
        fetchPage(true);
        markScrolled();
    }
}

QString DbTable::selectList() const {
    QString s;
    for (const FieldDef& f : def_->fields) {
        if (!s.isEmpty())
            s += u',';
        s += quoted(f.name);
    }
    return s;
}

QString DbTable::orderBy() const {
    const QString id = quoted(def_->fields[idIndex_].name);
    if (!index_ || index_->field == def_->fields[idIndex_].name)
        return id;
    const QString key = index_->upper ? QStringLiteral("upper(") + quoted(index_->field) + u')'
                                      : quoted(index_->field);
    return key + u',' + id;
}

QString DbTable::rangeWhere() const {
    if (!hasRange_)
        return {};
    if (!rangeValue_.isValid() || rangeValue_.isNull())
        return QStringLiteral("0");
    return quoted(rangeField_) + QStringLiteral(" = ?");
}

void DbTable::bindRange(DbStatement& st, int& at) const {
    if (hasRange_ && rangeValue_.isValid() && !rangeValue_.isNull())
        st.bind(at++, rangeValue_);
}

QVariant DbTable::sortKeyOf(const QVariantList& row) const {
    if (!index_ || index_->field == def_->fields[idIndex_].name)
        return {};
    const int i = int(def_->field(index_->field) - def_->fields.constData());
    QVariant v = toStorage(row.at(i));
    if (index_->upper && v.isValid() && !v.isNull()) {
        v = upperAsciiLetters(v.toString());
    }
    return v;
}

namespace {
QVariantList readRow(const DbStatement& st, const TableDef& def) {
    QVariantList row;
    row.reserve(def.fields.size());
    for (int i = 0; i < def.fields.size(); ++i)
        row.append(fromStorage(def.fields[i].kind, st.column(i)));
    return row;
}
} // namespace

bool DbTable::fetchPage(bool fromStart) {
    ahead_.clear();
    aheadComplete_ = false;
    QString where = rangeWhere();
    const bool keyed = index_ && index_->field != def_->fields[idIndex_].name;
    const QString idName = quoted(def_->fields[idIndex_].name);
    QVariant key;
    qint64 lastId = 0;
    if (!fromStart) {
        if (!hasCurrent())
            return false;
        key = sortKeyOf(current_);
        lastId = current_.at(idIndex_).toLongLong();
        QString after;
        if (!keyed) {
            after = idName + QStringLiteral(" > ?");
        } else {
            const QString k = index_->upper
                                  ? QStringLiteral("upper(") + quoted(index_->field) + u')'
                                  : quoted(index_->field);
            // Nulls sort first, so after a null key come the other nulls by id, then every key.
            after = key.isValid() && !key.isNull()
                        ? QStringLiteral("(") + k + QStringLiteral(" > ? OR (") + k +
                              QStringLiteral(" = ? AND ") + idName + QStringLiteral(" > ?))")
                        : QStringLiteral("((") + k + QStringLiteral(" IS NULL AND ") + idName +
                              QStringLiteral(" > ?) OR ") + k + QStringLiteral(" IS NOT NULL)");
        }
        where = where.isEmpty() ? after : where + QStringLiteral(" AND ") + after;
    }
    const QString sql = QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") +
                        qualified_ +
                        (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where) +
                        QStringLiteral(" ORDER BY ") + orderBy() + QStringLiteral(" LIMIT ") +
                        QString::number(kPageRows);
    std::deque<QVariantList> rows;
    {
        DbStatement st(conn_, sql);
        int at = 1;
        bindRange(st, at);
        if (!fromStart) {
            if (keyed && key.isValid() && !key.isNull()) {
                st.bind(at++, key);
                st.bind(at++, key);
            }
            st.bind(at++, lastId);
        }
        while (st.step())
            rows.push_back(readRow(st, *def_));
    }
    if (rows.empty()) {
        if (fromStart)
            clearCurrent();
        else
            eof_ = true;
        aheadComplete_ = true;
        return false;
    }
    aheadComplete_ = rows.size() < size_t(kPageRows);
    setCurrent(std::move(rows.front()));
    rows.pop_front();
    ahead_ = std::move(rows);
    return true;
}

bool DbTable::loadRowById(qint64 rowid) {
    const QString sql = QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") +
                        qualified_ + QStringLiteral(" WHERE ") +
                        quoted(def_->fields[idIndex_].name) + QStringLiteral(" = ?");
    DbStatement st(conn_, sql);
    st.bind(1, rowid);
    if (!st.step())
        return false;
    setCurrent(readRow(st, *def_));
    ahead_.clear();
    aheadComplete_ = false;
    return true;
}

void DbTable::doOpen() {
    if (def_->encrypted && password_.isEmpty())
        throw DataError(
            def_->name +
                QStringLiteral(": the table is encrypted and its password has not been applied"),
            def_->fileName());
    conn_.attachTable(*def_, password_);
    if (master_) {
        DbField* f = master_->hasCurrent() ? master_->findField(masterField_) : nullptr;
        rangeValue_ = f ? f->value() : QVariant();
    }
    fetchPage(true);
}

void DbTable::doClose() {
    ahead_.clear();
    aheadComplete_ = false;
    backup_.clear();
}

void DbTable::first() {
    if (!active())
        throw DataError(def_->name +
                        QStringLiteral(": Cannot perform this operation on a closed dataset"));
    fetchPage(true);
    markScrolled();
}

void DbTable::next() {
    if (!active() || !hasCurrent()) {
        eof_ = true;
        return;
    }
    if (!ahead_.empty()) {
        setCurrent(std::move(ahead_.front()));
        ahead_.pop_front();
        markScrolled();
        return;
    }
    if (aheadComplete_) {
        eof_ = true;
        return;
    }
    const QVariantList last = current_;
    if (fetchPage(false)) {
        markScrolled();
    } else {
        current_ = last; // stay on the last record at the end
        eof_ = true;
    }
}

bool DbTable::locate(const QString& fieldNames, const QVariantList& values) {
    if (!active())
        throw DataError(def_->name +
                        QStringLiteral(": Cannot perform this operation on a closed dataset"));
    const QStringList names = fieldNames.split(u';', Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw DataError(def_->name + QStringLiteral(": Locate needs one value for each field"));
    QString where = rangeWhere();
    QVariantList binds;
    if (hasRange_ && rangeValue_.isValid() && !rangeValue_.isNull())
        binds.append(rangeValue_);
    for (int i = 0; i < names.size(); ++i) {
        const QString name = names[i].trimmed();
        DbField& f = fieldByName(name);
        QVariant v = values[i];
        if (f.kind() == FieldKind::Character && v.isValid() && !v.isNull())
            v = cutCharacter(v.toString(), f.width());
        QString cond;
        bool viaUpperIndex = false;
        if (names.size() == 1)
            for (const IndexDef& ix : def_->indexes)
                if (ix.upper && ix.field.compare(f.name(), Qt::CaseInsensitive) == 0)
                    viaUpperIndex = true;
        if (!v.isValid() || v.isNull()) {
            cond = quoted(f.name()) + QStringLiteral(" IS NULL");
        } else if (viaUpperIndex) {
            // Lookups on a field that an upper-cased index covers go through that index.
            cond = QStringLiteral("upper(") + quoted(f.name()) + QStringLiteral(") = upper(?)");
            binds.append(v);
        } else {
            cond = quoted(f.name()) + QStringLiteral(" = ?");
            binds.append(v);
        }
        where = where.isEmpty() ? cond : where + QStringLiteral(" AND ") + cond;
    }
    const QString sql = QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") +
                        qualified_ + QStringLiteral(" WHERE ") + where +
                        QStringLiteral(" ORDER BY ") + orderBy() + QStringLiteral(" LIMIT 1");
    QVariantList found;
    {
        DbStatement st(conn_, sql);
        for (int i = 0; i < binds.size(); ++i)
            st.bind(i + 1, binds[i]);
        if (!st.step())
            return false;
        found = readRow(st, *def_);
    }
    setCurrent(std::move(found));
    ahead_.clear();
    aheadComplete_ = false;
    markScrolled();
    return true;
}

int DbTable::recordCount() {
    if (!active())
        return 0;
    const QString where = rangeWhere();
    DbStatement st(conn_, QStringLiteral("SELECT count(*) FROM ") + qualified_ +
                              (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where));
    int at = 1;
    bindRange(st, at);
    return st.step() ? int(st.columnInt64(0)) : 0;
}

void DbTable::refresh() {
    if (!active())
        return;
    if (state_ == State::Edit || state_ == State::Insert)
        cancel();
    if (!hasCurrent() || !loadRowById(current_.at(idIndex_).toLongLong()))
        fetchPage(true);
    markScrolled();
}

void DbTable::append() {
    if (!active())
        throw DataError(def_->name +
                        QStringLiteral(": Cannot perform this operation on a closed dataset"));
    if (state_ == State::Edit || state_ == State::Insert)
        post();
    backup_ = current_;
    QVariantList blank;
    for (size_t i = 0; i < fields_.size(); ++i)
        blank.append(QVariant());
    current_ = std::move(blank);
    eof_ = false;
    modified_.assign(fields_.size(), false);
    state_ = State::Insert;
    emit newRecord(this);
}

void DbTable::edit() {
    if (!active())
        throw DataError(def_->name +
                        QStringLiteral(": Cannot perform this operation on a closed dataset"));
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (!hasCurrent())
        throw DataError(def_->name + QStringLiteral(": There is no record to edit"));
    // Start from what is stored now, not from what was read a while ago.
    if (!loadRowById(current_.at(idIndex_).toLongLong()))
        throw DataError(def_->name + QStringLiteral(": The record was deleted by another user"));
    backup_ = current_;
    modified_.assign(fields_.size(), false);
    state_ = State::Edit;
}

void DbTable::post() {
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    const State was = state_;
    const QVariantList pending = current_;
    const std::vector<bool> pendingModified = modified_;
    DbConnection::Transaction tx(conn_);
    try {
        qint64 id = 0;
        if (was == State::Insert) {
            QString cols, marks;
            QVariantList binds;
            for (size_t i = 0; i < fields_.size(); ++i) {
                if (!modified_[i] || int(i) == idIndex_)
                    continue;
                cols +=
                    (cols.isEmpty() ? QString() : QStringLiteral(",")) + quoted(fields_[i].name());
                marks += (marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(",?"));
                binds.append(current_.at(int(i)));
            }
            QString sql = QStringLiteral("INSERT INTO ") + qualified_;
            sql += cols.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                  : QString(QStringLiteral(" (") + cols +
                                            QStringLiteral(") VALUES (") + marks + u')');
            DbStatement st(conn_, sql);
            for (int i = 0; i < binds.size(); ++i)
                st.bind(i + 1, binds[i]);
            st.step();
            id = sqlite3_last_insert_rowid(conn_.handle());
        } else {
            id = current_.at(idIndex_).toLongLong();
            QString sets;
            QVariantList binds;
            // Only the fields this record changed are written, so another
            // user's change to a different field is not overwritten.
            for (size_t i = 0; i < fields_.size(); ++i) {
                if (!modified_[i] || int(i) == idIndex_)
                    continue;
                sets += (sets.isEmpty() ? QString() : QStringLiteral(",")) +
                        quoted(fields_[i].name()) + QStringLiteral(" = ?");
                binds.append(current_.at(int(i)));
            }
            if (!sets.isEmpty()) {
                DbStatement st(conn_,
                               QStringLiteral("UPDATE ") + qualified_ + QStringLiteral(" SET ") +
                                   sets + QStringLiteral(" WHERE ") +
                                   quoted(fields_[idIndex_].name()) + QStringLiteral(" = ?"));
                for (int i = 0; i < binds.size(); ++i)
                    st.bind(i + 1, binds[i]);
                st.bind(int(binds.size()) + 1, id);
                st.step();
                if (sqlite3_changes(conn_.handle()) == 0)
                    throw DataError(def_->name +
                                    QStringLiteral(": The record was deleted by another user"));
            }
        }
        if (!loadRowById(id))
            throw DataError(def_->name +
                            QStringLiteral(": The record was deleted by another user"));
        state_ = State::Browse;
        modified_.assign(fields_.size(), false);
        // Handlers of after-post write within the same transaction: both or neither.
        emit afterPost(this);
        tx.commit();
    } catch (...) {
        state_ = was;
        current_ = pending;
        modified_ = pendingModified;
        eof_ = false;
        throw;
    }
}

void DbTable::cancel() {
    if (state_ != State::Edit && state_ != State::Insert)
        return;
    current_ = backup_;
    eof_ = current_.isEmpty();
    modified_.assign(fields_.size(), false);
    state_ = State::Browse;
}

void DbTable::deleteRecord() {
    if (!active() || !hasCurrent())
        throw DataError(def_->name + QStringLiteral(": There is no record to delete"));
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    state_ = State::Browse;
    const QVariantList gone = current_;
    {
        DbConnection::Transaction tx(conn_);
        {
            DbStatement st(conn_, QStringLiteral("DELETE FROM ") + qualified_ +
                                      QStringLiteral(" WHERE ") + quoted(fields_[idIndex_].name()) +
                                      QStringLiteral(" = ?"));
            st.bind(1, gone.at(idIndex_));
            st.step();
        }
        tx.commit();
    }
    // Move to the record after the deleted one, or the last one before it.
    if (!fetchPage(false)) {
        const QString idName = quoted(fields_[idIndex_].name());
        const bool keyed = index_ && index_->field != def_->fields[idIndex_].name;
        QString where = rangeWhere();
        QString before;
        QVariant key = sortKeyOf(gone);
        const QString k =
            keyed ? (index_->upper ? QStringLiteral("upper(") + quoted(index_->field) + u')'
                                   : quoted(index_->field))
                  : QString();
        if (!keyed)
            before = idName + QStringLiteral(" < ?");
        else if (key.isValid() && !key.isNull())
            before = QStringLiteral("(") + k + QStringLiteral(" < ? OR ") + k +
                     QStringLiteral(" IS NULL OR (") + k + QStringLiteral(" = ? AND ") + idName +
                     QStringLiteral(" < ?))");
        else
            before = k + QStringLiteral(" IS NULL AND ") + idName + QStringLiteral(" < ?");
        where = where.isEmpty() ? before : where + QStringLiteral(" AND ") + before;
        QString desc = orderBy();
        desc.replace(u',', QStringLiteral(" DESC,"));
        desc += QStringLiteral(" DESC");
        DbStatement st(conn_, QStringLiteral("SELECT ") + selectList() + QStringLiteral(" FROM ") +
                                  qualified_ + QStringLiteral(" WHERE ") + where +
                                  QStringLiteral(" ORDER BY ") + desc + QStringLiteral(" LIMIT 1"));
        int at = 1;
        bindRange(st, at);
        if (keyed && key.isValid() && !key.isNull()) {
            st.bind(at++, key);
            st.bind(at++, key);
        }
        st.bind(at++, gone.at(idIndex_));
        if (st.step()) {
            setCurrent(readRow(st, *def_));
            ahead_.clear();
            aheadComplete_ = false;
        } else {
            clearCurrent();
        }
    }
    markScrolled();
}

// ---------------------------------------------------------------- queries

DbQuery::DbQuery(DbConnection& conn, QObject* parent)
    : DbDataset(conn, parent) {}

DbQuery::DbQuery(DbConnection& conn, const QString& sql, QObject* parent)
    : DbDataset(conn, parent) {
    setSql(sql);
}

QString DbQuery::displayName() const {
    return objectName().isEmpty() ? QStringLiteral("Query") : objectName();
}

void DbQuery::setSql(const QString& sql) {
    close();
    sql_ = sql;
    translate();
}

void DbQuery::translate() {
    QStringList names;
    translated_ = translateParameters(sql_, names);
    QList<DbParam> params;
    for (const QString& n : names) {
        DbParam p(n);
        for (const DbParam& old : params_)
            if (old.name().compare(n, Qt::CaseInsensitive) == 0)
                p = old;
        params.append(p);
    }
    params_ = params;
}

DbParam& DbQuery::paramByName(const QString& name) {
    for (DbParam& p : params_)
        if (p.name().compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw DataError(displayName() + QStringLiteral(": Parameter '") + name +
                    QStringLiteral("' not found"));
}

void DbQuery::setTablePassword(const QString& tableName, const QString& password) {
    passwords_.append({tableName, password});
}

void DbQuery::setMasterSource(DbDataset* master) {
    QObject::disconnect(masterScroll_);
    QObject::disconnect(masterOpen_);
    master_ = master;
    if (!master)
        return;
    const auto follow = [this] {
        if (!active())
            return;
        close();
        open();
    };
    masterScroll_ = connect(master, &DbDataset::afterScroll, this, follow);
    masterOpen_ = connect(master, &DbDataset::afterOpen, this, follow);
}

void DbQuery::doOpen() {
    for (const auto& [table, password] : passwords_)
        if (const TableDef* def = findTableDef(table))
            conn_.attachTable(*def, password);
    rows_.clear();
    fields_.clear();
    columns_ = 0;
    DbStatement st(conn_, translated_);
    for (int i = 0; i < params_.size(); ++i) {
        DbParam& p = params_[i];
        QVariant v = p.value();
        if (!p.hasValue() && master_) {
            DbField* f = master_->hasCurrent() ? master_->findField(p.name()) : nullptr;
            v = f ? f->value() : QVariant();
            p.bound_ = v;
        }
        st.bind(i + 1, v);
    }
    columns_ = st.columnCount();
    std::vector<FieldKind> kinds(size_t(columns_), FieldKind::Character);
    std::vector<int> widths(size_t(columns_), 0);
    std::vector<bool> known(size_t(columns_), false);
    for (int c = 0; c < columns_; ++c) {
        const QString decl = st.columnDeclType(c);
        if (!decl.isEmpty()) {
            kinds[size_t(c)] = kindFromDeclType(decl, widths[size_t(c)]);
            known[size_t(c)] = true;
        }
    }
    const int n = columns_;
    // Texts that repeat down a column (feature, status, developer) share one
    // string. A column whose texts do not repeat (task names, notes) stops
    // looking once its first rows show that.
    constexpr size_t kSharedTexts = 32;
    constexpr int kTrialRows = 64;
    struct SharedTexts {
        std::vector<std::pair<QByteArray, QString>> entries;
        int looks = 0, hits = 0;
        bool worthIt() const { return looks < kTrialRows || hits * 2 >= looks; }
    };
    std::vector<SharedTexts> shared(static_cast<size_t>(n));
    sqlite3_stmt* h = st.handle();
    while (st.step()) {
        for (int c = 0; c < n; ++c) {
            const int type = sqlite3_column_type(h, c);
            if (known[size_t(c)]) {
                // Columns of a known kind are read straight into their final form.
                const FieldKind k = kinds[size_t(c)];
                if (type == SQLITE_NULL) {
                    rows_.emplace_back();
                    continue;
                }
                if ((k == FieldKind::Integer || k == FieldKind::AutoInc) &&
                    type == SQLITE_INTEGER) {
                    rows_.emplace_back(int(sqlite3_column_int64(h, c)));
                    continue;
                }
                if (k == FieldKind::Float && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
                    rows_.emplace_back(sqlite3_column_double(h, c));
                    continue;
                }
                if ((k == FieldKind::Character || k == FieldKind::Memo) && type == SQLITE_TEXT) {
                    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(h, c));
                    const QByteArrayView bytes(t, sqlite3_column_bytes(h, c));
                    SharedTexts& cache = shared[size_t(c)];
                    if (!cache.worthIt()) {
                        rows_.emplace_back(QString::fromUtf8(bytes));
                        continue;
                    }
                    ++cache.looks;
                    const QString* hit = nullptr;
                    for (const auto& [b, text] : cache.entries)
                        if (b == bytes) {
                            hit = &text;
                            break;
                        }
                    if (hit) {
                        ++cache.hits;
                        rows_.emplace_back(*hit);
                    } else {
                        QString text = QString::fromUtf8(bytes);
                        if (cache.entries.size() < kSharedTexts)
                            cache.entries.emplace_back(bytes.toByteArray(), text);
                        rows_.emplace_back(std::move(text));
                    }
                    continue;
                }
            }
            QVariant v = st.column(c);
            if (!known[size_t(c)] && v.isValid()) {
                // An expression column: its kind is that of its first value.
                kinds[size_t(c)] = v.typeId() == QMetaType::Double       ? FieldKind::Float
                                   : v.typeId() == QMetaType::LongLong   ? FieldKind::Integer
                                   : v.typeId() == QMetaType::QByteArray ? FieldKind::Memo
                                                                         : FieldKind::Character;
                known[size_t(c)] = true;
            }
            rows_.push_back(known[size_t(c)] ? fromStorage(kinds[size_t(c)], std::move(v))
                                             : std::move(v));
        }
    }
    for (int c = 0; c < n; ++c)
        fields_.emplace_back(this, c, st.columnName(c), kinds[size_t(c)], widths[size_t(c)]);
    modified_.assign(fields_.size(), false);
    setRecNo(rowCount() > 0 ? 0 : -1);
}

void DbQuery::doClose() {
    rows_.clear();
    recNo_ = -1;
    for (DbParam& p : params_)
        p.bound_ = QVariant();
}

void DbQuery::setRecNo(int row) {
    if (row < 0 || row >= rowCount()) {
        recNo_ = -1;
        clearCurrent();
        return;
    }
    recNo_ = row;
    QVariantList values;
    values.reserve(columns_);
    for (int c = 0; c < columns_; ++c)
        values.append(valueAt(row, c));
    setCurrent(std::move(values));
}

void DbQuery::first() {
    setRecNo(rowCount() > 0 ? 0 : -1);
    markScrolled();
}

void DbQuery::next() {
    if (recNo_ < 0 || recNo_ + 1 >= rowCount()) {
        eof_ = true;
        return;
    }
    setRecNo(recNo_ + 1);
    markScrolled();
}

bool DbQuery::locate(const QString& fieldNames, const QVariantList& values) {
    const QStringList names = fieldNames.split(u';', Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw DataError(displayName() + QStringLiteral(": Locate needs one value for each field"));
    std::vector<int> cols;
    for (const QString& name : names)
        cols.push_back(fieldByName(name.trimmed()).index());
    for (int r = 0; r < rowCount(); ++r) {
        bool all = true;
        for (size_t i = 0; i < cols.size() && all; ++i)
            all = sameValue(valueAt(r, cols[i]), values[int(i)]);
        if (all) {
            setRecNo(r);
            markScrolled();
            return true;
        }
    }
    return false;
}

void DbQuery::refresh() {
    if (!active())
        return;
    const int at = recNo_;
    doClose();
    doOpen();
    setRecNo(std::min(at, rowCount() - 1));
    emit afterOpen(this);
}
