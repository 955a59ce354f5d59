#pragma once

#include <optional>

#include "catalog/sql_types.h"
#include "tsql/ast.h"
#include "tsql/database.h"

namespace sandbox::tsql {

// A type named in a column definition or a DECLARE: a built-in type with its size
// arguments, or an alias type of the database (sp_addtype), which brings its own size and
// its nullability.
struct NamedType {
    ColumnType type;
    std::optional<bool> allowsNulls;  // alias types only: NOT NULL or NULL as sp_addtype said
};

// Looks the type up: built-in types first, then the database's systypes rows of alias
// types. nullopt when neither knows the name. Throws ServerError 2716 for sizes given to
// an alias type, and the built-in types' size errors (131, 2717, 2750).
// Example: "id" after sp_addtype id, 'varchar(11)', 'NOT NULL' -> varchar(11), xusertype
// 257, allowsNulls false.
std::optional<NamedType> findNamedType(Database& db, const TypeName& name, std::size_t ordinal);

}  // namespace sandbox::tsql
