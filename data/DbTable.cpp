#include "data/DbTable.h"

#include "data/DbStatement.h"
#include "data/DbStorage.h"
#include "data/Errors.h"
#include "data/TextRules.h"

#include <sqlcipher/sqlite3.h>

using DbStorage::cutCharacter;
using DbStorage::fromStorage;
using DbStorage::quoted;
using DbStorage::toStorage;

namespace {

constexpr int kPageRows = 128;

QVariantList readRow(const DbStatement& st, const TableDef& def) {
    QVariantList row;
    row.reserve(def.fields.size());
    for (int i = 0; i < def.fields.size(); ++i)
        row.append(fromStorage(def.fields[i].kind, st.column(i)));
    return row;
}

} // namespace

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
