#pragma once

#include <filesystem>
#include <string>

namespace benchsupport {

// A generated application schema for whole-run measurements: `tables` tables of
// `columns` columns of the usual types, each with an identity primary key, two IX indexes
// and defaults on three columns; then `objectsPerKind` scalar functions, views and
// procedures each, every tenth of them over 4,000 characters (two or three chunks of
// source text); plus a rules table tbSQLUpdate with an `exclude` column (so the capture's
// exclusion test takes its full path). Written as a T-SQL script with GO separators.
void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns,
                          int objectsPerKind = 0);

// Table and column names of the generated schema. Example: 7 -> "tbGen0007"; 3 -> "c03".
std::string generatedTableName(int index);
std::string generatedColumnName(int index);

}  // namespace benchsupport
