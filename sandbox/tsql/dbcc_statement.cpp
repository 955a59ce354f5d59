// DBCC CHECKIDENT ('table' [, NORESEED | RESEED [, value]]) [WITH NO_INFOMSGS]: a table's
// identity value checked or set, with SQL Server 2000's messages:
//   7998 "Checking identity information: current identity value '5', current column value '7'."
//   2528 "DBCC execution completed. If DBCC printed error messages, contact your system administrator."
// NORESEED only reports; RESEED with a value makes it the current identity value (the next
// row gets it plus the increment, or the value itself when no row has been inserted since
// the table was created); RESEED without one, or no option, raises the current
// value to the highest in the column when it is below (for a positive increment; above,
// for a negative one). Refusals: 2501 no such table, 7997 a table without identity. Other
// DBCC commands are not carried out.
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

class CheckIdentStatement : public Statement {
public:
    std::string table;
    bool noReseed = false;
    bool reseed = false;
    std::optional<std::int64_t> value;
    bool noInfoMessages = false;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = db.table(objectNameArgument(table));
        if (!info || info->xtype != "U")
            throw ServerError(2501, 16, "Could not find a table or object named '" + table + "'. Check sysobjects.");
        if (!info->identity)
            throw ServerError(7997, 16, "'" + info->name + "' does not contain an identity column.");
        const IdentityInfo& identity = *info->identity;
        const ColumnInfo* column = nullptr;
        for (const auto& c : info->columns)
            if (c.colid == identity.colid) column = &c;
        if (!column) throw ServerError(7997, 16, "'" + info->name + "' does not contain an identity column.");
        std::optional<std::int64_t> highest;
        {
            const std::string aggregate = identity.increment < 0 ? "MIN" : "MAX";
            sqlite::Statement q(db.handle(), "SELECT " + aggregate + "(" + sqlite::quoteIdentifier(column->name) +
                                                 ") FROM " + sqlite::quoteIdentifier(info->name));
            if (q.step() && !q.isNull(0)) highest = q.integer(0);
        }
        auto text = [](std::optional<std::int64_t> v) { return v ? std::to_string(*v) : std::string("NULL"); };
        const std::optional<std::int64_t> current = identity.current;
        std::string reported = text(highest);
        if (reseed && value) {
            db.setIdentityCurrent(info->id, *value, !current || identity.fresh);
            reported = text(value);
        } else if (!noReseed && highest) {
            const bool behind = !current || (identity.increment < 0 ? *current > *highest : *current < *highest);
            if (behind) db.setIdentityCurrent(info->id, *highest);
        }
        if (!noInfoMessages) {
            context.info(7998, "Checking identity information: current identity value '" + text(current) +
                                   "', current column value '" + reported + "'.");
            context.info(2528,
                         "DBCC execution completed. If DBCC printed error messages, contact your system administrator.");
        }
        context.done(false);
    }
};

}  // namespace

std::unique_ptr<Statement> parseDbcc(Parser& p) {
    p.expectWord("DBCC");
    if (!p.peek().isWord("CHECKIDENT")) return skipUnsupported(p, "DBCC " + upperName(p.peek().text));
    p.next();
    auto s = std::make_unique<CheckIdentStatement>();
    p.expectSymbol("(");
    const Token& table = p.next();
    if (table.kind != TokenKind::String && table.kind != TokenKind::NString && !p.isIdentifierToken(table))
        p.syntaxErrorAt(table);
    s->table = table.text;
    if (p.acceptSymbol(",")) {
        if (p.acceptWord("NORESEED")) {
            s->noReseed = true;
        } else {
            p.expectWord("RESEED");
            s->reseed = true;
            if (p.acceptSymbol(",")) {
                const bool negative = p.acceptSymbol("-");
                const std::int64_t v = p.integerLiteral();
                s->value = negative ? -v : v;
            }
        }
    }
    p.expectSymbol(")");
    if (p.acceptWord("WITH")) {
        p.expectWord("NO_INFOMSGS");
        s->noInfoMessages = true;
    }
    return s;
}

}  // namespace sandbox::tsql
