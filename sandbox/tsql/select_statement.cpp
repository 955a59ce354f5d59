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
        if (m_select->into)
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support the statement SELECT INTO.");
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
    return std::make_unique<SelectStatement>(parser.selectQuery());
}

}  // namespace sandbox::tsql
