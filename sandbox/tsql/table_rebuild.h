#pragma once

#include <functional>
#include <string>

#include "tsql/database.h"

namespace sandbox::tsql {

// Where a table's SQLite storage is still behind its catalog rows when it is rebuilt.
struct StoredTable {
    std::string name;         // the storage's name when the catalog renamed the table; empty: the same
    std::string addedColumn;  // a column the catalog has and the storage has not yet; empty: none
};

// Recreates a table's SQLite storage from its catalog rows, for changes SQLite cannot make
// in place (a column's type affinity or collation) and for those it makes only by parsing
// the whole schema again (adding a column, renaming the table). Every row keeps its values
// and its rowid; an added column starts NULL. `beforeIndexes` runs once the new table
// bears the table's name and before its indexes are rebuilt from sysindexes, so that it can
// rewrite converted values without tripping a unique index on the way. Throws
// sqlite::Failure.
// Example: after syscolumns says nome is int, "nome" TEXT COLLATE ... becomes "nome" INTEGER.
void rebuildTableStorage(Database& db, int tableId, const std::function<void()>& beforeIndexes,
                         const StoredTable& stored = {});

// Creates the SQLite index that stands for a sysindexes row of the table, from its
// sysindexkeys (unique when the row's status says so). Throws sqlite::Failure.
void createStorageIndex(Database& db, int tableId, int indid);

}  // namespace sandbox::tsql
