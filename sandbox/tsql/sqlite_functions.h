#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "catalog/server_error.h"

namespace sandbox::tsql {

// Registers the T-SQL built-ins that SQLite lacks or spells differently under tsql_ names
// (tsql_add, tsql_convert, tsql_getdate, ...) and replaces like() with SQL Server's LIKE
// ([a-z] sets, letter case ignored).
void registerFunctions(sqlite3* db);

// A ServerError raised inside one of those functions travels through SQLite as an error
// text; this reads it back. Example: "\x01tsql:245:16:Syntax error ..." -> ServerError 245.
std::optional<ServerError> decodeFunctionError(const std::string& sqliteMessage);

}  // namespace sandbox::tsql
