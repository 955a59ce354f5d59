// The value formatters of the store: SQLValue, SQLValueForServer, Transform and
// DeTransform on values of every kind. Besides crashes it checks that each literal means
// the value it was made from, read back by the reader of its destination:
// - SQLValueForServer's text literal is one T-SQL string token (the sandbox's lexer)
//   holding the text without its outer blanks;
// - SQLValue's text literal is one store literal (the store's Jet SQL rewriter) holding
//   the same text;
// - DeTransform(Transform(x)) is T-SQL whose string pieces joined with CHAR(39) give the
//   same text, unless the text itself holds "!39", which the kept commands' marker
//   cannot tell from an apostrophe;
// - a date literal is "null" or CONVERT(DATETIME,'yyyy-mm-dd hh:nn:ss',102), and the only
//   error is the type mismatch.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "catalog/server_error.h"
#include "db/error.h"
#include "db/sqlite/jet_sql.h"
#include "fuzz_check.h"
#include "store/sql_value.h"
#include "tsql/lexer.h"

namespace {

using sandbox::tsql::Token;
using sandbox::tsql::TokenKind;

std::string withoutOuterBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

db::Value valueFrom(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return db::Value::integer(in.ConsumeIntegral<std::int64_t>());
        case 1:
            return db::Value::real(in.ConsumeFloatingPoint<double>());
        case 2:
            return db::Value::decimal(in.ConsumeRandomLengthString(40));
        case 3:
            return db::Value::boolean(in.ConsumeBool());
        case 4: {
            const std::string raw = in.ConsumeRandomLengthString(64);
            return db::Value::bytes(db::Bytes(raw.begin(), raw.end()));
        }
        case 5: {
            db::DateTime dt;
            dt.year = in.ConsumeIntegralInRange(-1, 10000);
            dt.month = in.ConsumeIntegralInRange(1, 12);
            dt.day = in.ConsumeIntegralInRange(1, 31);
            dt.hour = in.ConsumeIntegralInRange(0, 23);
            dt.minute = in.ConsumeIntegralInRange(0, 59);
            dt.second = in.ConsumeIntegralInRange(0, 59);
            dt.millisecond = in.ConsumeIntegralInRange(0, 999);
            if (!dt.isValid()) dt.day = 28;  // a record set delivers only real dates
            return db::Value::dateTime(dt);
        }
        case 6:
            return db::Value();
        default:
            return db::Value::text(in.ConsumeRemainingBytesAsString());
    }
}

// The value of T-SQL made of string literals joined by "+ CHAR(39) +"; false when the
// tokens are anything else.
bool tsqlConcatenation(std::string_view sql, std::string& value) {
    std::vector<Token> tokens;
    try {
        tokens = sandbox::tsql::tokenize(sql);
    } catch (const sandbox::ServerError&) {
        return false;
    }
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> const Token& { return tokens[std::min(k, tokens.size() - 1)]; };
    if (at(i).kind != TokenKind::String) return false;
    value = at(i++).text;
    while (at(i).isSymbol("+")) {
        if (!(at(i + 1).isWord("CHAR") && at(i + 2).isSymbol("(") && at(i + 3).text == "39" &&
              at(i + 4).isSymbol(")") && at(i + 5).isSymbol("+") &&
              at(i + 6).kind == TokenKind::String)) {
            return false;
        }
        value += '\'';
        value += at(i + 6).text;
        i += 7;
    }
    return at(i).kind == TokenKind::End;
}

// The text the store's rewriter binds for a store literal; false when it is no single
// text literal.
bool storeLiteralValue(const std::string& literal, std::string& value) {
    static const db::sqlite::JetSqlRewriter rewriter([](std::string_view) { return false; });
    const auto insert = rewriter.parameterizeInsert("INSERT INTO t (a) VALUES (" + literal + ")");
    if (!insert || insert->parameters.size() != 1 ||
        insert->parameters[0].kind != db::sqlite::BoundValue::Kind::Text ||
        insert->shape != "INSERT INTO t (a) VALUES (?)") {
        return false;
    }
    value = insert->parameters[0].text;
    return true;
}

void checkText(const std::string& text) {
    const std::string trimmed = withoutOuterBlanks(text);

    const std::string server = store::SQLValueForServer(text, store::kSqlText);
    if (text.empty()) {
        FUZZ_CHECK(server == "null", server);
    } else {
        const std::vector<Token> tokens = sandbox::tsql::tokenize(server);
        FUZZ_CHECK(tokens.size() == 2 && tokens[0].kind == TokenKind::String &&
                       tokens[0].text == trimmed && tokens[1].kind == TokenKind::End,
                   server);
    }

    const std::string forStore = store::SQLValue(text, store::kSqlText);
    if (!text.empty() && text.find('\0') == std::string::npos) {
        std::string stored;
        FUZZ_CHECK(storeLiteralValue(forStore, stored) && stored == trimmed, forStore);
    }

    const db::Value value = db::Value::text(text);
    const std::string kept = store::Transform(value);
    const std::string replay = store::DeTransform(kept);
    if (text.empty()) {
        FUZZ_CHECK(kept == "null" && replay == "null", kept);
    } else if (trimmed.find("!39") == std::string::npos) {
        std::string meant;
        FUZZ_CHECK(tsqlConcatenation(replay, meant) && meant == trimmed, replay);
    }
    FUZZ_CHECK(store::UnmarkApostrophes(store::MarkApostrophes(trimmed)) == trimmed ||
                   trimmed.find("!39") != std::string::npos,
               trimmed);
}

void checkDate(const db::Value& value) {
    std::string literal;
    try {
        literal = store::SQLValue(value, store::kSqlDate);
    } catch (const db::Error& e) {
        FUZZ_CHECK(e.number() == 13, e.description());
        return;
    }
    if (literal == "null") return;
    constexpr std::string_view kHead = "CONVERT(DATETIME,'";
    constexpr std::string_view kTail = "',102)";
    FUZZ_CHECK(literal.size() == kHead.size() + 19 + kTail.size() &&
                   literal.compare(0, kHead.size(), kHead) == 0 &&
                   literal.compare(literal.size() - kTail.size(), kTail.size(), kTail) == 0,
               literal);
    const auto parsed = db::DateTime::parse(literal.substr(kHead.size(), 19));
    FUZZ_CHECK(parsed && parsed->isValid() && parsed->year >= 1500, literal);
}

void checkNumber(const db::Value& value) {
    const std::string literal = store::SQLValue(value, store::kSqlNumber);
    FUZZ_CHECK(literal.find(',') == std::string::npos, literal);
    if (value.kind() == db::Value::Kind::Integer) {
        std::string appended;
        store::AppendSQLValue(appended, value, store::kSqlNumber);
        FUZZ_CHECK(appended == literal, appended + " / " + literal);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // First byte even: the rest is a text; odd: a value of any kind made from the rest.
    if ((data[0] & 1) == 0) {
        checkText(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
        return 0;
    }
    FuzzedDataProvider in(data + 1, size - 1);
    const db::Value value = valueFrom(in);
    checkDate(value);
    checkNumber(value);
    for (const int kind : {0, store::kSqlText, 4}) {
        const std::string literal = store::SQLValue(value, kind);
        if (kind != store::kSqlText) FUZZ_CHECK(literal.empty(), literal);
    }
    store::SQLValueForServer(value, store::kSqlText);
    store::SQLTextKeepingBlanks(value);
    store::DeTransform(value);
    store::IsNumeric(value);
    store::NameForStatement(value.toText());
    store::LowerCase(value.toText());
    return 0;
}
