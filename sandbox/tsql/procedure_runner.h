#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "tsql/exec_context.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {

// One argument of EXEC procedure as the call gives it.
struct ProcedureArgumentValue {
    std::string parameter;             // "@CustomerID" when passed by name; empty: by position
    std::optional<StoredValue> value;  // nullopt: DEFAULT (the parameter's own default)
    std::string outputVariable;        // the caller's variable an OUTPUT parameter's value goes back to
};

// Runs a user stored procedure for EXEC, as SQL Server runs it: its CREATE PROCEDURE text
// is parsed as it was created (QUOTED_IDENTIFIER then), the arguments bind to the
// parameters by position, then by name (converted to their types; a parameter not passed
// takes its default), and the body runs as a batch of its own inside the caller's: its
// own variables, its name on its messages, @@NESTLEVEL one more, ANSI_NULLS as it was
// created, and its SET options undone when it ends. Its results go to the caller's
// response. OUTPUT parameters passed as OUTPUT variables give their values back. Returns
// the return status (RETURN n; 0 otherwise). Refusals, before anything runs: 201 a
// parameter without default not passed, 8144 too many arguments, 8145 no such parameter,
// 119 an argument by position after one by name, 217 past 32 nesting levels.
// Example: EXEC CustOrderHist @CustomerID = 'ALFKI' -> the products ALFKI ordered.
int runProcedure(ExecContext& context, const ObjectInfo& procedure,
                 const std::vector<ProcedureArgumentValue>& arguments);

}  // namespace sandbox::tsql
