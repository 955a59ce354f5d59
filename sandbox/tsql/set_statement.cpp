#include <array>

#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// The ON/OFF options a client may set. Those that change what a client sees are kept
// in SessionOptions; the others are accepted and have no effect here.
constexpr std::array<std::string_view, 27> kSwitches = {
    "ANSI_NULLS", "ANSI_PADDING", "ANSI_WARNINGS", "ARITHABORT", "ARITHIGNORE", "CONCAT_NULL_YIELDS_NULL",
    "QUOTED_IDENTIFIER", "NUMERIC_ROUNDABORT", "ANSI_NULL_DFLT_ON", "ANSI_NULL_DFLT_OFF", "ANSI_DEFAULTS",
    "CURSOR_CLOSE_ON_COMMIT", "IMPLICIT_TRANSACTIONS", "XACT_ABORT", "NOCOUNT", "FMTONLY", "NOEXEC",
    "PARSEONLY", "SHOWPLAN_TEXT", "SHOWPLAN_ALL", "FORCEPLAN", "NO_BROWSETABLE", "REMOTE_PROC_TRANSACTIONS",
    "STATISTICS", "OFFSETS", "NOCHECK", "DISABLE_DEF_CNST_CHK"};

constexpr std::array<std::string_view, 8> kValued = {"TEXTSIZE", "ROWCOUNT", "DATEFORMAT", "DATEFIRST",
                                                      "LANGUAGE", "LOCK_TIMEOUT", "DEADLOCK_PRIORITY",
                                                      "QUERY_GOVERNOR_COST_LIMIT"};

class SetOptionsStatement : public Statement {
public:
    std::vector<std::string> switches;  // upper-case names
    bool on = true;
    std::string valued;                 // TEXTSIZE, ROWCOUNT, ...
    std::int64_t number = 0;

    void execute(ExecContext& context) override {
        SessionOptions& o = context.session().options;
        for (const auto& name : switches) {
            if (name == "ANSI_NULLS") o.ansiNulls = on;
            else if (name == "QUOTED_IDENTIFIER") o.quotedIdentifier = on;
            else if (name == "NOCOUNT") o.nocount = on;
            else if (name == "ANSI_PADDING") o.ansiPadding = on;
            else if (name == "ANSI_WARNINGS") o.ansiWarnings = on;
            else if (name == "CONCAT_NULL_YIELDS_NULL") o.concatNullYieldsNull = on;
            else if (name == "ANSI_NULL_DFLT_ON") o.ansiNullDefault = on;
            else if (name == "ANSI_NULL_DFLT_OFF") o.ansiNullDefault = !on;
            else if (name == "FMTONLY") o.fmtOnly = on;
            else if (name == "ANSI_DEFAULTS") {
                o.ansiNulls = o.quotedIdentifier = o.ansiPadding = o.ansiWarnings = o.ansiNullDefault = on;
            }
        }
        if (valued == "TEXTSIZE") o.textSize = number <= 0 ? 2147483647 : number;
        if (valued == "ROWCOUNT") o.rowCount = number;
        if (valued == "LOCK_TIMEOUT") o.lockTimeoutMs = number < 0 ? -1 : number;
        context.done(false);
    }
};

// SET IDENTITY_INSERT table ON|OFF, with SQL Server's rules: one table per session, and
// only tables that have an identity column.
class SetIdentityInsertStatement : public Statement {
public:
    ObjectName table;
    bool on = true;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = db.table(table.name());
        if (!info || info->xtype != "U")
            throw ServerError(err::kInvalidObject, 16, "Invalid object name '" + table.name() + "'.", 1, ErrorScope::Batch);
        if (!info->identity)
            throw ServerError(err::kNoIdentityProperty, 16, "Table '" + info->name +
                                                                "' does not have the identity property. Cannot perform SET operation.");
        auto& current = context.session().identityInsert;
        if (on) {
            if (current && !(current->tableId == info->id && iequals(current->database, db.name())))
                throw ServerError(err::kIdentityInsertOtherTable, 16,
                                  "IDENTITY_INSERT is already ON for table '" + current->database + ".dbo." +
                                      current->tableName + "'. Cannot perform SET operation for table '" + info->name + "'.");
            current = IdentityInsertTable{db.name(), info->id, info->name};
        } else if (current && current->tableId == info->id && iequals(current->database, db.name())) {
            current.reset();
        }
        context.done(false);
    }
};

bool isSwitch(const Token& t) {
    for (auto s : kSwitches)
        if (t.isWord(s)) return true;
    return false;
}

}  // namespace

std::unique_ptr<Statement> parseSet(Parser& p) {
    p.expectWord("SET");
    if (p.acceptWord("IDENTITY_INSERT")) {
        auto s = std::make_unique<SetIdentityInsertStatement>();
        s->table = p.objectName();
        if (p.acceptWord("ON")) s->on = true;
        else if (p.acceptWord("OFF")) s->on = false;
        else p.syntaxError();
        return s;
    }
    if (p.peek().isWord("TRANSACTION")) {
        // SET TRANSACTION ISOLATION LEVEL ...: one writer at a time makes every level hold.
        p.next();
        p.expectWord("ISOLATION");
        p.expectWord("LEVEL");
        while (p.peek().kind == TokenKind::Word && !p.isStatementStart(p.peek())) p.next();
        return std::make_unique<SetOptionsStatement>();
    }
    auto s = std::make_unique<SetOptionsStatement>();
    for (auto v : kValued) {
        if (p.peek().isWord(v)) {
            s->valued = upperName(p.next().text);
            const Token& value = p.peek();
            if (value.kind == TokenKind::Integer) {
                s->number = p.integerLiteral();
            } else if (value.isSymbol("-") && p.peek(1).kind == TokenKind::Integer) {
                p.next();
                s->number = -p.integerLiteral();
            } else if (value.kind == TokenKind::Word || value.kind == TokenKind::String ||
                       value.kind == TokenKind::Bracketed) {
                p.next();
            } else {
                p.syntaxError();
            }
            return s;
        }
    }
    if (p.peek().kind == TokenKind::Variable) return parseSetVariable(p);
    do {
        if (!isSwitch(p.peek())) p.syntaxError();
        std::string name = upperName(p.next().text);
        if (name == "STATISTICS") {
            if (p.peek().kind != TokenKind::Word) p.syntaxError();
            p.next();
        }
        s->switches.push_back(name);
    } while (p.acceptSymbol(","));
    if (p.acceptWord("ON")) s->on = true;
    else if (p.acceptWord("OFF")) s->on = false;
    else p.syntaxError();
    for (const auto& name : s->switches)
        if (name == "QUOTED_IDENTIFIER" || name == "ANSI_DEFAULTS") p.setQuotedIdentifier(s->on);
    return s;
}

}  // namespace sandbox::tsql
