#pragma once

#include <filesystem>
#include <string>

namespace benchsupport {

// A generated application schema for whole-run measurements: `tables` tables of
// `columns` columns of the usual types, each with an identity key, an IX index and
// defaults on every fourth column, plus a rules table tbSQLUpdate with an `exclude`
// column (so the capture's exclusion test takes its full path). Written as a T-SQL
// script with GO separators.
void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns);

// Table and column names of the generated schema. Example: 7 -> "tbGen0007"; 3 -> "c03".
std::string generatedTableName(int index);
std::string generatedColumnName(int index);

}  // namespace benchsupport
