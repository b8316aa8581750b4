#pragma once
// The dataset layer: a connection on the data folder, table and query objects
// that hold a current record, fields read and written by name, parameterised
// queries, master/detail links and the after-open / new-record / after-post
// events. Everything above this folder reaches the database only through it.
//
// Storage: one SQLCipher database file per table in the data folder, all
// attached to one connection. The Tasks file is the connection's main
// database, so a transaction that spans several tables commits atomically
// (rollback journal with a super-journal). Only the Developers file is
// encrypted; it is attached, with its password from the table definitions,
// when a table object or a statement first reads it.
//
// One header for callers; each class lives in a file of its own:
//   DbConnection  the connection, its statement cache and write transactions
//   DbStatement   a prepared statement lent out by that cache
//   DbField       a field of the current record
//   DbDataset     what tables and queries share
//   DbTable       one table, in index order, with a range or master link
//   DbQuery       one SELECT with named parameters (DbParam)
//   TextRules     text rules shared with callers (upperAsciiLetters)
#include "data/DbConnection.h"
#include "data/DbDataset.h"
#include "data/DbField.h"
#include "data/DbQuery.h"
#include "data/DbStatement.h"
#include "data/DbTable.h"
#include "data/Errors.h"
#include "data/TableStructures.h"
#include "data/TextRules.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

#include <deque>
#include <memory>
#include <optional>
#include <vector>
