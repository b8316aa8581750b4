#include "data/DbQuery.h"

#include "data/DbStatement.h"
#include "data/DbStorage.h"
#include "data/Errors.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

using DbStorage::fromStorage;
using DbStorage::translateParameters;

namespace {

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

// Values compare equal the way locate means it: numbers by value, text exactly.
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

} // namespace

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
    // A table the statement reads is attached first, with its password if it has one.
    conn_.attachTablesNamedIn(translated_);
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
