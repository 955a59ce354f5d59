#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "api/engine.h"
#include "tsql/exec_context.h"
#include "tsql/statement.h"

namespace sandbox::tsql {

// Runs one batch for a session: parses all of it (a syntax error stops it before anything
// runs), then executes the statements in order. A statement error becomes an error
// message and a Done with the error flag; errors SQL Server treats as batch-aborting
// (name resolution, conversions) also end the batch.
Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql);

// Thrown by a statement that runs other statements (IF, BEGIN ... END) when one of them
// ended the batch: the batch stops there, its error already reported.
struct BatchAborted {};

// Runs statements as a batch runs them, reporting each error in the context's response.
// Returns false when an error ended the batch.
bool runStatements(ExecContext& context, const std::vector<std::unique_ptr<Statement>>& statements);

// Runs the text of EXEC('...') as a batch of its own inside the current one: its syntax
// and statement errors are reported in the same response, and an error that ends it
// does not end the calling batch.
void runNestedBatch(ExecContext& context, std::string_view sql);

}  // namespace sandbox::tsql
