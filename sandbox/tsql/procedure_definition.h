#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tsql/ast.h"
#include "tsql/program.h"

namespace sandbox::tsql {

class Parser;

// One parameter of a stored procedure: @name type [= default] [OUTPUT].
struct ProcedureParameter {
    std::string name;                    // "@CustomerID"
    TypeName type;
    std::shared_ptr<Expr> defaultValue;  // null: the caller must pass it
    bool output = false;
    int line = 1;
};

// A CREATE PROCEDURE statement as written: its name, parameters and body.
struct ProcedureDefinition {
    ObjectName name;
    int number = 1;  // name;2: a procedure of a numbered group
    std::vector<ProcedureParameter> parameters;
    Program body;    // its variables are the body's DECLAREs (the parameters are not among them)
};

// Parses "CREATE PROC[EDURE] name [;number] [[(] @p type [VARYING] [= default] [OUT[PUT]]
// [, ...] [)]] [WITH {RECOMPILE | ENCRYPTION} [, ...]] [FOR REPLICATION] AS statements" to
// the end of the batch. The parameters are known to the body as variables; RETURN may
// give the procedure's return status. Throws ServerError for a syntax error.
// Example: "CREATE PROCEDURE byroyalty @percentage int AS select au_id from titleauthor
// where titleauthor.royaltyper = @percentage" -> name byroyalty, one int parameter.
ProcedureDefinition parseProcedureDefinition(Parser& parser);

// The definition from a procedure's CREATE PROCEDURE text, parsed as it was created
// (QUOTED_IDENTIFIER as then).
ProcedureDefinition parseProcedureText(const std::string& text, bool quotedIdentifier);

}  // namespace sandbox::tsql
