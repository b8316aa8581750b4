#pragma once
// How values and names travel between the dataset classes and the engine: the
// stored form of a field's value, quoted names, character values cut to their
// width and named parameters turned into numbered ones. For the classes in
// this folder only; callers reach the data through data/Dataset.h.
#include "data/TableStructures.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace DbStorage {

// Date-times are stored as text in this form.
inline const QString kDateTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// A table, schema or field name as the engine reads it, whatever it contains.
QString quoted(const QString& identifier);

// A stored value as the program reads it for a field of the given kind.
QVariant fromStorage(FieldKind kind, QVariant raw);
// A value in the form it is stored and bound in.
QVariant toStorage(const QVariant& v);

// A character value cut to the field's width (0: no limit), without trailing blanks.
QString cutCharacter(const QString& s, int width);

// Translates both parameter forms (:"Project ID" and :ProjectID) to numbered
// parameters the engine understands; everything else is left as written.
// `names` receives each parameter once, in the order of its number.
QString translateParameters(const QString& sql, QStringList& names);

} // namespace DbStorage
