#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "api/engine.h"
#include "catalog/server_error.h"
#include "tsql/exec_context.h"
#include "tsql/program.h"

namespace sandbox::tsql {

// Runs one batch for a session: parses all of it (a syntax error stops it before anything
// runs), then runs its program. A statement error becomes an error message and a Done with
// the error flag; errors SQL Server treats as batch-aborting (name resolution,
// conversions) also end the batch.
Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql);

// Thrown by a statement when the rest of the batch must not run, its messages already in
// the response: a trigger rolled the transaction back, or a fatal RAISERROR.
struct BatchAborted {};

// Runs a program with its own variables (DECLAREd types resolved in the current
// database), reporting each error in the context's response. Returns false when an error
// ended the batch. A batch that runs more than kStepLimit steps (a WHILE that never ends)
// is stopped with an error, as the server would otherwise hang.
bool runProgram(ExecContext& context, const Program& program);
// The same with variables that exist before the program's own (a procedure's parameters,
// with their values); the scope holds their values afterwards (OUTPUT parameters).
bool runProgram(ExecContext& context, const Program& program, VariableScope& scope);
inline constexpr std::size_t kStepLimit = 10'000'000;

// Runs the text of EXEC('...') as a batch of its own inside the current one: its syntax
// and statement errors are reported in the same response, and an error that ends it
// does not end the calling batch.
void runNestedBatch(ExecContext& context, std::string_view sql);

// Adds an error's message(s) and a Done with the error flag to the response, and records
// it as @@ERROR. Messages raised inside a trigger name it.
void reportError(ExecContext& context, const ServerError& error, int statementLine);

}  // namespace sandbox::tsql
