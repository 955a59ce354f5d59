#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "tsql/database.h"

namespace sandbox::tsql {

// Reads a table's CHECK constraints (translated for SQLite under the database's
// collation), its foreign keys both ways and its triggers from the catalog into `table`
// (whose id and columns are already read). Throws sqlite::Failure.
void loadTableRules(sqlite3* db, const std::string& databaseName, const std::string& collation,
                    TableInfo& table);

// An expression the catalog keeps as text (a CHECK constraint's condition, a computed
// column's formula) in SQLite's dialect, its columns unqualified.
// Example: "(zip like '[0-9]')" -> ("zip" LIKE '[0-9]'). Throws ServerError when the
// sandbox cannot translate it.
std::string storedExpressionSql(const std::string& text, const std::string& databaseName,
                                const std::string& collation);

// One foreign key from sysforeignkeys and sysobjects, by the constraint's id.
ForeignKeyRule loadForeignKey(sqlite3* db, int constraintId);

// The columns an expression reads, by name (lower case), in the order met, each once.
// Example: "(Discount >= 0 and (Discount <= 1))" -> {"discount"}.
std::vector<std::string> columnsReadBy(const std::string& expressionText);

}  // namespace sandbox::tsql
