#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/ast.h"
#include "tsql/lexer.h"
#include "tsql/program.h"
#include "tsql/statement.h"

namespace sandbox::tsql {

// Recursive-descent parser for one T-SQL batch (expressions lean left in loops, so a long
// chain of operators does not recurse). The whole batch is parsed before anything
// runs, so a syntax error (102, 156) anywhere stops the batch as on SQL Server. Statement
// families register their parse functions in statement_registry.cpp; the parser offers
// them the shared pieces (names, types, expressions, SELECT). Throws ServerError.
class Parser {
public:
    Parser(std::string_view batch, bool quotedIdentifier);

    // Parses every statement of the batch, with its control flow (see parseProgram).
    Program parseBatch();
    // Parses the one statement that starts at the current token (not IF, WHILE or a
    // BEGIN ... END block: parseProgram takes those).
    std::unique_ptr<Statement> statement();
    // Counts a construct (IF, WHILE, BEGIN) as a statement of the batch, so that CREATE
    // VIEW after it is not the first one.
    void countStatement() { ++m_statementIndex; }

    // The batch's variables: DECLARE records them; a variable used before its DECLARE
    // raises 137 "Must declare the variable '@x'.", one declared twice 134.
    void declareVariable(VariableDeclaration declaration);
    bool isDeclared(std::string_view name) const;
    std::vector<VariableDeclaration> takeVariables() { return std::move(m_variables); }

    // Token access.
    const Token& peek(std::size_t ahead = 0) const;
    const Token& next();
    bool acceptWord(std::string_view keyword);
    void expectWord(std::string_view keyword);
    bool acceptSymbol(std::string_view symbol);
    void expectSymbol(std::string_view symbol);
    std::size_t position() const { return m_pos; }
    void rewind(std::size_t position) { m_pos = position; }
    // The value of the current token, an integer literal no greater than `max`, then
    // next(). Any other token, or a number past `max`, raises 102 "Incorrect syntax near
    // 'x'.": T-SQL reads a longer literal as a decimal, which no integer-only place takes.
    // Example: at "varchar(99999999999)" with max 2147483647 -> 102 near '99999999999'.
    std::int64_t integerLiteral(std::int64_t max = std::numeric_limits<std::int64_t>::max());
    // The batch text of the tokens from `position` up to the last one consumed.
    // Example: after parsing "DEFAULT ( getdate() )" from the '(' -> "( getdate() )".
    std::string_view sourceSince(std::size_t position) const;

    // Raises 156 "Incorrect syntax near the keyword 'x'." or 102 "Incorrect syntax near 'x'."
    // for the current token.
    [[noreturn]] void syntaxError() const;
    [[noreturn]] void syntaxErrorAt(const Token& token) const;

    // True when the token begins a new statement (SELECT, INSERT, SET, ...).
    bool isStatementStart(const Token& token) const;
    // True at the end of the batch, at ';' or at the start of another statement.
    bool atStatementEnd() const;

    // Shared grammar pieces.
    bool isIdentifierToken(const Token& token) const;  // unreserved word, [x], "x" under QI
    std::string identifier();
    ObjectName objectName();
    TypeName typeName();
    ExprPtr expression();
    std::shared_ptr<Select> selectQuery();  // at the SELECT keyword
    std::vector<std::string> columnList();  // ( a, b, ... )
    // A FROM item: a table reference and the joins that follow it.
    FromItem fromItem();

    // The batch text and the parse-time QUOTED_IDENTIFIER setting (SET QUOTED_IDENTIFIER
    // takes effect for the statements parsed after it, as on SQL Server).
    std::string_view batch() const { return m_batch; }
    bool quotedIdentifier() const { return m_quotedIdentifier; }
    void setQuotedIdentifier(bool on) { m_quotedIdentifier = on; }
    bool isFirstStatement() const { return m_statementIndex == 0; }
    // Inside a stored procedure's body RETURN may give a value (its return status).
    void allowReturnValues() { m_returnValues = true; }
    bool returnValuesAllowed() const { return m_returnValues; }

private:
    // The current token's text, moved out (a literal may be megabytes long), then next().
    std::string takeText();
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr predicate();
    ExprPtr additive();
    ExprPtr multiplicative();
    ExprPtr unary();
    ExprPtr primary();
    ExprPtr functionCall(const Token& name);
    ExprPtr caseExpr();
    std::shared_ptr<Select> selectCore();
    TableRef tableRef();
    std::string optionalAlias();

    std::string_view m_batch;
    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
    bool m_quotedIdentifier;
    int m_statementIndex = 0;
    bool m_returnValues = false;
    std::vector<VariableDeclaration> m_variables;
};

// A statement family's parse function, called with the parser at the statement's first
// token. Registered in statement_registry.cpp.
using StatementParser = std::unique_ptr<Statement> (*)(Parser&);

// The parse function for a statement starting with these words, or null.
// Example: ("CREATE", "TABLE") -> parseCreateTable; ("SELECT", any) -> parseSelectStatement.
StatementParser findStatementParser(const Token& first, const Token& second);

}  // namespace sandbox::tsql
