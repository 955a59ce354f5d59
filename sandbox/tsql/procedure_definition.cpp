#include "tsql/procedure_definition.h"

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/parser.h"

namespace sandbox::tsql {

ProcedureDefinition parseProcedureDefinition(Parser& p) {
    ProcedureDefinition d;
    p.expectWord("CREATE");
    if (!p.acceptWord("PROC")) p.expectWord("PROCEDURE");
    d.name = p.objectName();
    if (p.acceptSymbol(";")) d.number = static_cast<int>(p.integerLiteral(32767));
    const bool parenthesized = p.acceptSymbol("(");
    while (p.peek().kind == TokenKind::Variable) {
        ProcedureParameter parameter;
        parameter.line = p.peek().line;
        parameter.name = p.next().text;
        p.acceptWord("AS");
        parameter.type = p.typeName();
        p.acceptWord("VARYING");
        if (p.acceptSymbol("=")) parameter.defaultValue = p.expression();
        if (p.acceptWord("OUTPUT") || p.acceptWord("OUT")) parameter.output = true;
        p.declareVariable(VariableDeclaration{parameter.name, parameter.type, parameter.line});
        d.parameters.push_back(std::move(parameter));
        if (!p.acceptSymbol(",")) break;
    }
    if (parenthesized) p.expectSymbol(")");
    if (p.acceptWord("WITH")) {
        do {
            if (!p.acceptWord("RECOMPILE")) p.expectWord("ENCRYPTION");
        } while (p.acceptSymbol(","));
    }
    if (p.acceptWord("FOR")) p.expectWord("REPLICATION");
    p.expectWord("AS");
    p.allowReturnValues();
    d.body = parseProgram(p);
    // The parameters were declared first; the body's own variables follow them.
    d.body.variables.erase(d.body.variables.begin(),
                           d.body.variables.begin() + static_cast<std::ptrdiff_t>(d.parameters.size()));
    return d;
}

ProcedureDefinition parseProcedureText(const std::string& text, bool quotedIdentifier) {
    Parser parser(text, quotedIdentifier);
    return parseProcedureDefinition(parser);
}

}  // namespace sandbox::tsql
