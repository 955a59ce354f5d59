#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/sql_types.h"

namespace sandbox::tsql {

// The type of a column's type by name, for the columns a computed column reads.
using ColumnTypeLookup = std::function<std::optional<ColumnType>(std::string_view)>;

// The type SQL Server gives a computed column: its expression's type over the table's
// columns, by SQL Server's data type precedence for operators.
// Example: "(qty * price)" with qty smallint and price money -> money;
// "(fname + ' ' + lname)" with varchar(20) and varchar(30) -> varchar(51).
ColumnType computedColumnType(const std::string& text, const ColumnTypeLookup& columnType);

// The SQLite definition of a computed column, computed from the row when read.
// Example: ("total", "(qty * price)") -> "total" GENERATED ALWAYS AS (("qty" * "price")) VIRTUAL.
// Throws ServerError 40000 for an expression the sandbox cannot compute.
std::string sqliteComputedColumn(std::string_view name, const std::string& text,
                                 const std::string& databaseName, const std::string& collation);

}  // namespace sandbox::tsql
