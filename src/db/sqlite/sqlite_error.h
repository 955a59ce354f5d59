#pragma once

#include <string_view>

#include <sqlite3.h>

#include "db/error.h"

namespace db::sqlite {

// The db::Error for the last failure on `db` (result code `rc`) while running
// `statement` (empty when no SQL text was involved). Numbers, as the Jet provider
// reports the same faults:
//   constraint violations             -2147217873 (SQLSTATE 23000)
//   a table that does not exist       -2147217865 (42S02)
//   other faults of the SQL text      -2147217900 (42000; 42S22 for an unknown column)
//   anything else (busy, I/O, full)   -2147467259 (HY000)
// The description is SQLite's message; for faults of the SQL text it is followed by
// " in: " and the statement (cut at 200 characters); for faults of the file (read-only,
// full, I/O, damaged) by the file's path: "disk I/O error (file '/opt/app/SQL.mdb')". The one diagnostic record carries
// the extended SQLite result code as native number.
// Example: UNIQUE constraint on tbX.a -> (-2147217873, "UNIQUE constraint failed: tbX.a").
Error sqliteError(sqlite3* db, int rc, std::string_view statement = {});

// A store failure outside SQLite's own messages. Example: storeError("No transaction is open.").
Error storeError(std::string description);

}  // namespace db::sqlite
