#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace sandbox {

// How a SQL Server collation compares text. Every collation ignores trailing blanks
// (SQL Server pads the shorter operand with blanks before comparing).
struct CollationRules {
    bool caseSensitive = false;
    bool accentSensitive = true;
    bool binary = false;
};

// The server's default collation, which new databases take.
inline constexpr std::string_view kServerCollation = "SQL_Latin1_General_CP1_CI_AS";

// Reads the rules from a collation name; nullopt-like false when the name is not one
// the sandbox knows. Examples: "Latin1_General_CI_AI" -> case and accents ignored;
// "Latin1_General_BIN" -> binary; "Klingon_CI_AS" -> not known.
bool parseCollation(std::string_view name, CollationRules& rules);

// Compares two UTF-8 texts under the rules: <0, 0 or >0.
// Example (CI_AS): "abc" == "ABC  ", "e" < "é" < "f"; (CI_AI): "é" == "E".
int compareText(const CollationRules& rules, std::string_view a, std::string_view b);

// Makes every known collation available to SQLite on this connection, under the SQL
// Server names (registered on demand through the collation-needed hook).
void registerCollations(sqlite3* db);

}  // namespace sandbox
