#include <array>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// Keywords that always begin a new statement, so skipping an unsupported one stops there.
constexpr std::array<std::string_view, 20> kBoundaries = {
    "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "USE", "DECLARE", "PRINT", "BEGIN", "COMMIT",
    "ROLLBACK", "GRANT", "REVOKE", "BACKUP", "TRUNCATE", "IF", "WHILE", "RETURN", "EXEC", "EXECUTE"};

constexpr std::array<std::string_view, 12> kSetOptions = {
    "IDENTITY_INSERT", "NOCOUNT", "ANSI_NULLS", "ANSI_PADDING", "ANSI_WARNINGS", "QUOTED_IDENTIFIER",
    "ARITHABORT", "CONCAT_NULL_YIELDS_NULL", "TEXTSIZE", "ROWCOUNT", "XACT_ABORT", "TRANSACTION"};

// A statement the sandbox recognises but does not carry out: it fails with an error that
// names it, and the batch goes on with the next statement.
class UnsupportedStatement : public Statement {
public:
    explicit UnsupportedStatement(std::string what) : m_what(std::move(what)) {}
    void execute(ExecContext&) override {
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support the statement " + m_what + ".");
    }

private:
    std::string m_what;
};

bool isBoundary(const Parser& p, std::size_t ahead, bool leadingExec) {
    const Token& t = p.peek(ahead);
    if (t.kind == TokenKind::End || t.isSymbol(";")) return true;
    if (t.kind != TokenKind::Word) return false;
    for (auto k : kBoundaries)
        if (iequals(k, t.text)) return !(leadingExec && (t.isWord("EXEC") || t.isWord("EXECUTE")));
    // The end of a BEGIN ... END block or of an IF's statement.
    if (t.isWord("END") || t.isWord("ELSE")) return true;
    if (t.isWord("SET")) {
        const Token& option = p.peek(ahead + 1);
        for (auto k : kSetOptions)
            if (option.isWord(k)) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<Statement> parseUnsupported(Parser& p) {
    const Token& first = p.peek();
    bool keyword = p.isStatementStart(first) || first.isWord("CREATE") || first.isWord("DROP");
    std::string what;
    if (keyword) {
        what = upperName(first.text);
        const Token& second = p.peek(1);
        if (second.kind == TokenKind::Word && isReservedKeyword(second.text)) what += " " + upperName(second.text);
    } else if (p.isFirstStatement() && p.isIdentifierToken(first)) {
        // A batch that starts with a name runs that procedure, as EXEC would.
        return parseProcedureCall(p);
    } else {
        p.syntaxError();
    }
    return skipUnsupported(p, what);
}

std::unique_ptr<Statement> skipUnsupported(Parser& p, std::string what) {
    const Token& first = p.peek();
    bool leadingExec = first.isWord("EXEC") || first.isWord("EXECUTE");
    int depth = 0;
    int cases = 0;  // open CASE expressions, whose END is theirs
    p.next();
    while (true) {
        const Token& t = p.peek();
        if (t.kind == TokenKind::End) break;
        if (t.isSymbol("(")) ++depth;
        if (t.isSymbol(")")) --depth;
        if (t.isWord("CASE")) ++cases;
        if (t.isWord("END") && cases > 0) {
            --cases;
            p.next();
            continue;
        }
        if (depth <= 0 && isBoundary(p, 0, leadingExec) && !t.isSymbol(")")) break;
        p.next();
    }
    return std::make_unique<UnsupportedStatement>(what);
}

}  // namespace sandbox::tsql
