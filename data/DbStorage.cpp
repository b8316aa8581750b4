#include "data/DbStorage.h"

#include "data/Errors.h"

#include <QDateTime>

namespace DbStorage {

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

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

} // namespace DbStorage
