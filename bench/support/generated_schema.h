#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace benchsupport {

// The shape of a generated application schema.
struct SchemaShape {
    int tables = 1000;
    int columns = 20;        // the identity key "id" included
    int objectsPerKind = 0;  // scalar functions, views and procedures, each
    // The version of the schema an older target still has: every tenth table missing
    // (those whose index ends in 9), a fifth of the columns narrower (c09, c10, c11) or
    // missing (c14), and every fiftieth table (index 7, 57, ...) keyed without its
    // identity. The indexes, defaults and modules are those of the reference, but for the
    // modules of the missing tables.
    bool older = false;
    // Creates tbSQLUpdate with one rule row that selects nothing; false when the script
    // the schema joins creates its own (writeRulesTable).
    bool rulesTable = true;
};

// A generated application schema for whole-run measurements: `tables` tables of
// `columns` columns of the usual types, each with an identity primary key, two IX indexes
// and defaults on three columns; then `objectsPerKind` scalar functions, views and
// procedures each, every tenth of them over 4,000 characters (two or three chunks of
// source text); plus a rules table tbSQLUpdate with an `exclude` column (so the capture's
// exclusion test takes its full path). Written as a T-SQL script with GO separators.
void writeGeneratedSchema(std::ostream& out, const SchemaShape& shape);
void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns,
                          int objectsPerKind = 0);

// The rules table tbSQLUpdate with every flag column, empty:
//   CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL PRIMARY KEY, exclude int NULL,
//   disable int NULL, only_if_empty bit NULL, force_update int NULL, Delete_First int NULL)
//   GO
void writeRulesTable(std::ostream& out);

// Table, column and module names of the generated schema. Examples: 7 -> "tbGen0007";
// 3 -> "c03"; ("vw", 12) -> "vwGen0012".
std::string generatedTableName(int index);
std::string generatedColumnName(int index);
std::string generatedModuleName(const char* prefix, int index);

// Whether the older schema lacks table `index` (every tenth: 9, 19, 29, ...).
bool olderSchemaLacksTable(int index);

}  // namespace benchsupport
