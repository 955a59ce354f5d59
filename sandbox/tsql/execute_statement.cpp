#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/parser.h"
#include "tsql/procedure_runner.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {
namespace {

// A variable's value as the text EXEC uses; nullopt for NULL.
std::optional<std::string> variableText(ExecContext& context, const std::string& name) {
    const Variable* v = context.variables() ? context.variables()->find(name) : nullptr;
    if (!v) throw ServerError(137, 15, "Must declare the variable '" + name + "'.", 2, ErrorScope::Batch);
    if (v->value.isNull()) return std::nullopt;
    static const ColumnType kText = *makeColumnType("text", std::nullopt, std::nullopt);
    return convertTo(kText, v->value, ConversionMode::Convert).bytes;
}

// One piece of EXEC('...' + @v ...): a literal, or a variable read when the statement runs.
struct TextPiece {
    std::string text;
    bool variable = false;
};

// EXEC('...'): the text runs as a batch of its own, in this session (its settings,
// current database and IDENTITY_INSERT table are the caller's). A NULL variable in the
// text makes it NULL: nothing runs, as on SQL Server.
// Example: EXEC('INSERT INTO Tmp_tbX(id, nome) SELECT id, nome FROM tbX').
class ExecuteStringStatement : public Statement {
public:
    explicit ExecuteStringStatement(std::vector<TextPiece> pieces) : m_pieces(std::move(pieces)) {}
    void execute(ExecContext& context) override {
        if (m_pieces.size() == 1 && !m_pieces[0].variable) {
            runNestedBatch(context, m_pieces[0].text);
            return;
        }
        std::string text;
        for (const auto& piece : m_pieces) {
            if (!piece.variable) {
                text += piece.text;
                continue;
            }
            auto value = variableText(context, piece.text);
            if (!value) return;
            text += *value;
        }
        runNestedBatch(context, text);
    }

private:
    std::vector<TextPiece> m_pieces;
};

// EXEC [@status =] procedure arguments: the system procedures the sandbox carries out, and
// the database's own stored procedures (see runProcedure); an unknown name is 2812.
class ExecuteProcedureStatement : public Statement {
public:
    ObjectName procedure;
    ProcedureCall call;
    std::string statusVariable;  // EXEC @rc = ...: receives the return status

    void execute(ExecContext& context) override {
        int status = 0;
        if (SystemProcedure run = findSystemProcedure(procedure.name())) {
            ProcedureCall values = call;
            values.line = line;
            for (auto& argument : values.arguments)
                if (!argument.variable.empty()) argument.value = variableText(context, argument.variable);
            run(context, values);
        } else if (auto object = context.db().catalog().findObject(procedure.name()); object && object->xtype == "P") {
            status = runProcedure(context, *object, argumentValues(context));
        } else {
            throw ServerError(2812, 16, "Could not find stored procedure '" + procedure.name() + "'.", 62);
        }
        if (!statusVariable.empty()) {
            Variable* target = context.variables() ? context.variables()->find(statusVariable) : nullptr;
            if (target) context.variables()->assign(*target, StoredValue::ofInteger(status));
        }
        context.done(false);
    }

private:
    // The arguments as values: literals as written (converted to the parameters' types
    // when bound), variables as they hold now, NULL, or DEFAULT.
    std::vector<ProcedureArgumentValue> argumentValues(ExecContext& context) const {
        std::vector<ProcedureArgumentValue> values;
        for (const auto& argument : call.arguments) {
            ProcedureArgumentValue value;
            value.parameter = argument.parameter;
            if (!argument.variable.empty()) {
                const Variable* v = context.variables() ? context.variables()->find(argument.variable) : nullptr;
                if (!v)
                    throw ServerError(137, 15, "Must declare the variable '" + argument.variable + "'.", 2,
                                      ErrorScope::Batch);
                value.value = v->value;
                if (argument.output) value.outputVariable = argument.variable;
            } else if (!argument.isDefault) {
                value.value = argument.value ? StoredValue::ofText(*argument.value) : StoredValue::null();
            }
            values.push_back(std::move(value));
        }
        return values;
    }
};

// The text of EXEC( 'a' + N'b' + @v ... ): string literals and variables joined by +,
// runs of literals kept as one piece.
std::vector<TextPiece> stringConcatenation(Parser& p) {
    std::vector<TextPiece> pieces;
    do {
        const Token& t = p.peek();
        if (t.kind == TokenKind::Variable) {
            if (!p.isDeclared(t.text))
                throw ServerError(137, 15, "Must declare the variable '" + t.text + "'.", 2, ErrorScope::Batch).atLine(t.line);
            pieces.push_back(TextPiece{p.next().text, true});
            continue;
        }
        if (t.kind != TokenKind::String && t.kind != TokenKind::NString) p.syntaxError();
        if (pieces.empty() || pieces.back().variable) pieces.emplace_back();
        pieces.back().text += p.next().text;
    } while (p.acceptSymbol("+"));
    return pieces;
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
            if (!p.isDeclared(t.text))
                throw ServerError(137, 15, "Must declare the variable '" + t.text + "'.", 2, ErrorScope::Batch).atLine(t.line);
            argument.variable = p.next().text;
            break;
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
    argument.output = p.acceptWord("OUTPUT") || p.acceptWord("OUT");
    return argument;
}

}  // namespace

std::unique_ptr<Statement> parseExecute(Parser& p) {
    p.next();  // EXEC or EXECUTE
    if (p.acceptSymbol("(")) {
        std::vector<TextPiece> pieces = stringConcatenation(p);
        p.expectSymbol(")");
        return std::make_unique<ExecuteStringStatement>(std::move(pieces));
    }
    return parseProcedureCall(p);
}

std::unique_ptr<Statement> parseProcedureCall(Parser& p) {
    auto s = std::make_unique<ExecuteProcedureStatement>();
    if (p.peek().kind == TokenKind::Variable && p.peek(1).isSymbol("=")) {
        const Token& variable = p.peek();
        if (!p.isDeclared(variable.text))
            throw ServerError(137, 15, "Must declare the variable '" + variable.text + "'.", 2, ErrorScope::Batch)
                .atLine(variable.line);
        s->statusVariable = p.next().text;
        p.next();
    }
    if (p.peek().kind == TokenKind::Variable)
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support variables ('" + p.peek().text + "').");
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
