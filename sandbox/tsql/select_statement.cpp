#include "catalog/server_error.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// SELECT: translated to SQLite and run there; the rows come back with SQL Server's
// column types (from the catalog for table columns).
class SelectStatement : public Statement {
public:
    explicit SelectStatement(std::shared_ptr<Select> select) : m_select(std::move(select)) {}

    void execute(ExecContext& context) override {
        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        std::vector<std::optional<ColumnType>> itemTypes;
        std::string sql = translator.select(*m_select, &itemTypes);
        bool align = true;
        for (const auto& item : m_select->items)
            if (item.expr->kind == ExprKind::Star) align = false;
        StatementLease stmt(context.prepare(sql, &translator));
        bindConstants(stmt.get(), constants);
        RowSet rows = readRowSet(context, stmt.get(), translator, itemTypes, align);
        auto count = static_cast<std::int64_t>(rows.rows.size());
        context.response().items.emplace_back(std::move(rows));
        context.done(true, count);
    }

private:
    std::shared_ptr<Select> m_select;
};

}  // namespace

std::unique_ptr<Statement> parseSelectStatement(Parser& parser) {
    const int line = parser.peek().line;
    std::shared_ptr<Select> query = parser.selectQuery();
    std::size_t assigning = 0;
    for (const auto& item : query->items)
        if (!item.variable.empty()) ++assigning;
    if (assigning == 0 && query->into) return makeSelectInto(std::move(query));
    if (assigning == 0) return std::make_unique<SelectStatement>(std::move(query));
    if (assigning != query->items.size() || !query->unions.empty())
        throw ServerError(141, 15,
                          "A SELECT statement that assigns a value to a variable must not be combined with "
                          "data-retrieval operations.",
                          1, ErrorScope::Batch)
            .atLine(line);
    return makeAssigningSelect(std::move(query));
}

}  // namespace sandbox::tsql
