#include "catalog/server_error.h"
#include "tsql/batch_runner.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

using Block = std::vector<std::unique_ptr<Statement>>;

// IF condition statement [ELSE statement], where a statement may be BEGIN ... END. The
// chosen branch runs as the rest of the batch would: its errors are reported and, where
// SQL Server ends the batch, they end the caller's batch too.
// Example: IF EXISTS(SELECT * FROM tbX) EXEC('INSERT INTO Tmp_tbX(id) SELECT id FROM tbX').
class IfStatement : public Statement {
public:
    ExprPtr condition;
    Block whenTrue;
    Block whenFalse;

    void execute(ExecContext& context) override {
        TranslationContext names = context.translation();
        Translator translator(names);
        std::string sql = "SELECT CASE WHEN " + translator.expression(*condition).sql + " THEN 1 ELSE 0 END";
        bool holds = false;
        {
            StatementLease stmt(context.prepare(sql, &translator));
            if (context.step(stmt.get(), &translator)) holds = sqlite3_column_int(stmt.get(), 0) != 0;
        }
        if (!runStatements(context, holds ? whenTrue : whenFalse)) throw BatchAborted{};
    }
};

bool beginsBlock(const Parser& p) {
    return p.peek().isWord("BEGIN") && !p.peek(1).isWord("TRAN") && !p.peek(1).isWord("TRANSACTION") &&
           !p.peek(1).isWord("DISTRIBUTED");
}

// One statement, or BEGIN statements END.
Block parseBranch(Parser& p) {
    Block block;
    if (!beginsBlock(p)) {
        block.push_back(p.statement());
        return block;
    }
    p.next();
    while (!p.peek().isWord("END")) {
        if (p.acceptSymbol(";")) continue;
        if (p.peek().kind == TokenKind::End) p.syntaxError();
        block.push_back(p.statement());
        if (!p.atStatementEnd() && !p.peek().isWord("END")) p.syntaxError();
    }
    p.expectWord("END");
    return block;
}

}  // namespace

std::unique_ptr<Statement> parseIf(Parser& p) {
    p.expectWord("IF");
    auto s = std::make_unique<IfStatement>();
    s->condition = p.expression();
    s->whenTrue = parseBranch(p);
    if (p.acceptWord("ELSE")) s->whenFalse = parseBranch(p);
    return s;
}

}  // namespace sandbox::tsql
