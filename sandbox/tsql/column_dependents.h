#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/server_error.h"
#include "tsql/database.h"

namespace sandbox::tsql {

// A catalog object that uses a column, and so may keep it from being altered or dropped.
struct ColumnDependent {
    enum class Kind { PrimaryKey, UniqueConstraint, Index, Default, Check, ForeignKey, ComputedColumn };
    Kind kind = Kind::Index;
    std::string name;

    // How 5074 names it: "index" for a plain index, "column" for a computed column,
    // "object" for a constraint.
    std::string_view noun() const;
};

// Everything of the table that uses the column, in the order SQL Server reports them:
// the indexes holding it (in index id order, keys among them), its default, the CHECK
// constraints and foreign keys (either side) that read it, the computed columns that read
// it. Example: tbOrders.customerId -> {ForeignKey FK_tbOrders_tbCustomers}.
std::vector<ColumnDependent> columnDependents(Database& db, const TableInfo& table, const ColumnInfo& column);

// SQL Server 2000's refusal of a change blocked by dependents: one 5074 per object, then
// 4922 for the change ("ALTER COLUMN" or "DROP COLUMN").
// Example: {Default DF__t__c__12345678}, "DROP COLUMN", "c" ->
//   5074 "The object 'DF__t__c__12345678' is dependent on column 'c'."
//   4922 "ALTER TABLE DROP COLUMN c failed because one or more objects access this column."
ServerError dependentsRefusal(const std::vector<ColumnDependent>& dependents, std::string_view change,
                              const std::string& column);

}  // namespace sandbox::tsql
