#pragma once

#include <memory>
#include <string>

#include "tsql/ast.h"
#include "tsql/database.h"
#include "tsql/statement.h"

namespace sandbox::tsql {

class ExecContext;
class Parser;

// The table an ALTER TABLE names, read afresh from the catalog. Throws 4902 "Cannot alter
// table 'tbX' because this table does not exist in database 'app'." for anything but a
// user table.
std::shared_ptr<const TableInfo> alteredTable(ExecContext& context, const ObjectName& table);

// ALTER TABLE t ALTER COLUMN ...: parses from the column name on (alter_column_statement.cpp).
std::unique_ptr<Statement> parseAlterColumn(Parser& parser, ObjectName table);

// ALTER TABLE t [WITH CHECK] CHECK | NOCHECK CONSTRAINT ALL | name [, ...]: parses from
// CHECK or NOCHECK on (constraint_switches.cpp).
std::unique_ptr<Statement> parseConstraintChecking(Parser& parser, ObjectName table, bool withCheck);

// ALTER TABLE t ENABLE | DISABLE TRIGGER ALL | name [, ...] (constraint_switches.cpp).
std::unique_ptr<Statement> parseTriggerSwitch(Parser& parser, ObjectName table);

}  // namespace sandbox::tsql
