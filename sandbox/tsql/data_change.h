#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tsql/exec_context.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {

// What fires a trigger.
enum class TriggerEvent { Insert, Update, Delete };

// The rows one INSERT, UPDATE or DELETE changed, as its constraints and triggers see them.
struct ChangedRows {
    std::vector<std::int64_t> rowids;  // rows inserted or updated (read again for `inserted`)
    std::vector<std::vector<StoredValue>>
        oldRows;                 // rows deleted, or updated rows as they were (all columns)
    std::vector<int> setColids;  // UPDATE: the columns it set
};

// True when a change of the table for this event needs its rows' old values (a foreign
// key references the table, or a trigger fires).
bool needsOldRows(const TableInfo& table, TriggerEvent event);

// The enabled triggers that fire after the event. Throws ServerError 40000 when an
// INSTEAD OF trigger would take the statement's place: the sandbox does not run those.
std::vector<TriggerRule> triggersFor(const TableInfo& table, TriggerEvent event);

// Runs one data modification of a table that has rules (see TableInfo::hasRules) as SQL
// Server runs it: `change` writes the rows inside the statement's savepoint and returns
// what it changed; the CHECK and FOREIGN KEY constraints are checked there (547 undoes the
// statement) after the cascading foreign keys carried a DELETE or UPDATE into the tables
// that reference this one; then the table's AFTER triggers fire, then those of the tables
// the cascades changed. When a trigger fires and no
// transaction is open, the statement runs in a transaction of its own, so that a ROLLBACK
// TRANSACTION inside the trigger undoes it. Throws BatchAborted when a trigger rolled the
// transaction back or failed (the rest of the batch does not run); returns what changed.
ChangedRows runDataChange(ExecContext& context, const TableInfo& table, TriggerEvent event,
                          const std::function<ChangedRows()>& change);

// Reads rows of a table by rowid, all columns in colid order.
std::vector<std::vector<StoredValue>> readRows(ExecContext& context, const TableInfo& table,
                                               const std::vector<std::int64_t>& rowids);

}  // namespace sandbox::tsql
