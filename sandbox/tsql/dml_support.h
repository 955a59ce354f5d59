#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/server_error.h"
#include "tsql/exec_context.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {

// Evaluates expressions that refer to no table (VALUES lists, defaults) in one SQLite
// SELECT and returns their values.
std::vector<StoredValue> evaluateConstants(ExecContext& context, const std::vector<const Expr*>& exprs);

// The value a column's default gives: "(0)" -> 0, "(getdate())" -> now. Null when the
// column has no default.
StoredValue evaluateDefault(ExecContext& context, const ColumnInfo& column);

// 515 "Cannot insert the value NULL into column 'c', table 'db.dbo.t'; column does not
// allow nulls. INSERT fails." followed by INFO 3621.
ServerError nullNotAllowed(ExecContext& context, const TableInfo& table, const ColumnInfo& column,
                           const std::string& statement);

// Turns SQLite's "UNIQUE constraint failed: t.a, t.b" into 2627 (a PRIMARY KEY or UNIQUE
// constraint) or 2601 (a unique index), each followed by INFO 3621.
[[noreturn]] void raiseDuplicateKey(ExecContext& context, const TableInfo& table, const std::string& sqliteMessage);

// 208 "Invalid object name 'x'." with the name as the statement wrote it.
[[noreturn]] void raiseInvalidObject(const ObjectName& name);

// The identity value after `current` (the seed while the column has given none yet).
// Past the column's type, or past bigint on the way, it is 8115 "Arithmetic overflow
// error converting IDENTITY to data type int.", as SQL Server refuses the row.
// Example: (int, 2147483647, seed 1, increment 1) -> 8115.
std::int64_t nextIdentityValue(const ColumnType& type, std::optional<std::int64_t> current, std::int64_t seed,
                               std::int64_t increment);

// The next row version for a timestamp column (the database's @@DBTS), as 8 bytes.
std::string nextRowVersion(Database& db);

// Runs `body` inside a SQLite savepoint: all of it or nothing, as one T-SQL statement.
template <typename Body>
void atomically(sqlite3* db, Body&& body) {
    sqlite::exec(db, "SAVEPOINT tsql_statement");
    try {
        body();
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK TO tsql_statement; RELEASE tsql_statement", nullptr, nullptr, nullptr);
        throw;
    }
    sqlite::exec(db, "RELEASE tsql_statement");
}

// `atomically` for a statement that changes what other tables' descriptions list (keys,
// foreign keys, checks): every cached description is forgotten afterwards, whether the
// statement went through or was rolled back.
template <typename Body>
void atomicallyForgettingTables(Database& db, Body&& body) {
    try {
        atomically(db.handle(), body);
    } catch (...) {
        db.invalidateAll();
        throw;
    }
    db.invalidateAll();
}

}  // namespace sandbox::tsql
