#include "tsql/batch_runner.h"

#include "catalog/server_error.h"
#include "tsql/parser.h"
#include "tsql/user_types.h"

namespace sandbox::tsql {
namespace {

// Parses a whole batch; a syntax error is reported and yields an empty program.
Program parseOrReport(ExecContext& context, std::string_view sql) {
    try {
        Parser parser(sql, context.session().options.quotedIdentifier);
        return parser.parseBatch();
    } catch (const ServerError& e) {
        reportError(context, e, 1);
        return {};
    }
}

// The batch's variables, each NULL, with its declared type (an alias type of the current
// database included), added to `scope`. Throws ServerError 2715 for a type nobody knows.
void declareVariables(ExecContext& context, const Program& program, VariableScope& scope) {
    for (std::size_t i = 0; i < program.variables.size(); ++i) {
        const VariableDeclaration& d = program.variables[i];
        auto type = findNamedType(context.db(), d.type, i + 1);
        if (!type)
            throw ServerError(2715, 16, "Column or parameter #" + std::to_string(i + 1) + ": Cannot find data type " +
                                            d.type.name + ".", 1, ErrorScope::Batch)
                .atLine(d.line);
        scope.add(Variable{d.name, type->type, StoredValue::null()});
    }
}

// Whether an IF or WHILE condition holds: false when it is false or unknown.
bool conditionHolds(ExecContext& context, const Expr& condition) {
    TranslationContext names = context.translation();
    Translator translator(names);
    std::vector<Constant> constants;
    translator.collectConstants(&constants);
    const std::string sql = "SELECT CASE WHEN " + translator.expression(condition).sql + " THEN 1 ELSE 0 END";
    StatementLease stmt(context.prepare(sql, &translator));
    bindConstants(stmt.get(), constants);
    return context.step(stmt.get(), &translator) && sqlite3_column_int(stmt.get(), 0) != 0;
}

// Runs one step's work, reporting its error. Returns false when the error ends the batch.
// A step that succeeds leaves @@ERROR at 0; the step itself still sees the previous one's.
template <typename Work>
bool guarded(ExecContext& context, int line, Work&& work) {
    try {
        work();
        SessionState& session = context.session();
        if (!session.keepError) session.lastError = 0;
        session.keepError = false;
        return true;
    } catch (const BatchAborted&) {
        return false;
    } catch (const ServerError& e) {
        reportError(context, e, line);
        return e.scope() != ErrorScope::Batch;
    } catch (const sqlite::Failure& f) {
        try {
            context.raise(f);
        } catch (const ServerError& e) {
            reportError(context, e, line);
            return e.scope() != ErrorScope::Batch;
        }
    } catch (const std::exception& ex) {
        reportError(context,
                    ServerError(err::kUnsupported, 16, std::string("The sandbox server failed to run the statement: ") + ex.what()),
                    line);
    }
    return true;
}

}  // namespace

void reportError(ExecContext& context, const ServerError& e, int statementLine) {
    const int line = e.line() > 0 ? e.line() : statementLine;
    Response& response = context.response();
    context.session().lastError = e.number();
    response.items.emplace_back(Message{e.number(), e.state(), e.severity(), e.text(), context.moduleName(), line});
    for (Message m : e.followUps()) {
        m.line = line;
        m.procName = context.moduleName();
        response.items.emplace_back(std::move(m));
    }
    Done done;
    done.error = true;
    response.items.emplace_back(done);
}

bool runProgram(ExecContext& context, const Program& program) {
    VariableScope scope;
    return runProgram(context, program, scope);
}

bool runProgram(ExecContext& context, const Program& program, VariableScope& scope) {
    if (!guarded(context, 1, [&] { declareVariables(context, program, scope); })) return false;
    VariableScope* outer = context.swapVariables(&scope);
    struct Restore {
        ExecContext& context;
        VariableScope* outer;
        ~Restore() { context.swapVariables(outer); }
    } restore{context, outer};

    const auto& steps = program.steps;
    std::size_t pc = 0;
    std::size_t executed = 0;
    while (pc < steps.size()) {
        if (++executed > kStepLimit) {
            reportError(context,
                        ServerError(err::kUnsupported, 16,
                                    "The sandbox server stopped the batch after " + std::to_string(kStepLimit) +
                                        " steps: a loop that does not end?"),
                        steps[pc].line);
            return false;
        }
        const Step& step = steps[pc];
        switch (step.kind) {
            case Step::Kind::Run:
                if (!guarded(context, step.line, [&] { step.statement->execute(context); })) return false;
                ++pc;
                break;
            case Step::Kind::Jump:
                pc = step.target;
                break;
            case Step::Kind::JumpUnless: {
                bool holds = false;
                if (!guarded(context, step.line, [&] { holds = conditionHolds(context, *step.condition); })) return false;
                pc = holds ? pc + 1 : step.target;
                break;
            }
        }
    }
    return true;
}

Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql) {
    Response response;
    ExecContext context(databases, session, response);
    Program program = parseOrReport(context, sql);
    runProgram(context, program);
    return response;
}

void runNestedBatch(ExecContext& context, std::string_view sql) {
    Program program = parseOrReport(context, sql);
    runProgram(context, program);
}

}  // namespace sandbox::tsql
