#pragma once

#include <functional>
#include <string>

#include "tsql/database.h"

namespace sandbox::tsql {

// Recreates a table's SQLite storage from its catalog rows, for changes SQLite cannot make
// in place (a column's type affinity or collation). Every row keeps its values and its
// rowid; `beforeIndexes` runs once the new table bears the table's name and before its
// indexes are rebuilt from sysindexes, so that it can rewrite converted values without
// tripping a unique index on the way. Throws sqlite::Failure.
// Example: after syscolumns says nome is int, "nome" TEXT COLLATE ... becomes "nome" INTEGER.
void rebuildTableStorage(Database& db, int tableId, const std::function<void()>& beforeIndexes);

// Renames a table's SQLite storage without rewriting the SQLite views that name it (a view
// written against a name keeps reading whichever table bears that name). Throws
// sqlite::Failure.
void renameTableStorage(sqlite3* db, const std::string& from, const std::string& to);

// Creates the SQLite index that stands for a sysindexes row of the table, from its
// sysindexkeys (unique when the row's status says so). Throws sqlite::Failure.
void createStorageIndex(Database& db, int tableId, int indid);

}  // namespace sandbox::tsql
