#pragma once

#include <string>
#include <string_view>

namespace structure {

// The target's live definition of a table's columns (with their collation); it returns
// no row when the table does not exist. Opened with the provider's default cursor.
// Example: tbX -> " SELECT SOURCE_sysobjects.name as tabela, ... WHERE
// SOURCE_sysobjects.name = 'tbX'"
std::string targetColumnQuery(std::string_view table);

// The same for one column (static, read-only); no row when the column is missing.
// Example: (tbX, nome) -> "... WHERE SOURCE_sysobjects.name = 'tbX' AND
// SOURCE_syscolumns.name = 'nome'"
std::string targetColumnQuery(std::string_view table, std::string_view column);

// The catalog rows a table rebuild takes its columns from, in the order the server
// returns them (no ORDER BY): tabela, campo, tipo, tamanho, xprec, xscale, isnullable,
// isidentity, cdefault.
std::string rebuildCatalogQuery(std::string_view table);

// A name as a T-SQL text literal in these queries. Example: tbO'Neil -> 'tbO''Neil'.
std::string quotedName(std::string_view name);

}  // namespace structure
