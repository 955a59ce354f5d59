#include "tsql/parser.h"

#include <array>
#include <charconv>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/translator.h"

namespace sandbox::tsql {
namespace {

constexpr std::array<std::string_view, 44> kStatementStarts = {
    "SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "ALTER", "SET", "USE", "EXEC", "EXECUTE",
    "IF", "BEGIN", "COMMIT", "ROLLBACK", "SAVE", "DECLARE", "PRINT", "RAISERROR", "RETURN", "WHILE", "BREAK",
    "CONTINUE", "GOTO", "GRANT", "REVOKE", "DENY", "BACKUP", "RESTORE", "TRUNCATE", "DBCC", "WAITFOR",
    "CHECKPOINT", "KILL", "READTEXT", "WRITETEXT", "UPDATETEXT", "DUMP", "LOAD", "SHUTDOWN", "OPEN", "CLOSE",
    "FETCH", "DEALLOCATE"};

ExprPtr makeExpr(ExprKind kind, int line) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->line = line;
    return e;
}

// The value of a quoted token as written: 'it''s' -> it's, N'a' -> a, [a]]b] -> a]b.
std::string unquoted(std::string_view spelled) {
    if (!spelled.empty() && (spelled.front() == 'N' || spelled.front() == 'n')) spelled.remove_prefix(1);
    if (spelled.size() < 2) return std::string(spelled);
    const char close = spelled.front() == '[' ? ']' : spelled.front();
    std::string value;
    for (std::size_t i = 1; i + 1 < spelled.size(); ++i) {
        value += spelled[i];
        if (spelled[i] == close) ++i;
    }
    return value;
}

ExprPtr binary(std::string op, ExprPtr left, ExprPtr right) {
    auto e = makeExpr(ExprKind::Binary_, left->line);
    e->text = std::move(op);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}

}  // namespace

Expr::~Expr() {
    std::vector<ExprPtr> pending = std::move(args);
    while (!pending.empty()) {
        ExprPtr node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->args) pending.push_back(std::move(child));
        node->args.clear();
    }  // each node goes with no children left
}

Parser::Parser(std::string_view batch, bool quotedIdentifier)
    : m_batch(batch), m_tokens(tokenize(batch)), m_quotedIdentifier(quotedIdentifier) {}

const Token& Parser::peek(std::size_t ahead) const {
    std::size_t i = m_pos + ahead;
    return i < m_tokens.size() ? m_tokens[i] : m_tokens.back();
}

const Token& Parser::next() {
    const Token& t = peek();
    if (m_pos < m_tokens.size() - 1) ++m_pos;
    return t;
}

std::int64_t Parser::integerLiteral(std::int64_t max) {
    const Token& t = peek();
    std::int64_t value = 0;
    if (t.kind != TokenKind::Integer) syntaxError();
    const auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), value);
    if (ec != std::errc() || end != t.text.data() + t.text.size() || value > max) syntaxError();
    next();
    return value;
}

std::string_view Parser::sourceSince(std::size_t position) const {
    if (position >= m_pos) return {};
    std::size_t begin = m_tokens[position].begin, end = m_tokens[m_pos - 1].end;
    return m_batch.substr(begin, end - begin);
}

std::string Parser::takeText() {
    std::string text = std::move(m_tokens[m_pos].text);
    next();
    return text;
}

bool Parser::acceptWord(std::string_view keyword) {
    if (!peek().isWord(keyword)) return false;
    next();
    return true;
}

void Parser::expectWord(std::string_view keyword) {
    if (!acceptWord(keyword)) syntaxError();
}

bool Parser::acceptSymbol(std::string_view symbol) {
    if (!peek().isSymbol(symbol)) return false;
    next();
    return true;
}

void Parser::expectSymbol(std::string_view symbol) {
    if (!acceptSymbol(symbol)) syntaxError();
}

void Parser::syntaxError() const { syntaxErrorAt(peek()); }

