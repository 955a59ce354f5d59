#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

// EXEC('...'): the text runs as a batch of its own, in this session (its settings,
// current database and IDENTITY_INSERT table are the caller's).
// Example: EXEC('INSERT INTO Tmp_tbX(id, nome) SELECT id, nome FROM tbX').
class ExecuteStringStatement : public Statement {
public:
    explicit ExecuteStringStatement(std::string text) : m_text(std::move(text)) {}
    void execute(ExecContext& context) override { runNestedBatch(context, m_text); }

private:
    std::string m_text;
};

// EXEC procedure arguments: the system procedures the sandbox carries out; a user
// procedure is recorded but not run (a clear refusal), an unknown name is 2812.
class ExecuteProcedureStatement : public Statement {
public:
    ObjectName procedure;
    ProcedureCall call;

    void execute(ExecContext& context) override {
        if (SystemProcedure run = findSystemProcedure(procedure.name())) {
            call.line = line;
            run(context, call);
            context.done(false);
            return;
        }
        if (auto object = context.db().catalog().findObject(procedure.name()); object && object->xtype == "P")
            throw ServerError(err::kUnsupported, 16,
                              "The sandbox server does not run stored procedures ('" + object->name + "').");
        throw ServerError(2812, 16, "Could not find stored procedure '" + procedure.name() + "'.", 62);
    }
};

// The text of EXEC( 'a' + N'b' ... ): string literals joined by +.
std::string stringConcatenation(Parser& p) {
    std::string text;
    do {
        const Token& t = p.peek();
        if (t.kind != TokenKind::String && t.kind != TokenKind::NString) {
            if (t.kind == TokenKind::Variable)
                throw ServerError(err::kUnsupported, 16, "The sandbox server does not support variables ('" + t.text + "').");
            p.syntaxError();
        }
        text += p.next().text;
    } while (p.acceptSymbol("+"));
    return text;
}

ProcedureArgument procedureArgument(Parser& p) {
    ProcedureArgument argument;
    if (p.peek().kind == TokenKind::Variable && p.peek(1).isSymbol("=")) {
        argument.parameter = p.next().text;
        p.next();
    }
    const Token& t = p.peek();
    switch (t.kind) {
        case TokenKind::String:
        case TokenKind::NString:
        case TokenKind::Integer:
        case TokenKind::Number:
        case TokenKind::Bracketed:
            argument.value = p.next().text;
            break;
        case TokenKind::Binary:
            argument.value = "0x" + p.next().text;
            break;
        case TokenKind::Symbol:
            if (t.isSymbol("-") && (p.peek(1).kind == TokenKind::Integer || p.peek(1).kind == TokenKind::Number)) {
                p.next();
                argument.value = "-" + p.next().text;
                break;
            }
            p.syntaxError();
        case TokenKind::Variable:
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support variables ('" + t.text + "').");
        case TokenKind::Word:
            if (t.isWord("NULL")) {
                p.next();
            } else if (t.isWord("DEFAULT")) {
                p.next();
                argument.isDefault = true;
            } else if (p.isIdentifierToken(t)) {
                argument.value = p.next().text;  // an unquoted name passes as a string
            } else {
                p.syntaxError();
            }
            break;
        default:
            p.syntaxError();
    }
    if (!p.acceptWord("OUTPUT")) p.acceptWord("OUT");
    return argument;
}

}  // namespace

std::unique_ptr<Statement> parseExecute(Parser& p) {
    p.next();  // EXEC or EXECUTE
    if (p.acceptSymbol("(")) {
        std::string text = stringConcatenation(p);
        p.expectSymbol(")");
        return std::make_unique<ExecuteStringStatement>(std::move(text));
    }
    if (p.peek().kind == TokenKind::Variable)
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support variables ('" + p.peek().text + "').");
    auto s = std::make_unique<ExecuteProcedureStatement>();
    s->procedure = p.objectName();
    s->call.name = s->procedure.name();
    if (!p.atStatementEnd()) {
        do {
            s->call.arguments.push_back(procedureArgument(p));
        } while (p.acceptSymbol(","));
    }
    return s;
}

}  // namespace sandbox::tsql
