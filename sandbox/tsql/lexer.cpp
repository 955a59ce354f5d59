#include "tsql/lexer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_set>

#include "catalog/server_error.h"
#include "catalog/text_util.h"

namespace sandbox::tsql {
namespace {

bool isWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool isWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80; }

constexpr std::array<std::string_view, 200> kReserved = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
    "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE",
    "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE",
    "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC",
    "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP", "DUMMY", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE",
    "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN", "FREETEXT",
    "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING", "HOLDLOCK", "IDENTITY",
    "IDENTITY_INSERT", "IDENTITYCOL", "IF", "IN", "INDEX", "INNER", "INSERT", "INTERSECT", "INTO", "IS", "JOIN",
    "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD", "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL",
    "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML",
    "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PLAN", "PRECISION", "PRIMARY", "PRINT", "PROC",
    "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES", "REPLICATION",
    "RESTORE", "RESTRICT", "RETURN", "REVOKE", "RIGHT", "ROLLBACK", "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE",
    "SCHEMA", "SELECT", "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER",
    "TABLE", "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TSEQUAL", "UNION",
    "UNIQUE", "UPDATE", "UPDATETEXT", "USE", "USER", "VALUES", "VARYING", "VIEW", "WAITFOR", "WHEN", "WHERE",
    "WHILE", "WITH", "WRITETEXT"};

[[noreturn]] void unclosedQuote(const std::string& rest) {
    throw ServerError(105, 15, "Unclosed quotation mark before the character string '" + rest + "'.", 1,
                      ErrorScope::Batch);
}

// Reads a quoted run that starts at k, where a doubled closing character stands for itself;
// returns the position after the closing character. The value is sized before it is
// copied, in runs: a literal may be megabytes long.
std::size_t readQuoted(std::string_view s, std::size_t k, char close, std::string& value) {
    std::size_t end = k;
    std::size_t length = 0;
    for (;;) {
        const std::size_t at = s.find(close, end);
        if (at == std::string_view::npos) {
            std::string rest;  // as far as it goes, a doubled character read once
            for (std::size_t i = k; i < s.size(); ++i) {
                rest += s[i];
                if (s[i] == close) ++i;
            }
            unclosedQuote(rest);
        }
        length += at - end;
        if (at + 1 < s.size() && s[at + 1] == close) {
            ++length;
            end = at + 2;
            continue;
        }
        end = at;
        break;
    }
    value.reserve(length);
    while (k < end) {
        const std::size_t at = std::min(s.find(close, k), end);
        value.append(s.substr(k, at - k));
        if (at == end) break;
        value += close;  // the first of a doubled pair
        k = at + 2;
    }
    return end + 1;
}

}  // namespace

bool Token::isWord(std::string_view keyword) const { return kind == TokenKind::Word && iequals(text, keyword); }

bool isReservedKeyword(std::string_view word) {
    // Asked for nearly every token, so looked up in a hash set of upper-case names.
    static const std::unordered_set<std::string> kSet = [] {
        std::unordered_set<std::string> set;
        for (auto k : kReserved)
            if (!k.empty()) set.emplace(k);
        return set;
    }();
    if (word.empty() || word.size() > 32) return false;
    return kSet.count(upperName(word)) > 0;
}

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    int line = 1;
    auto countLines = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to && k < s.size(); ++k)
            if (s[k] == '\n') ++line;
    };
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            if (c == '\n') ++line;
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            int depth = 0;
            std::size_t start = i;
            while (i < s.size()) {
                if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
                    ++depth;
                    i += 2;
                } else if (s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/') {
                    i += 2;
                    if (--depth == 0) break;
                } else {
                    ++i;
                }
            }
            if (depth > 0) throw ServerError(113, 15, "Missing end comment mark '*/'.", 1, ErrorScope::Batch);
            countLines(start, i);
            continue;
        }
        Token t;
        t.begin = i;
        t.line = line;
        bool nString = (c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'';
        if (c == '\'' || nString || c == '[' || c == '"') {
            t.kind = nString ? TokenKind::NString
                     : c == '['    ? TokenKind::Bracketed
                     : c == '"'    ? TokenKind::DoubleQuoted
                                   : TokenKind::String;
            const std::size_t open = i + (nString ? 1 : 0);
            const std::size_t k = readQuoted(s, open + 1, s[open] == '[' ? ']' : s[open], t.text);
            countLines(i, k);
            i = k;
        } else if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
            t.kind = TokenKind::Binary;
            std::size_t k = i + 2;
            while (k < s.size() && std::isxdigit(static_cast<unsigned char>(s[k]))) ++k;
            t.text = std::string(s.substr(i + 2, k - i - 2));
            i = k;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            std::size_t k = i;
            bool number = false;
            while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
            if (k < s.size() && s[k] == '.') {
                number = true;
                ++k;
                while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
            }
            if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
                std::size_t e = k + 1;
                if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
                if (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) {
                    number = true;
                    k = e;
                    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
                }
            }
            t.kind = number ? TokenKind::Number : TokenKind::Integer;
            t.text = std::string(s.substr(i, k - i));
            i = k;
        } else if (c == '$' && i + 1 < s.size() &&
                   (std::isdigit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '.')) {
            // A money constant: $20.00, $.5.
            std::size_t k = i + 1;
            while (k < s.size() && (std::isdigit(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
            t.kind = TokenKind::Money;
            t.text = std::string(s.substr(i + 1, k - i - 1));
            i = k;
        } else if (c == '@') {
            bool system = i + 1 < s.size() && s[i + 1] == '@';
            std::size_t k = i + (system ? 2 : 1);
            while (k < s.size() && isWordChar(static_cast<unsigned char>(s[k]))) ++k;
            t.kind = system ? TokenKind::SystemVariable : TokenKind::Variable;
            t.text = std::string(s.substr(i, k - i));
            i = k;
        } else if (isWordStart(c)) {
            std::size_t k = i;
            while (k < s.size() && isWordChar(static_cast<unsigned char>(s[k]))) ++k;
            t.kind = TokenKind::Word;
            t.text = std::string(s.substr(i, k - i));
            i = k;
        } else {
            t.kind = TokenKind::Symbol;
            static constexpr std::array<std::string_view, 8> kTwo = {"<>", "!=", "<=", ">=", "!<", "!>", "*=", "=*"};
            std::string_view two = s.substr(i, 2);
            bool matched = false;
            for (auto op : kTwo)
                if (two == op) matched = true;
            t.text = std::string(s.substr(i, matched ? 2 : 1));
            i += t.text.size();
        }
        t.end = i;
        out.push_back(std::move(t));
    }
    Token end;
    end.kind = TokenKind::End;
    end.begin = end.end = s.size();
    end.line = line;
    out.push_back(end);
    return out;
}

}  // namespace sandbox::tsql
