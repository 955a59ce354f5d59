#pragma once

#include <string>
#include <string_view>

namespace catalog {

// What a statement the tool sends changes in the catalog, named by the code that sends
// it, so that the catalog model reads that part again before it answers about it.
// Examples: ALTER TABLE [tbX] ALTER COLUMN [nome] ... -> Change::column("tbX", "nome");
// DROP INDEX [tbX].[IX_tbX_nome] -> Change::table("tbX"); DROP VIEW vwX -> Change::object("vwX");
// EXEC sp_addrole 'r' -> Change::users(); a maintenance command -> Change::anything().
struct Change {
    enum class Kind {
        Nothing,   // rows only (inserts, updates, deletes), or nothing at all
        Table,     // the table: columns, indexes, keys, defaults, constraints, its id
        Column,    // one column's definition only (its type, length, nullability, default)
        Object,    // an object other than a table (function, view, procedure) by its name
        Users,     // sysusers (roles, users)
        Anything,  // anything at all: text the tool does not build
    };

    Kind kind = Kind::Nothing;
    std::string table;   // Table, Column
    std::string column;  // Column
    std::string object;  // Object

    static Change nothing() { return {}; }
    static Change ofTable(std::string_view name) { return {Kind::Table, std::string(name), {}, {}}; }
    static Change ofColumn(std::string_view tableName, std::string_view columnName) {
        return {Kind::Column, std::string(tableName), std::string(columnName), {}};
    }
    static Change ofObject(std::string_view name) { return {Kind::Object, {}, {}, std::string(name)}; }
    static Change ofUsers() { return {Kind::Users, {}, {}, {}}; }
    static Change anything() { return {Kind::Anything, {}, {}, {}}; }
};

}  // namespace catalog
