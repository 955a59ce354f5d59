#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tsql/ast.h"
#include "tsql/statement.h"

namespace sandbox::tsql {

// A variable a batch declares: DECLARE @name type. Every variable of a batch exists from
// the batch's start (as NULL), whichever branch its DECLARE stands in, as on SQL Server.
struct VariableDeclaration {
    std::string name;  // "@dttm"
    TypeName type;
    int line = 1;
};

// One step of a compiled batch: a statement to run, or a jump. IF, ELSE, WHILE, BREAK,
// CONTINUE, RETURN and BEGIN ... END become jumps around the statements, so that the
// interpreter runs a batch in one flat loop whatever its nesting.
struct Step {
    enum class Kind {
        Run,         // run `statement`, then go on with the next step
        JumpUnless,  // go to `target` unless `condition` holds (false or unknown)
        Jump         // go to `target`
    };
    static constexpr std::size_t kEnd = std::numeric_limits<std::size_t>::max();  // RETURN

    Kind kind = Kind::Run;
    std::unique_ptr<Statement> statement;
    ExprPtr condition;
    std::size_t target = kEnd;
    int line = 1;
};

// A batch (or a trigger's body) as the interpreter runs it.
// Example: "IF @a = 1 PRINT 'x' ELSE PRINT 'y'" ->
//   0 JumpUnless (@a = 1) 3;  1 Run PRINT 'x';  2 Jump 4;  3 Run PRINT 'y'.
struct Program {
    std::vector<Step> steps;
    std::vector<VariableDeclaration> variables;
};

class Parser;

// Parses statements up to the end of the batch into a program, with IF ... ELSE, WHILE,
// BREAK, CONTINUE, RETURN and BEGIN ... END blocks, without recursion however deep the
// nesting or long an ELSE IF chain. Throws ServerError 102/156 for a syntax error.
Program parseProgram(Parser& parser);

}  // namespace sandbox::tsql
