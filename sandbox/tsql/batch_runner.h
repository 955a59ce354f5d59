#pragma once

#include <string_view>

#include "api/engine.h"
#include "tsql/exec_context.h"

namespace sandbox::tsql {

// Runs one batch for a session: parses all of it (a syntax error stops it before anything
// runs), then executes the statements in order. A statement error becomes an error
// message and a Done with the error flag; errors SQL Server treats as batch-aborting
// (name resolution, conversions) also end the batch.
Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql);

}  // namespace sandbox::tsql
