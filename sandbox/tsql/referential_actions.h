#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tsql/data_change.h"

namespace sandbox::tsql {

// A change that a cascading foreign key carried into a referencing table. Its triggers
// fire after those of the table the statement named, as on SQL Server.
struct CascadedChange {
    std::shared_ptr<const TableInfo> table;
    TriggerEvent event = TriggerEvent::Delete;
    ChangedRows changed;
};

// Carries a DELETE or UPDATE of `table` into the tables whose enabled foreign keys cascade
// on it: ON DELETE CASCADE deletes the rows that referenced a deleted row, ON UPDATE
// CASCADE writes a changed key into the rows that referenced the old one. Each referencing
// table then keeps its own rules as if the statement had been its own: its CHECK
// constraints and foreign keys on the columns written, and the foreign keys that reference
// it (cascading further, or 547 naming `statement` for a NO ACTION key still referenced).
// For an UPDATE, changed.rowids and changed.oldRows name the same rows in the same order.
// Every change made is appended to `cascaded`. Throws ServerError (547).
// Example: DELETE FROM tbOrders WHERE id = 10 with tbLines (orderId) REFERENCES tbOrders
// ON DELETE CASCADE -> the lines of order 10 go too, and {tbLines, Delete, their rows}.
void cascadeReferences(ExecContext& context, const TableInfo& table, TriggerEvent event,
                       const ChangedRows& changed, std::string_view statement,
                       std::vector<CascadedChange>& cascaded);

// True when an enabled foreign key on another table cascades this event of `table`.
bool hasCascades(const TableInfo& table, TriggerEvent event);

}  // namespace sandbox::tsql
