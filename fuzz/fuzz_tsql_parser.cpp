// The sandbox's T-SQL front: the lexer, the batch parser with every statement family,
// and the translation of a query onto SQLite, all without a database. The first byte sets
// QUOTED_IDENTIFIER (bit 0); the rest is the batch. A syntax error must be a ServerError
// (102, 156, ...): any other exception, a crash, a hang or a stack overflow is a finding.
// A batch that starts with SELECT is also parsed as one query and translated.

#include <cstdint>
#include <string>

#include "catalog/server_error.h"
#include "fuzz_check.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"
#include "tsql/translator.h"

namespace {

using namespace sandbox::tsql;

void translateQuery(std::string_view batch, bool quotedIdentifier) {
    Parser parser(batch, quotedIdentifier);
    if (!parser.peek().isWord("SELECT")) return;
    const std::shared_ptr<Select> select = parser.selectQuery();
    TranslationContext context;
    context.databaseName = "app";
    context.collation = "SQL_Latin1_General_CP1_CI_AS";
    Translator translator(context);
    std::vector<Constant> constants;
    if (batch.size() % 2 == 0) translator.collectConstants(&constants);
    std::vector<std::optional<sandbox::ColumnType>> types;
    const std::string sql = translator.select(*select, &types);
    FUZZ_CHECK(!sql.empty(), std::string(batch));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool quotedIdentifier = (data[0] & 1) != 0;
    const std::string batch(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        const std::vector<Token> tokens = tokenize(batch);
        FUZZ_CHECK(!tokens.empty() && tokens.back().kind == TokenKind::End, batch);
        for (const Token& token : tokens) {
            FUZZ_CHECK(token.begin <= token.end && token.end <= batch.size(), batch);
        }
    } catch (const sandbox::ServerError&) {
    }
    try {
        Parser(batch, quotedIdentifier).parseBatch();
    } catch (const sandbox::ServerError&) {
    }
    try {
        translateQuery(batch, quotedIdentifier);
    } catch (const sandbox::ServerError&) {
    }
    return 0;
}
