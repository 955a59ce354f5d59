#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace catalog {

// How a database compares names, read from its collation: SQL Server matches the names
// of its catalog (`name = 'tbX'`) under the database's default collation, which ignores
// letter case under _CI, accents under _AI, and trailing blanks always.
struct NameRules {
    bool caseSensitive = false;
    bool accentSensitive = true;
    bool binary = false;  // _BIN and _BIN2: code points compared as they are

    // The rules of a collation name; a name that says nothing known (empty, or no
    // _CI/_CS part) gives the rules of the server's default, case-insensitive and
    // accent-sensitive. Examples: "Latin1_General_CI_AI" -> case and accents ignored;
    // "SQL_Latin1_General_CP1_CS_AS" -> both count; "Latin1_General_BIN" -> binary.
    static NameRules ofCollation(std::string_view collation);

    // The name reduced to what these rules compare, so that two names are equal when
    // their keys are: trailing blanks dropped, then, as the rules say, letters made small
    // (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic) and Latin-1 accents removed.
    // Examples (CI_AI): "Ação  " -> "acao"; (CI_AS): "ÁREA" -> "área"; (BIN): "Ab " -> "Ab".
    std::string key(std::string_view name) const;

    // Whether the two names are equal under these rules.
    bool same(std::string_view a, std::string_view b) const { return key(a) == key(b); }
};

// The text a T-SQL literal made by store::SQLValueForServer (kind 3) carries: the name
// without its leading and trailing blanks; nothing for an empty or blank name, whose
// literal is null and so equals no name. Example: " tbX " -> "tbX"; "  " -> nullopt.
std::optional<std::string> literalText(std::string_view name);

}  // namespace catalog
