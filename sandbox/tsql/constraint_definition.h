#pragma once

#include <string>
#include <vector>

#include "tsql/ast.h"
#include "tsql/column_definition.h"
#include "tsql/exec_context.h"

namespace sandbox::tsql {

class Parser;

// Parses "[FOREIGN KEY (columns)] REFERENCES table [(columns)] [ON DELETE {NO ACTION |
// CASCADE}] [ON UPDATE {NO ACTION | CASCADE}] [NOT FOR REPLICATION]"; a column-level one
// (columnName given) may leave out FOREIGN KEY and the column list.
ForeignKeySpec parseForeignKey(Parser& parser, std::string constraintName,
                               const std::string* columnName);

// Parses "CHECK [NOT FOR REPLICATION] (expression)".
CheckSpec parseCheck(Parser& parser, std::string constraintName, const std::string* columnName);

// Creates a CHECK constraint on a table: its C object (info = the one column it reads, if
// one), its text in syscomments. Existing rows are checked unless `checkExisting` is false
// (WITH NOCHECK, which leaves it not trusted): 547 "ALTER TABLE statement conflicted with
// COLUMN CHECK constraint ...". 2714 when the name is taken, 40000 for a condition the
// sandbox cannot evaluate. Returns the constraint's name.
std::string createCheckConstraint(ExecContext& context, const TableInfo& table,
                                  const CheckSpec& spec, bool checkExisting);

// Creates a FOREIGN KEY: its F object, sysforeignkeys and sysreferences rows. Refused as
// SQL Server refuses it, each followed by 1750: 1767 no such referenced table, 1769/1770
// no such column, 8139 column counts differ, 1776 the referenced columns are not a
// primary key or unique constraint, 1778 the types differ, 1785 a cascade that would
// close a cycle or open a second cascade path. Existing rows are checked
// unless WITH NOCHECK (547 "ALTER TABLE statement conflicted with COLUMN FOREIGN KEY
// ..."). Returns the constraint's name.
std::string createForeignKey(ExecContext& context, const TableInfo& table,
                             const ForeignKeySpec& spec, bool checkExisting);

}  // namespace sandbox::tsql
