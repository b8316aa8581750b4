#include "data/DbQuery.h"

#include "data/DbStatement.h"
#include "data/DbStorage.h"
#include "data/Errors.h"
#include "data/TableStructures.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>

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

struct DbQuery::Result {
    std::vector<Cell> cells;
    QByteArray texts;
    std::vector<SharedText> shared;
    QVariantList others;
    std::vector<DbField> fields;
    int columns = 0;
};

DbQuery::DbQuery(DbConnection& conn, QObject* parent)
    : DbDataset(conn, parent) {}

DbQuery::DbQuery(DbConnection& conn, const QString& sql, QObject* parent)
    : DbDataset(conn, parent) {
    setSql(sql);
}

DbQuery::~DbQuery() = default;

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
    masterScroll_ = connect(master, &DbDataset::afterScroll, this, &DbQuery::followMaster);
    masterOpen_ = connect(master, &DbDataset::afterOpen, this, &DbQuery::followMaster);
}

void DbQuery::followMaster() {
    if (!active())
        return;
    QVariantList before;
    for (const DbParam& p : params_)
        before.append(p.value());
    Result result = run();
    bool same = true;
    for (int i = 0; i < params_.size() && same; ++i)
        same = sameValue(before.at(i), params_.at(i).value());
    // Another master record: a new result, from its first row. The same one
    // read again (its row refreshed): the current row stays where it was.
    const int at = same ? recNo_ : 0;
    adopt(std::move(result));
    setRecNo(std::min(std::max(at, 0), rowCount() - 1));
    emit afterOpen(this);
}

DbQuery::Result DbQuery::run() {
    // A table the statement reads is attached first, with its password if it has one.
    conn_.attachTablesNamedIn(translated_);
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
    Result out;
    const int n = st.columnCount();
    out.columns = n;
    std::vector<FieldKind> kinds(size_t(n), FieldKind::Character);
    std::vector<int> widths(size_t(n), 0);
    std::vector<bool> known(size_t(n), false);
    for (int c = 0; c < n; ++c) {
        const QString decl = st.columnDeclType(c);
        if (!decl.isEmpty()) {
            kinds[size_t(c)] = kindFromDeclType(decl, widths[size_t(c)]);
            known[size_t(c)] = true;
        }
    }
    // Texts that repeat down a column (feature, status, developer) are held
    // once. A column whose texts do not repeat (task names, notes) stops
    // looking once its first rows show that.
    constexpr size_t kSharedTexts = 32;
    constexpr int kTrialRows = 64;
    struct Repeats {
        std::vector<quint32> entries; // indexes into out.shared
        int last = -1;                // the entry the column's last text matched
        int looks = 0, hits = 0;
        bool worthIt() const { return looks < kTrialRows || hits * 2 >= looks; }
    };
    std::vector<Repeats> repeats(static_cast<size_t>(n));
    const auto sameBytes = [&out](const SharedText& e, const char* t, int size) {
        return e.size == quint32(size) &&
               std::memcmp(out.texts.constData() + e.offset, t, size_t(size)) == 0;
    };
    sqlite3_stmt* h = st.handle();
    while (st.step()) {
        for (int c = 0; c < n; ++c) {
            const int type = sqlite3_column_type(h, c);
            Cell cell;
            if (type == SQLITE_NULL) {
                out.cells.push_back(cell);
                continue;
            }
            if (!known[size_t(c)]) {
                // An expression column: its kind is that of its first value.
                kinds[size_t(c)] = type == SQLITE_FLOAT     ? FieldKind::Float
                                   : type == SQLITE_INTEGER ? FieldKind::Integer
                                   : type == SQLITE_BLOB    ? FieldKind::Memo
                                                            : FieldKind::Character;
                known[size_t(c)] = true;
            }
            const FieldKind k = kinds[size_t(c)];
            if ((k == FieldKind::Integer || k == FieldKind::AutoInc || k == FieldKind::Boolean) &&
                type == SQLITE_INTEGER) {
                cell.kind = k == FieldKind::Boolean ? Cell::Boolean : Cell::Integer;
                cell.integer = sqlite3_column_int64(h, c);
            } else if (k == FieldKind::Float && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
                cell.kind = Cell::Float;
                cell.number = sqlite3_column_double(h, c);
            } else if ((k == FieldKind::Character || k == FieldKind::Memo ||
                        k == FieldKind::DateTime) &&
                       type == SQLITE_TEXT) {
                const char* t = reinterpret_cast<const char*>(sqlite3_column_text(h, c));
                const int size = sqlite3_column_bytes(h, c);
                Repeats& r = repeats[size_t(c)];
                int hit = -1;
                if (r.worthIt()) {
                    ++r.looks;
                    if (r.last >= 0 && sameBytes(out.shared[size_t(r.last)], t, size))
                        hit = r.last;
                    for (size_t e = 0; hit < 0 && e < r.entries.size(); ++e)
                        if (sameBytes(out.shared[r.entries[e]], t, size))
                            hit = int(r.entries[e]);
                    if (hit >= 0)
                        ++r.hits;
                }
                if (hit < 0) {
                    cell.kind = Cell::Bytes;
                    cell.offset = out.texts.size();
                    cell.size = quint32(size);
                    out.texts.append(t, size);
                    if (r.worthIt() && r.entries.size() < kSharedTexts) {
                        hit = int(out.shared.size());
                        out.shared.push_back({cell.offset, cell.size, {}, false});
                        r.entries.push_back(quint32(hit));
                    }
                }
                if (hit >= 0) {
                    cell.kind = Cell::Shared;
                    cell.size = quint32(hit);
                    r.last = hit;
                }
            } else {
                // A value stored in a type other than its column's.
                cell.kind = Cell::Other;
                cell.size = quint32(out.others.size());
                out.others.append(fromStorage(k, st.column(c)));
            }
            out.cells.push_back(cell);
        }
    }
    out.fields.reserve(size_t(n));
    for (int c = 0; c < n; ++c)
        out.fields.emplace_back(this, c, st.columnName(c), kinds[size_t(c)], widths[size_t(c)]);
    return out;
}

