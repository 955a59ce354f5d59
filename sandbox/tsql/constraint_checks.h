#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tsql/exec_context.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {

// Enforcement of CHECK and FOREIGN KEY constraints after a statement changed a table's
// rows (inside the statement's savepoint, so that a refusal undoes the statement). Each
// refusal is SQL Server 2000's 547, followed by 3621:
//   INSERT statement conflicted with COLUMN FOREIGN KEY constraint 'FK__titles__pub_id__0519C6AF'.
//   The conflict occurred in database 'pubs', table 'publishers', column 'pub_id'.
// ("TABLE" and no column for a constraint on several columns; "REFERENCE" when a referenced
// row goes away; "CHECK" for a check constraint.)

// Checks the rows a statement wrote (by rowid) against the table's enabled CHECK
// constraints and the FOREIGN KEYs it holds. `setColids`: for an UPDATE, the columns it
// set, so that only the constraints on them are checked; null for an INSERT.
void checkWrittenRows(ExecContext& context, const TableInfo& table,
                      const std::vector<std::int64_t>& rowids, std::string_view statement,
                      const std::vector<int>* setColids);

// Checks that the keys that rows of a referenced table held before the statement (deleted
// rows, or updated ones; each row all columns in colid order) are still there for every
// row that references them. `setColids` as above (null: every key counts).
void checkRemovedKeys(ExecContext& context, const TableInfo& table,
                      const std::vector<std::vector<StoredValue>>& oldRows,
                      std::string_view statement, const std::vector<int>* setColids);

// Checks every row of the table against one CHECK constraint or FOREIGN KEY that it holds
// (ALTER TABLE ... ADD or WITH CHECK CHECK CONSTRAINT): 547 "ALTER TABLE statement
// conflicted with ..." (without 3621).
void checkAllRows(ExecContext& context, const TableInfo& table, const CheckRule& check);
void checkAllRows(ExecContext& context, const TableInfo& table, const ForeignKeyRule& foreignKey);

// The text of a 547 refusal (without 3621). kind: "FOREIGN KEY", "REFERENCE" or "CHECK";
// `columns` the columns of the constraint in `table` (one: a COLUMN constraint named with
// its column).
std::string conflictText(std::string_view statement, std::string_view kind,
                         const std::string& constraint, const std::string& database,
                         const std::string& table, const std::vector<std::string>& columns);

// Puts rowids into the temporary table "~rows" and returns the condition that selects
// them: "rowid = ?1" (bound to the one rowid) for a single row, else
// "rowid IN (SELECT rid FROM temp."~rows")". `single` receives the one rowid.
std::string rowidFilter(Database& db, const std::vector<std::int64_t>& rowids,
                        std::int64_t& single);

}  // namespace sandbox::tsql
