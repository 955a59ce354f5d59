#pragma once

#include <string>
#include <string_view>

#include "db/value.h"

namespace db::odbc {

// A name in square brackets, a ']' inside doubled. Example: a]b -> [a]]b].
std::string bracketName(std::string_view name);

// A T-SQL literal for a value: NULL, 0x followed by two hex digits per byte for bytes,
// N'...' with every apostrophe doubled for anything else (its text form).
// Examples: "O'Neil" -> N'O''Neil'; bytes {0x01, 0xAB} -> 0x01AB; no bytes -> 0x.
std::string literalFor(const Value& value);

// The batch that sets one field of the row found by a key.
// Example: ("tbDados", "code", "'P1'", "descrit", "a'b") ->
// "UPDATE [tbDados] SET [descrit] = N'a''b' WHERE [code] = 'P1'".
std::string longValueUpdate(std::string_view table, std::string_view keyColumn,
                            std::string_view keyLiteral, std::string_view field,
                            const Value& value);

}  // namespace db::odbc
