#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/sql_types.h"

namespace sandbox {

// One column of a system table, as its syscolumns row describes it.
struct SystemColumn {
    std::string name;
    ColumnType type;
    bool nullable = false;
};

// One SQL Server 2000 system table: its fixed object id and its columns in order.
struct SystemTable {
    std::string_view name;
    int id;
    std::vector<SystemColumn> columns;
};

// The system tables of every database (sysobjects, syscolumns, ...), and those that only
// master has (sysdatabases, syslogins).
const std::vector<SystemTable>& databaseSystemTables();
const std::vector<SystemTable>& masterSystemTables();

// The SQLite column type that stores values of a SQL Server type with the right affinity.
// Example: varchar(50) -> "TEXT", int -> "INTEGER", decimal(10,2) -> "NUMERIC".
std::string_view storageAffinity(const ColumnType& type);

}  // namespace sandbox