void Parser::syntaxErrorAt(const Token& token) const {
    const Token* t = &token;
    // At the end of the batch SQL Server names the last token.
    if (t->kind == TokenKind::End && m_tokens.size() > 1) t = &m_tokens[m_tokens.size() - 2];
    std::string spelled(m_batch.substr(t->begin, t->end - t->begin));
    if (t->kind == TokenKind::String || t->kind == TokenKind::NString || t->kind == TokenKind::Bracketed)
        spelled = unquoted(spelled);
    if (t->kind == TokenKind::Word && isReservedKeyword(t->text))
        throw ServerError(err::kSyntaxNearKeyword, 15, "Incorrect syntax near the keyword '" + spelled + "'.", 1,
                          ErrorScope::Batch)
            .atLine(t->line);
    throw ServerError(err::kSyntaxNear, 15, "Incorrect syntax near '" + spelled + "'.", 1, ErrorScope::Batch).atLine(t->line);
}

bool Parser::isStatementStart(const Token& token) const {
    if (token.kind != TokenKind::Word) return false;
    for (auto k : kStatementStarts)
        if (iequals(k, token.text)) return true;
    return false;
}

bool Parser::atStatementEnd() const {
    const Token& t = peek();
    return t.kind == TokenKind::End || t.isSymbol(";") || isStatementStart(t);
}

Program Parser::parseBatch() { return parseProgram(*this); }

std::unique_ptr<Statement> Parser::statement() {
    const Token& first = peek();
    StatementParser parse = findStatementParser(first, peek(1));
    if (!parse) syntaxError();
    int line = first.line;
    auto parsed = parse(*this);
    parsed->line = line;
    ++m_statementIndex;
    return parsed;
}

void Parser::declareVariable(VariableDeclaration declaration) {
    if (isDeclared(declaration.name))
        throw ServerError(134, 15,
                          "The variable name '" + declaration.name +
                              "' has already been declared. Variable names must be unique within a query batch or "
                              "stored procedure.",
                          1, ErrorScope::Batch)
            .atLine(declaration.line);
    m_variables.push_back(std::move(declaration));
}

bool Parser::isDeclared(std::string_view name) const {
    for (const auto& v : m_variables)
        if (iequals(v.name, name)) return true;
    return false;
}

bool Parser::isIdentifierToken(const Token& t) const {
    if (t.kind == TokenKind::Bracketed) return true;
    if (t.kind == TokenKind::DoubleQuoted) return m_quotedIdentifier;
    return t.kind == TokenKind::Word && !isReservedKeyword(t.text);
}

std::string Parser::identifier() {
    if (!isIdentifierToken(peek())) syntaxError();
    return next().text;
}

ObjectName Parser::objectName() {
    ObjectName name;
    name.parts.push_back(identifier());
    while (peek().isSymbol(".")) {
        next();
        // db..table leaves the owner out.
        if (peek().isSymbol(".")) {
            name.parts.emplace_back();
            continue;
        }
        name.parts.push_back(identifier());
    }
    if (name.parts.size() > 4) syntaxError();
    return name;
}

TypeName Parser::typeName() {
    TypeName type;
    const Token& t = peek();
    // "int" names the type as [int] does (scripts generated under QUOTED_IDENTIFIER ON).
    if (t.kind == TokenKind::Word || t.kind == TokenKind::Bracketed || t.kind == TokenKind::DoubleQuoted) {
        type.name = next().text;
    } else {
        syntaxError();
    }
    if (iequals(type.name, "double") && peek().isWord("precision")) {
        next();
        type.name = "float";
    }
    if (iequals(type.name, "national") && (peek().isWord("char") || peek().isWord("character"))) {
        next();
        type.name = acceptWord("varying") ? "nvarchar" : "nchar";
    }
    if ((iequals(type.name, "char") || iequals(type.name, "character")) && peek().isWord("varying")) {
        next();
        type.name = "varchar";
    }
    if (acceptSymbol("(")) {
        auto number = [&]() {
            return static_cast<int>(integerLiteral(std::numeric_limits<std::int32_t>::max()));
        };
        if (peek().isWord("max")) syntaxError();
        type.first = number();
        if (acceptSymbol(",")) type.second = number();
        expectSymbol(")");
    }
    return type;
}

