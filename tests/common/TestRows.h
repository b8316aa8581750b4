#pragma once
// Rows for test fixtures, written and read through the dataset layer the way
// the program does, so a fixture never depends on the storage format.
#include "data/Dataset.h"

#include <QStringList>
#include <QVariantMap>

// Appends a row to the table with the given field values; returns its new id.
inline int addRow(DbConnection& conn, const QString& table, const QVariantMap& values) {
    DbTable t(conn, table); // the users table applies its own password
    t.open();
    t.append();
    for (auto it = values.begin(); it != values.end(); ++it)
        t.fieldByName(it.key()).setValue(it.value());
    t.post();
    return t.field(0).asInteger();
}

// "Action|Change" of every History row of the task, in the order they were written.
inline QStringList historyLines(DbConnection& conn, int taskID) {
    QStringList rows;
    DbTable h(conn, QStringLiteral("History"));
    h.setIndexName(QStringLiteral("TASK ID"));
    h.setRange(QStringLiteral("Task ID"), taskID);
    h.open();
    for (; !h.eof(); h.next())
        rows << h.fieldByName(QStringLiteral("Action Description")).asString() + u'|' +
                    h.fieldByName(QStringLiteral("Change Description")).asString();
    return rows;
}
