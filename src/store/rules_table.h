#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/recordset.h"

namespace store {

// How the system data capture treats the rows of one table, as its rule row in the
// reference database's tbSQLUpdate says. Written into tbDados as -1 (true) or 0 (false).
struct RuleFlags {
    bool captureData = false;  // the rule row has disable = 0
    bool onlyIfEmpty = true;   // apply the rows only to an empty target table
    bool forceUpdate = false;  // overwrite a target row that already exists
    bool deleteFirst = false;  // delete the target row before inserting it again

    friend bool operator==(const RuleFlags&, const RuleFlags&) = default;
};

// The look-up of a table's rule row, matched with "=" in the reference database's
// collation. Example: tbMenu -> SELECT * FROM tbSQLUpdate WHERE descrit = 'tbMenu'
std::string ruleRowQuery(std::string_view tableName);

// The flags of the record set's current row; a record set at its end (no rule row)
// gives the defaults, under which the table's data is not captured.
// Example: disable 0, only_if_empty 0, force_update 5, Delete_First null ->
// {captureData true, onlyIfEmpty false, forceUpdate true, deleteFirst false}.
// Throws db::Error when a rule row lacks disable, only_if_empty, force_update or
// Delete_First (3265), when only_if_empty is null while disable is 0 (94, it has no
// Boolean value), or when a flag is neither a number nor numeric text (13).
RuleFlags ruleFlagsOf(const db::Recordset& ruleRows);

// Looks up the table's rule row on the server connection (default cursor) and reads its
// flags as ruleFlagsOf does. Errors reach the caller.
RuleFlags readRuleFlags(db::Connection& server, std::string_view tableName);

// Whether the table was declined in debug mode: true at the first entry of the list
// that equals the name exactly (letter case counts); false when the list does not
// exist yet. Example: list {"tbA", "tbB"}: "tbB" -> true, "TBB" -> false.
bool TableIsSkiped(std::string_view tableName,
                   const std::optional<std::vector<std::string>>& skippedTables);

// Appends a declined table to the list, creating the list on its first use.
void addSkippedTable(std::optional<std::vector<std::string>>& skippedTables,
                     std::string tableName);

}  // namespace store
