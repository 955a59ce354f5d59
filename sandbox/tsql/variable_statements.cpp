// DECLARE @v type, SET @v = expr and SELECT @v = expr [, ...] [FROM ...]: the local
// variables of a batch. SET and SELECT convert the value to the variable's type as CONVERT
// would (a text too long for it is cut).
#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// DECLARE: its variables exist from the start of the batch (see Program), so running it
// does nothing, as on SQL Server (a DECLARE inside a loop does not reset the value).
class DeclareStatement : public Statement {
public:
    void execute(ExecContext&) override {}
};

Variable& variableOf(ExecContext& context, const std::string& name) {
    Variable* v = context.variables() ? context.variables()->find(name) : nullptr;
    if (!v)
        throw ServerError(137, 15, "Must declare the variable '" + name + "'.", 2,
                          ErrorScope::Batch);
    return *v;
}

// SET @v = expression (a subquery included).
class SetVariableStatement : public Statement {
public:
    std::string name;
    ExprPtr value;

    void execute(ExecContext& context) override {
        Variable& v = variableOf(context, name);
        std::vector<StoredValue> values = evaluateConstants(context, {value.get()});
        context.variables()->assign(v, values.empty() ? StoredValue::null() : values[0]);
    }
};

// SELECT @a = x, @b = y [FROM ...]: assigns instead of returning rows; its count is the
// number of rows read.
class AssigningSelect : public Statement {
public:
    explicit AssigningSelect(std::shared_ptr<Select> query) : m_query(std::move(query)) {}
    void execute(ExecContext& context) override;

private:
    std::shared_ptr<Select> m_query;
};

void AssigningSelect::execute(ExecContext& context) {
    TranslationContext names = context.translation();
    Translator translator(names);
    std::vector<Constant> constants;
    translator.collectConstants(&constants);
    const std::string sql = translator.select(*m_query);
    std::vector<Variable*> targets;
    for (const auto& item : m_query->items) targets.push_back(&variableOf(context, item.variable));
    StatementLease stmt(context.prepare(sql, &translator));
    bindConstants(stmt.get(), constants);
    std::int64_t rows = 0;
    // Every row assigns in turn: the variables keep the last row's values; no row leaves
    // them as they were.
    while (context.step(stmt.get(), &translator)) {
        ++rows;
        for (std::size_t i = 0; i < targets.size(); ++i)
            context.variables()->assign(
                *targets[i], fromSqlite(sqlite3_column_value(stmt.get(), static_cast<int>(i))));
    }
    context.done(true, rows);
}

}  // namespace

std::unique_ptr<Statement> makeAssigningSelect(std::shared_ptr<Select> query) {
    return std::make_unique<AssigningSelect>(std::move(query));
}

std::unique_ptr<Statement> parseDeclare(Parser& p) {
    p.expectWord("DECLARE");
    if (p.peek().kind != TokenKind::Variable) return skipUnsupported(p, "DECLARE CURSOR");
    do {
        if (p.peek().kind != TokenKind::Variable) p.syntaxError();
        const Token& name = p.next();
        VariableDeclaration declaration{name.text, {}, name.line};
        p.acceptWord("AS");
        if (p.peek().isWord("TABLE") || p.peek().isWord("CURSOR"))
            return skipUnsupported(p, "DECLARE " + upperName(p.peek().text));
        declaration.type = p.typeName();
        p.declareVariable(std::move(declaration));
    } while (p.acceptSymbol(","));
    return std::make_unique<DeclareStatement>();
}

std::unique_ptr<Statement> parseSetVariable(Parser& p) {
    auto s = std::make_unique<SetVariableStatement>();
    const Token& name = p.next();
    if (!p.isDeclared(name.text))
        throw ServerError(137, 15, "Must declare the variable '" + name.text + "'.", 1,
                          ErrorScope::Batch)
            .atLine(name.line);
    s->name = name.text;
    p.expectSymbol("=");
    s->value = p.expression();
    return s;
}

}  // namespace sandbox::tsql
