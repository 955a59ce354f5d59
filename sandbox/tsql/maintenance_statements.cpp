// Statements and procedures that install scripts send for the server's housekeeping:
// CHECKPOINT, UPDATE STATISTICS and sp_dboption. SQLite keeps no statistics to refresh and
// writes its log by itself, so they are accepted, checking what SQL Server checks.
#include <array>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

// The database options sp_dboption knows in SQL Server 2000.
constexpr std::array<std::string_view, 23> kDatabaseOptions = {"ANSI null default",
                                                               "ANSI nulls",
                                                               "ANSI padding",
                                                               "ANSI warnings",
                                                               "arithabort",
                                                               "auto create statistics",
                                                               "auto update statistics",
                                                               "autoclose",
                                                               "autoshrink",
                                                               "concat null yields null",
                                                               "cursor close on commit",
                                                               "dbo use only",
                                                               "default to local cursor",
                                                               "merge publish",
                                                               "numeric roundabort",
                                                               "offline",
                                                               "published",
                                                               "quoted identifier",
                                                               "read only",
                                                               "recursive triggers",
                                                               "select into/bulkcopy",
                                                               "single user",
                                                               "trunc. log on chkpt."};

// CHECKPOINT: accepted.
class CheckpointStatement : public Statement {
public:
    void execute(ExecContext& context) override { context.done(false); }
};

// UPDATE STATISTICS table [index | (statistics)] [WITH ...]: the table must exist.
class UpdateStatisticsStatement : public Statement {
public:
    ObjectName table;

    void execute(ExecContext& context) override {
        auto info = context.db().table(table.name());
        if (!info) raiseInvalidObject(table);
        context.done(false);
    }
};

}  // namespace

std::unique_ptr<Statement> parseCheckpoint(Parser& p) {
    p.expectWord("CHECKPOINT");
    return std::make_unique<CheckpointStatement>();
}

std::unique_ptr<Statement> parseUpdateStatistics(Parser& p) {
    p.expectWord("UPDATE");
    p.expectWord("STATISTICS");
    auto s = std::make_unique<UpdateStatisticsStatement>();
    s->table = p.objectName();
    if (p.acceptSymbol("(")) {
        do {
            p.identifier();
        } while (p.acceptSymbol(","));
        p.expectSymbol(")");
    } else if (p.isIdentifierToken(p.peek())) {
        p.identifier();
    }
    if (p.acceptWord("WITH")) {
        do {
            p.next();
            if (p.acceptSymbol("="))
                p.next();
            else if (p.peek().kind == TokenKind::Integer) {
                p.next();
                if (!p.acceptWord("PERCENT")) p.acceptWord("ROWS");
            }
        } while (p.acceptSymbol(","));
    }
    return s;
}

// sp_dboption [@dbname [, @optname [, @optvalue]]]: the database and option must exist
// and the value be true, false, on or off (15010, 15011, 15241); the option itself has no
// effect here.
void spDboption(ExecContext& context, const ProcedureCall& call) {
    auto database = call.argument(0, "@dbname");
    if (!database) return;
    if (!context.databases().find(*database))
        throw ServerError(15010, 16,
                          "The database '" + *database +
                              "' does not exist. Use sp_helpdb to show available databases.");
    auto option = call.argument(1, "@optname");
    if (!option) return;
    bool known = false;
    for (auto o : kDatabaseOptions)
        if (iequals(o, *option)) known = true;
    if (!known)
        throw ServerError(
            15011, 16,
            "Database option '" + *option + "' does not exist. Specify a valid database option.");
    auto value = call.argument(2, "@optvalue");
    if (!value) return;
    if (!iequals(*value, "true") && !iequals(*value, "false") && !iequals(*value, "on") &&
        !iequals(*value, "off"))
        throw ServerError(15241, 16, "Usage: sp_dboption [dbname [,optname [,'true' | 'false']]]");
}

}  // namespace sandbox::tsql