std::vector<std::string> Parser::columnList() {
    std::vector<std::string> names;
    expectSymbol("(");
    do {
        names.push_back(identifier());
    } while (acceptSymbol(","));
    expectSymbol(")");
    return names;
}

ExprPtr Parser::expression() { return orExpr(); }

ExprPtr Parser::orExpr() {
    auto left = andExpr();
    while (peek().isWord("OR")) {
        next();
        left = binary("OR", std::move(left), andExpr());
    }
    return left;
}

ExprPtr Parser::andExpr() {
    auto left = notExpr();
    while (peek().isWord("AND")) {
        next();
        left = binary("AND", std::move(left), notExpr());
    }
    return left;
}

ExprPtr Parser::notExpr() {
    if (peek().isWord("NOT")) {
        int line = next().line;
        auto e = makeExpr(ExprKind::Unary, line);
        e->text = "NOT";
        e->args.push_back(notExpr());
        return e;
    }
    return predicate();
}

ExprPtr Parser::predicate() {
    if (peek().isWord("EXISTS")) {
        int line = next().line;
        expectSymbol("(");
        auto e = makeExpr(ExprKind::Exists, line);
        e->select = selectQuery();
        expectSymbol(")");
        return e;
    }
    auto left = additive();
    for (;;) {
        const Token& t = peek();
        static constexpr std::array<std::string_view, 10> kCompare = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>", "*="};
        bool isCompare = false;
        for (auto op : kCompare)
            if (t.isSymbol(op)) isCompare = true;
        if (isCompare) {
            std::string op = next().text;
            if (op == "!=") op = "<>";
            if (op == "!<") op = ">=";
            if (op == "!>") op = "<=";
            if (op == "*=") syntaxErrorAt(t);
            left = binary(op, std::move(left), additive());
            continue;
        }
        bool negated = false;
        std::size_t save = m_pos;
        if (t.isWord("NOT")) {
            next();
            negated = true;
        }
        if (acceptWord("BETWEEN")) {
            auto e = makeExpr(ExprKind::Between, left->line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            expectWord("AND");
            e->args.push_back(additive());
            left = std::move(e);
            continue;
        }
        if (acceptWord("LIKE")) {
            auto e = makeExpr(ExprKind::Like, left->line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            if (acceptWord("ESCAPE")) e->args.push_back(additive());
            left = std::move(e);
            continue;
        }
        if (acceptWord("IN")) {
            auto e = makeExpr(ExprKind::In, left->line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            expectSymbol("(");
            if (peek().isWord("SELECT")) {
                e->select = selectQuery();
            } else {
                do {
                    e->args.push_back(expression());
                } while (acceptSymbol(","));
            }
            expectSymbol(")");
            left = std::move(e);
            continue;
        }
        if (negated) {
            m_pos = save;
            break;
        }
        if (t.isWord("IS")) {
            next();
            auto e = makeExpr(ExprKind::IsNull, left->line);
            e->negated = acceptWord("NOT");
            expectWord("NULL");
            e->args.push_back(std::move(left));
            left = std::move(e);
            continue;
        }
        break;
    }
    return left;
}

ExprPtr Parser::additive() {
    auto left = multiplicative();
    for (;;) {
        const Token& t = peek();
        if (t.isSymbol("+") || t.isSymbol("-") || t.isSymbol("&") || t.isSymbol("|") || t.isSymbol("^")) {
            std::string op = next().text;
            left = binary(op, std::move(left), multiplicative());
        } else {
            return left;
        }
    }
}

ExprPtr Parser::multiplicative() {
    auto left = unary();
    for (;;) {
        const Token& t = peek();
        if (t.isSymbol("*") || t.isSymbol("/") || t.isSymbol("%")) {
            std::string op = next().text;
            left = binary(op, std::move(left), unary());
        } else {
            return left;
        }
    }
}

ExprPtr Parser::unary() {
    const Token& t = peek();
    if (t.isSymbol("-") || t.isSymbol("+") || t.isSymbol("~")) {
        int line = t.line;
        std::string op = next().text;
        auto operand = unary();
        // -5 is a literal, so that "-2147483648" and defaults like (-1) keep their form.
        if (op == "-" &&
            (operand->kind == ExprKind::Integer || operand->kind == ExprKind::Number || operand->kind == ExprKind::Money) &&
            operand->text.front() != '-') {
            operand->text = "-" + operand->text;
            return operand;
        }
        auto e = makeExpr(ExprKind::Unary, line);
        e->text = op;
        e->args.push_back(std::move(operand));
        return e;
    }
    auto e = primary();
    if (peek().isWord("COLLATE")) {
        next();
        e->collate = identifier();
    }
    return e;
}

ExprPtr Parser::primary() {
    const Token& t = peek();
    int line = t.line;
    switch (t.kind) {
        case TokenKind::Integer: {
            auto e = makeExpr(ExprKind::Integer, line);
            e->text = next().text;
            return e;
        }
        case TokenKind::Number: {
            auto e = makeExpr(ExprKind::Number, line);
            e->text = next().text;
            return e;
        }
        case TokenKind::Money: {
            auto e = makeExpr(ExprKind::Money, line);
            e->text = next().text;
            return e;
        }
        case TokenKind::String:
        case TokenKind::NString: {
            auto e = makeExpr(t.kind == TokenKind::String ? ExprKind::String : ExprKind::NString, line);
            e->text = takeText();
            return e;
        }
        case TokenKind::Binary: {
            auto e = makeExpr(ExprKind::Binary, line);
            e->text = takeText();
            return e;
        }
        case TokenKind::SystemVariable: {
            auto e = makeExpr(ExprKind::SystemVariable, line);
            e->text = next().text;
            return e;
        }
        case TokenKind::Variable: {
            if (!isDeclared(t.text))
                throw ServerError(137, 15, "Must declare the variable '" + t.text + "'.", 2, ErrorScope::Batch).atLine(line);
            auto e = makeExpr(ExprKind::Variable, line);
            e->text = next().text;
            return e;
        }
        case TokenKind::DoubleQuoted:
            if (!m_quotedIdentifier) {
                auto e = makeExpr(ExprKind::String, line);
                e->text = next().text;
                return e;
            }
            break;
        case TokenKind::Symbol:
            if (t.isSymbol("(")) {
                next();
                if (peek().isWord("SELECT")) {
                    auto e = makeExpr(ExprKind::Subquery, line);
                    e->select = selectQuery();
                    expectSymbol(")");
                    return e;
                }
                auto inner = expression();
                expectSymbol(")");
                return inner;
            }
            syntaxError();
        default:
            break;
    }
    if (t.isWord("NULL")) {
        next();
        return makeExpr(ExprKind::Null, line);
    }
    if (t.isWord("CASE")) return caseExpr();
    if (t.isWord("CAST")) {
        next();
        expectSymbol("(");
        auto e = makeExpr(ExprKind::Convert, line);
        e->args.push_back(expression());
        expectWord("AS");
        e->type = typeName();
        expectSymbol(")");
        return e;
    }
    if (t.isWord("CONVERT")) {
        next();
        expectSymbol("(");
        auto e = makeExpr(ExprKind::Convert, line);
        e->type = typeName();
        expectSymbol(",");
        e->args.push_back(expression());
        if (acceptSymbol(",")) e->args.push_back(expression());
        expectSymbol(")");
        return e;
    }
    // Niladic functions that SQL Server spells as keywords.
    for (std::string_view niladic : {"CURRENT_TIMESTAMP", "CURRENT_USER", "SESSION_USER", "SYSTEM_USER", "USER"}) {
        if (t.isWord(niladic) && !peek(1).isSymbol("(")) {
            auto e = makeExpr(ExprKind::Function, line);
            e->text = lower(next().text);
            return e;
        }
    }
    if (t.kind == TokenKind::Word && peek(1).isSymbol("(") &&
        (!isReservedKeyword(t.text) || t.isWord("LEFT") || t.isWord("RIGHT") || t.isWord("COALESCE") ||
         t.isWord("NULLIF") || t.isWord("UPDATE"))) {
        const Token& name = next();
        return functionCall(name);
    }
    if (isIdentifierToken(t)) {
        auto e = makeExpr(ExprKind::Column, line);
        e->parts.push_back(next().text);
        while (peek().isSymbol(".")) {
            next();
            if (peek().isSymbol("*")) {
                next();
                e->kind = ExprKind::Star;
                return e;
            }
            e->parts.push_back(identifier());
        }
        if (peek().isSymbol("(") && e->parts.size() >= 2) {
            // owner.function(...): a user-defined function call.
            e->kind = ExprKind::Function;
            e->text = lower(e->parts.back());
            next();
            if (!acceptSymbol(")")) {
                do {
                    e->args.push_back(expression());
                } while (acceptSymbol(","));
                expectSymbol(")");
            }
        }
        return e;
    }
    syntaxError();
}

ExprPtr Parser::functionCall(const Token& name) {
    auto e = makeExpr(ExprKind::Function, name.line);
    e->text = lower(name.text);
    e->parts.push_back(name.text);
    if (!isBuiltinFunction(e->text))
        throw ServerError(err::kUnknownFunction, 15, "'" + name.text + "' is not a recognized built-in function name.",
                          1, ErrorScope::Batch)
            .atLine(name.line);
    expectSymbol("(");
    if (acceptSymbol(")")) return e;
    if (peek().isSymbol("*")) {
        next();
        e->star = true;
        expectSymbol(")");
        return e;
    }
    if (acceptWord("DISTINCT")) e->distinct = true;
    else acceptWord("ALL");
    do {
        e->args.push_back(expression());
    } while (acceptSymbol(","));
    expectSymbol(")");
    return e;
}

ExprPtr Parser::caseExpr() {
    int line = next().line;
    auto e = makeExpr(ExprKind::Case, line);
    if (!peek().isWord("WHEN")) {
        e->hasOperand = true;
        e->args.push_back(expression());
    }
    if (!peek().isWord("WHEN")) syntaxError();
    while (acceptWord("WHEN")) {
        e->args.push_back(expression());
        expectWord("THEN");
        e->args.push_back(expression());
    }
    if (acceptWord("ELSE")) {
        e->hasElse = true;
        e->args.push_back(expression());
    }
    expectWord("END");
    return e;
}

std::string Parser::optionalAlias() {
    if (acceptWord("AS")) {
        const Token& t = peek();
        if (t.kind == TokenKind::String || t.kind == TokenKind::DoubleQuoted) return next().text;
        return identifier();
    }
    const Token& t = peek();
    if (isIdentifierToken(t) || t.kind == TokenKind::String) {
        if (t.kind == TokenKind::String) return next().text;
        return next().text;
    }
    return {};
}

TableRef Parser::tableRef() {
    TableRef ref;
    if (acceptSymbol("(")) {
        if (!peek().isWord("SELECT")) {
            // (a JOIN b ON ...): a join in parentheses, as views written by query designers nest them.
            ref.nested = std::make_shared<FromItem>(fromItem());
            if (ref.nested->joins.empty()) syntaxError();
            expectSymbol(")");
            return ref;
        }
        ref.derived = selectQuery();
        expectSymbol(")");
        ref.alias = optionalAlias();
        if (ref.alias.empty()) syntaxError();
        return ref;
    }
    ref.name = objectName();
    if (isIdentifierToken(peek()) || peek().isWord("AS")) {
        acceptWord("AS");
        ref.alias = identifier();
    }
    // Table hints: WITH (NOLOCK) and the old form (NOLOCK).
    if (peek().isWord("WITH") && peek(1).isSymbol("(")) {
        next();
        next();
        while (!peek().isSymbol(")") && peek().kind != TokenKind::End) next();
        expectSymbol(")");
    }
    return ref;
}

std::shared_ptr<Select> Parser::selectQuery() {
    auto head = selectCore();
    while (peek().isWord("UNION")) {
        next();
        bool all = acceptWord("ALL");
        if (!peek().isWord("SELECT")) syntaxError();
        head->unions.emplace_back(all, selectCore());
    }
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderItem item;
            item.expr = expression();
            if (acceptWord("DESC")) item.descending = true;
            else acceptWord("ASC");
            head->orderBy.push_back(std::move(item));
        } while (acceptSymbol(","));
    }
    return head;
}

std::shared_ptr<Select> Parser::selectCore() {
    auto s = std::make_shared<Select>();
    s->line = peek().line;
    expectWord("SELECT");
    if (acceptWord("DISTINCT")) s->distinct = true;
    else acceptWord("ALL");
    if (acceptWord("TOP")) {
        bool paren = acceptSymbol("(");
        if (peek().kind != TokenKind::Integer && peek().kind != TokenKind::Number && !paren) syntaxError();
        s->top = paren ? expression() : primary();
        if (paren) expectSymbol(")");
        if (acceptWord("PERCENT")) s->topPercent = true;
    }
    do {
        SelectItem item;
        const Token& t = peek();
        // @variable = expression: the select assigns instead of returning rows.
        if (t.kind == TokenKind::Variable && peek(1).isSymbol("=")) {
            if (!isDeclared(t.text))
                throw ServerError(137, 15, "Must declare the variable '" + t.text + "'.", 2, ErrorScope::Batch)
                    .atLine(t.line);
            item.variable = next().text;
            next();
            item.expr = expression();
        } else if ((isIdentifierToken(t) || t.kind == TokenKind::String) && peek(1).isSymbol("=")) {
            // alias = expression
            item.alias = next().text;
            next();
            item.expr = expression();
        } else if (t.isSymbol("*")) {
            next();
            item.expr = makeExpr(ExprKind::Star, t.line);
        } else {
            item.expr = expression();
            if (item.expr->kind != ExprKind::Star) item.alias = optionalAlias();
        }
        s->items.push_back(std::move(item));
    } while (acceptSymbol(","));
    if (acceptWord("INTO")) s->into = objectName();
    if (acceptWord("FROM")) {
        do {
            s->from.push_back(fromItem());
        } while (acceptSymbol(","));
    }
    if (acceptWord("WHERE")) s->where = expression();
    if (acceptWord("GROUP")) {
        expectWord("BY");
        do {
            s->groupBy.push_back(expression());
        } while (acceptSymbol(","));
    }
    if (acceptWord("HAVING")) s->having = expression();
    return s;
}

FromItem Parser::fromItem() {
    FromItem from;
    from.table = tableRef();
    for (;;) {
        Join join;
        if (acceptWord("JOIN")) {
            join.kind = "JOIN";
        } else if (peek().isWord("INNER") && peek(1).isWord("JOIN")) {
            next();
            next();
            join.kind = "JOIN";
        } else if (peek().isWord("LEFT") || peek().isWord("RIGHT") || peek().isWord("FULL")) {
            std::string side = lower(next().text);
            acceptWord("OUTER");
            expectWord("JOIN");
            join.kind = side == "left" ? "LEFT JOIN" : side == "right" ? "RIGHT JOIN" : "FULL JOIN";
        } else if (peek().isWord("CROSS")) {
            next();
            expectWord("JOIN");
            join.kind = "CROSS JOIN";
        } else {
            break;
        }
        join.table = tableRef();
        if (join.kind != "CROSS JOIN") {
            expectWord("ON");
            join.on = expression();
        }
        from.joins.push_back(std::move(join));
    }
    return from;
}

}  // namespace sandbox::tsql
