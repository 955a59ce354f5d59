#pragma once

#include <string>
#include <vector>

#include "tsql/ast.h"
#include "tsql/data_change.h"
#include "tsql/program.h"

namespace sandbox::tsql {

// SQL Server's limit on nested triggers (and procedures): 217 past it.
inline constexpr int kMaxNestLevel = 32;

// Fires triggers after a statement changed the table's rows: each runs its body as a batch
// of its own (own variables, its name on its messages, SET options restored afterwards)
// with `inserted` and `deleted` holding the changed rows, @@ROWCOUNT the number of rows and
// @@NESTLEVEL one more. A trigger does not fire itself again (recursive triggers are off).
// Throws BatchAborted after a trigger rolled the transaction back (the trigger runs to
// its end first), or after an error ended a trigger, which rolls the transaction back.
void fireTriggers(ExecContext& context, const TableInfo& table, TriggerEvent event,
                  const std::vector<TriggerRule>& triggers, const ChangedRows& changed);

// A CREATE TRIGGER statement as written.
struct TriggerDefinition {
    ObjectName name;
    ObjectName table;
    bool onInsert = false;
    bool onUpdate = false;
    bool onDelete = false;
    bool insteadOf = false;
    Program body;
};

// Parses "CREATE TRIGGER name ON table [WITH ENCRYPTION] {FOR | AFTER | INSTEAD OF}
// {INSERT | UPDATE | DELETE} [, ...] [WITH APPEND] [NOT FOR REPLICATION] AS statements" to
// the end of the batch (trigger_statements.cpp). Throws ServerError for a syntax error.
TriggerDefinition parseTriggerDefinition(Parser& parser);

// The body of a trigger from its CREATE TRIGGER text, parsed as it was created
// (QUOTED_IDENTIFIER as then). Throws ServerError for text that no longer parses.
Program parseTriggerBody(const std::string& text, bool quotedIdentifier);

}  // namespace sandbox::tsql
