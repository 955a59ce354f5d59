#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/sql_types.h"
#include "tsql/ast.h"
#include "tsql/database.h"

namespace sandbox::tsql {

class Parser;

// A DEFAULT clause: the constraint's name (empty: a generated DF__ name) and its text as
// SQL Server 2000 stores it in syscomments.
struct DefaultSpec {
    std::string constraintName;
    std::string text;  // "(0)", "('')", "(getdate())"
};

// One column as CREATE TABLE and ALTER TABLE ... ADD write it.
struct ColumnSpec {
    std::string name;
    TypeName type;
    std::string collation;       // empty: the database default
    std::optional<bool> nullable;
    bool identity = false;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<DefaultSpec> defaultValue;
    std::string computedText;  // col AS expression: its text as stored, "(qty * price)"; empty otherwise
};

// A PRIMARY KEY or UNIQUE constraint.
struct KeySpec {
    std::string constraintName;  // empty: a generated PK__/UQ__ name
    bool primary = true;         // PRIMARY KEY, else UNIQUE
    std::optional<bool> clustered;
    std::vector<std::string> columns;
};

// A FOREIGN KEY as CREATE TABLE or ALTER TABLE ... ADD writes it.
struct ForeignKeySpec {
    std::string constraintName;  // empty: a generated FK__ name
    std::vector<std::string> columns;
    ObjectName referencedTable;
    std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
    bool columnLevel = false;                    // written inside a column's definition
    bool deleteCascade = false;                  // ON DELETE CASCADE
    bool updateCascade = false;                  // ON UPDATE CASCADE
    bool notForReplication = false;              // NOT FOR REPLICATION
};

// A CHECK constraint as CREATE TABLE or ALTER TABLE ... ADD writes it.
struct CheckSpec {
    std::string constraintName;  // empty: a generated CK__ name
    std::string text;            // as stored in syscomments: "(zip like '[0-9][0-9][0-9][0-9][0-9]')"
    std::string column;          // the column it was written in, for a column-level check
    bool notForReplication = false;
};

// Everything a CREATE TABLE or ALTER TABLE ... ADD declares besides its columns.
struct TableConstraints {
    std::vector<KeySpec> keys;
    std::vector<ForeignKeySpec> foreignKeys;
    std::vector<CheckSpec> checks;
};

// The stored text of a default: outer parentheses reduced to one pair, and niladic
// functions in lower case as SQL Server 2000 writes them back.
// Examples: "0" -> "(0)", "((0))" -> "(0)", "GETDATE()" -> "(getdate())", "''" -> "('')".
std::string storedDefaultText(const Expr& expr, std::string_view source);

// Parses "name type [COLLATE c] [NULL | NOT NULL] [IDENTITY (s, i)] [CONSTRAINT n] DEFAULT
// (x) [PRIMARY KEY | UNIQUE ...] [REFERENCES ...] [CHECK (...)]", or a computed column
// "name AS expression", from the column's name on. Column-level constraints go to
// `constraints`.
ColumnSpec parseColumnDefinition(Parser& parser, TableConstraints& constraints);

// Parses "PRIMARY KEY | UNIQUE [CLUSTERED | NONCLUSTERED] [(columns)] [WITH ...] [ON fg]";
// without a column list the key is on `columnName` (a column-level constraint).
KeySpec parseKeyConstraint(Parser& parser, std::string constraintName, const std::string* columnName);

// The column type a parsed column definition names (a built-in type or an alias type of
// the database), checked as SQL Server checks it: 2715 for an unknown type, 2749 for an
// identity column of the wrong type or nullable, 448 for an unknown collation, 452 for a
// collation on an alias type's column. `ordinal`
// is the column's 1-based place in the statement. `aliasNullability` receives an alias
// type's NULL / NOT NULL, which a column that says neither takes.
ColumnType resolveColumnType(Database& db, const ColumnSpec& spec, std::size_t ordinal,
                             std::optional<bool>* aliasNullability = nullptr);

// Refuses a DEFAULT on a column that cannot have one, as SQL Server 2000 does: 1755 for
// timestamp, 1754 for an identity column, each followed by 1750.
void checkDefaultAllowed(const ColumnSpec& spec, const ColumnType& type, const std::string& tableName);

// The SQLite column definition of a catalog column: "nome" TEXT COLLATE "Latin1_General_CI_AI".
std::string sqliteColumnDefinition(std::string_view name, const ColumnType& type, std::string_view collation);

// The name of the SQLite index that stands for sysindexes row (table, indid).
std::string sqliteIndexName(int tableId, int indid);

// A key column: its name as the table has it and its colid.
struct KeyColumn {
    std::string name;
    int colid = 0;
};

// Creates a PRIMARY KEY or UNIQUE constraint on a table: its sysobjects row, its unique
// index (sysindexes, sysindexkeys, the SQLite index; a clustered one takes the heap row's
// place) and returns the constraint's name ("PK__tbUsers__0EA330E9" when the
// statement names none). Refuses duplicates in the data with 1505 (index id, first
// key value) followed by 1750 and 3621.
std::string createKeyConstraint(Database& db, int tableId, const std::string& tableName,
                                const std::vector<KeyColumn>& columns, const KeySpec& key, bool clustered);

// Creates a DEFAULT constraint on a column: its D object with `table` as parent, its text
// in syscomments, and the column's cdefault. Returns the constraint's name
// ("DF__tbUsers__activo__0F975522" when the statement names none). Throws 2714 when
// the name is taken.
std::string createDefaultConstraint(Catalog& catalog, int tableId, std::string_view tableName, int colid,
                                    std::string_view columnName, const DefaultSpec& spec);

}  // namespace sandbox::tsql
