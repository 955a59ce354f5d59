#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {
namespace {

// USE db: the session's current database changes; the client is told with an
// environment change and INFO 5701.
class UseStatement : public Statement {
public:
    explicit UseStatement(std::string name) : m_name(std::move(name)) {}
    void execute(ExecContext& context) override {
        Database* target = context.databases().find(m_name);
        if (!target)
            throw ServerError(911, 16, "Could not locate entry in sysdatabases for database '" + m_name +
                                           "'. No entry found with that name. Make sure that the name is entered correctly.");
        std::string old = context.session().database;
        context.session().database = target->name();
        context.response().items.emplace_back(DatabaseChange{old, target->name()});
        context.info(5701, "Changed database context to '" + target->name() + "'.");
        context.done(false);
    }

private:
    std::string m_name;
};

// CREATE DATABASE name [ON ...] [LOG ON ...] [COLLATE name]: file definitions are
// accepted and ignored; the database is one SQLite file in the data folder. With COLLATE
// the new database's default collation is that one (448 for a collation SQL Server does
// not know, before anything is created), otherwise the server's.
class CreateDatabaseStatement : public Statement {
public:
    CreateDatabaseStatement(std::string name, std::string collation)
        : m_name(std::move(name)), m_collation(std::move(collation)) {}
    void execute(ExecContext& context) override {
        if (!m_collation.empty()) {
            CollationRules rules;
            if (!parseCollation(m_collation, rules)) throw ServerError(448, 16, "Invalid collation '" + m_collation + "'.");
        }
        context.databases().create(m_name, m_collation);
        context.done(false);
    }

private:
    std::string m_name;
    std::string m_collation;
};

// PRINT expression: an informational message with number 0.
class PrintStatement : public Statement {
public:
    explicit PrintStatement(ExprPtr expr) : m_expr(std::move(expr)) {}
    void execute(ExecContext& context) override {
        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        std::string sql = "SELECT " + translator.expression(*m_expr).sql;
        StatementLease stmt(context.prepare(sql, &translator));
        bindConstants(stmt.get(), constants);
        std::string text;
        if (context.step(stmt.get(), &translator)) {
            StoredValue v = fromSqlite(sqlite3_column_value(stmt.get(), 0));
            ColumnType varchar = *makeColumnType("varchar", 8000, std::nullopt);
            text = convertTo(varchar, v, ConversionMode::Convert).bytes;
        }
        context.response().items.emplace_back(Message{0, 1, 0, text, {}, line});
    }

private:
    ExprPtr m_expr;
};

}  // namespace

std::unique_ptr<Statement> parseUse(Parser& p) {
    p.expectWord("USE");
    return std::make_unique<UseStatement>(p.identifier());
}

std::unique_ptr<Statement> parseCreateDatabase(Parser& p) {
    p.expectWord("CREATE");
    p.expectWord("DATABASE");
    std::string name = p.identifier();
    // File definitions and LOG ON: accepted as written.
    std::string collation;
    int depth = 0;
    while (p.peek().kind != TokenKind::End) {
        const Token& t = p.peek();
        if (t.isSymbol("(")) ++depth;
        if (t.isSymbol(")")) --depth;
        if (depth == 0 && (t.isSymbol(";") || (p.isStatementStart(t) && !t.isWord("ON")))) break;
        if (depth == 0 && t.isWord("COLLATE")) {
            p.next();
            collation = p.identifier();
            continue;
        }
        p.next();
    }
    return std::make_unique<CreateDatabaseStatement>(name, collation);
}

std::unique_ptr<Statement> parsePrint(Parser& p) {
    p.expectWord("PRINT");
    return std::make_unique<PrintStatement>(p.expression());
}

}  // namespace sandbox::tsql
