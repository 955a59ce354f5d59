#include <array>
#include <string_view>

#include "catalog/text_util.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// Leading keyword(s) -> parse function. An empty second word matches anything. To add a
// statement family, write its file with a parse function and add its row here; the most
// specific row (two words) wins.
struct Entry {
    std::string_view first;
    std::string_view second;
    StatementParser parse;
};

constexpr std::array<Entry, 43> kEntries = {{
    {"SELECT", "", parseSelectStatement},
    {"INSERT", "", parseInsert},
    {"UPDATE", "", parseUpdate},
    {"DELETE", "", parseDelete},
    {"CREATE", "TABLE", parseCreateTable},
    {"CREATE", "INDEX", parseCreateIndex},
    {"CREATE", "UNIQUE", parseCreateIndex},
    {"CREATE", "CLUSTERED", parseCreateIndex},
    {"CREATE", "NONCLUSTERED", parseCreateIndex},
    {"CREATE", "VIEW", parseCreateModule},
    {"CREATE", "PROCEDURE", parseCreateModule},
    {"CREATE", "PROC", parseCreateModule},
    {"CREATE", "FUNCTION", parseCreateModule},
    {"CREATE", "DATABASE", parseCreateDatabase},
    {"DROP", "", parseDrop},
    {"DROP", "INDEX", parseDropIndex},
    {"ALTER", "TABLE", parseAlterTable},
    {"ALTER", "VIEW", parseCreateModule},
    {"ALTER", "PROCEDURE", parseCreateModule},
    {"ALTER", "PROC", parseCreateModule},
    {"ALTER", "FUNCTION", parseCreateModule},
    {"EXEC", "", parseExecute},
    {"EXECUTE", "", parseExecute},
    {"DECLARE", "", parseDeclare},
    {"RAISERROR", "", parseRaiserror},
    {"CHECKPOINT", "", parseCheckpoint},
    {"DBCC", "", parseDbcc},
    {"UPDATE", "STATISTICS", parseUpdateStatistics},
    {"CREATE", "TRIGGER", parseCreateTrigger},
    {"DROP", "TRIGGER", parseDropTrigger},
    {"GRANT", "", parsePermission},
    {"REVOKE", "", parsePermission},
    {"DENY", "", parsePermission},
    {"BACKUP", "", parseBackup},
    {"ALTER", "DATABASE", parseAlterDatabase},
    {"SET", "", parseSet},
    {"USE", "", parseUse},
    {"PRINT", "", parsePrint},
    {"BEGIN", "TRAN", parseBeginTransaction},
    {"BEGIN", "TRANSACTION", parseBeginTransaction},
    {"COMMIT", "", parseCommit},
    {"ROLLBACK", "", parseRollback},
    {"", "", nullptr},
}};

}  // namespace

StatementParser findStatementParser(const Token& first, const Token& second) {
    if (first.kind != TokenKind::Word) return nullptr;
    StatementParser general = nullptr;
    for (const auto& e : kEntries) {
        if (e.first.empty() || !iequals(e.first, first.text)) continue;
        if (e.second.empty()) {
            general = e.parse;
        } else if (second.kind == TokenKind::Word && iequals(e.second, second.text)) {
            return e.parse;
        }
    }
    if (general) return general;
    return parseUnsupported;
}

}  // namespace sandbox::tsql
