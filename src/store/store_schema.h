#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace store {

// What a store column holds, and the SQLite type that gives it the Jet field's
// behaviour and ADO type code.
enum class ColumnKind {
    AutoNumber,  // INTEGER PRIMARY KEY AUTOINCREMENT: never reused after deletes
    Text,        // TEXT(255) COLLATE NOCASE: compared without regard to case, as Jet does
    LongText,    // LONGTEXT COLLATE NOCASE: text of any size
    Number,      // INTEGER (Jet's long integer)
    Boolean,     // BOOLEAN DEFAULT 0, holding -1 or 0
    LongBinary,  // BLOB of any size
};

struct StoreColumn {
    std::string_view name;
    ColumnKind kind;
};

struct StoreTable {
    std::string_view name;
    std::vector<StoreColumn> columns;
};

// The eleven tables of the definitions store, in the order they are created.
const std::vector<StoreTable>& storeTables();

// The CREATE TABLE statement of one table.
// Example: tbLogs -> "CREATE TABLE tbLogs (descrit LONGTEXT COLLATE NOCASE)".
std::string createTableStatement(const StoreTable& table);

}  // namespace store