void DbQuery::adopt(Result&& result) {
    cells_ = std::move(result.cells);
    texts_ = std::move(result.texts);
    shared_ = std::move(result.shared);
    others_ = std::move(result.others);
    fields_ = std::move(result.fields);
    columns_ = result.columns;
    modified_.assign(fields_.size(), false);
    recNo_ = -1;
}

void DbQuery::doOpen() {
    adopt(run());
    setRecNo(rowCount() > 0 ? 0 : -1);
}

void DbQuery::doClose() {
    cells_.clear();
    texts_.clear();
    shared_.clear();
    others_.clear();
    recNo_ = -1;
    for (DbParam& p : params_)
        p.bound_ = QVariant();
}

QVariant DbQuery::valueAt(int row, int column) const {
    const Cell& cell = cells_[size_t(row) * size_t(columns_) + size_t(column)];
    switch (cell.kind) {
    case Cell::Null:
        return {};
    case Cell::Integer:
        return QVariant(int(cell.integer));
    case Cell::Boolean:
        return QVariant(cell.integer != 0);
    case Cell::Float:
        return QVariant(cell.number);
    case Cell::Bytes:
        return QVariant(QString::fromUtf8(texts_.constData() + cell.offset, qsizetype(cell.size)));
    case Cell::Shared: {
        const SharedText& s = shared_[cell.size];
        if (!s.made) {
            s.text = QString::fromUtf8(texts_.constData() + s.offset, qsizetype(s.size));
            s.made = true;
        }
        return QVariant(s.text);
    }
    case Cell::Other:
        return others_.at(qsizetype(cell.size));
    }
    return {};
}

bool DbQuery::isNullAt(int row, int column) const {
    const Cell& cell = cells_[size_t(row) * size_t(columns_) + size_t(column)];
    return cell.kind == Cell::Null || (cell.kind == Cell::Other && others_.at(cell.size).isNull());
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
    Result result = run();
    adopt(std::move(result));
    setRecNo(std::min(std::max(at, 0), rowCount() - 1));
    emit afterOpen(this);
}
