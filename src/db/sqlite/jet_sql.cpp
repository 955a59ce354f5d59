#include "db/sqlite/jet_sql.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <unordered_map>
#include <vector>

#include "db/text_encoding.h"

namespace db::sqlite {
namespace {

enum class Tok { Space, Comment, Text, DqText, Quoted, Word, Number, Op, Open, Close, Dot, Comma };

// One lexical token: a view into the statement, or the fixed text that replaces it.
struct Token {
    Tok kind;
    std::string_view source;
    std::string_view replacement = {};  // when not empty, written instead of `source`
    int value = -1;                     // a literal's text: index into TokenList::values
    bool requote = false;               // written as a new literal made from its value
    bool dropped = false;

    std::string_view text() const { return replacement.empty() ? source : replacement; }
};

// The tokens of one SQL text and the texts of its literals, decoded as they are needed.
struct TokenList {
    std::vector<Token> tokens;
    std::vector<std::string> values;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isWordChar(char c) { return isWordStart(c) || isDigit(c) || c == '$'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}

// End of a quoted token starting at `pos` with `quote`; a doubled quote stays inside.
// npos when it is not closed.
std::size_t quotedEnd(std::string_view sql, std::size_t pos, char close, bool doubling) {
    std::size_t i = pos + 1;
    for (;;) {
        const std::size_t at = sql.find(close, i);
        if (at == std::string_view::npos) return at;
        if (doubling && at + 1 < sql.size() && sql[at + 1] == close) {
            i = at + 2;
            continue;
        }
        return at + 1;
    }
}

TokenList tokenize(std::string_view sql) {
    TokenList list;
    std::vector<Token>& tokens = list.tokens;
    tokens.reserve(sql.size() / 8 + 8);
    std::size_t i = 0;
    auto push = [&](Tok kind, std::size_t end) {
        tokens.push_back(Token{kind, sql.substr(i, end - i)});
        i = end;
    };
    // An unclosed quote runs to the end as one token that nothing rewrites; SQLite then
    // reports it as it stands.
    auto pushQuoted = [&](Tok kind, std::size_t end) {
        if (end == std::string_view::npos) {
            push(Tok::Op, sql.size());
        } else {
            push(kind, end);
        }
    };
    while (i < sql.size()) {
        const char c = sql[i];
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (isSpace(c)) {
            std::size_t e = i;
            while (e < sql.size() && isSpace(sql[e])) ++e;
            push(Tok::Space, e);
        } else if (c == '-' && next == '-') {
            const std::size_t nl = sql.find('\n', i);
            push(Tok::Comment, nl == std::string_view::npos ? sql.size() : nl);
        } else if (c == '/' && next == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            push(Tok::Comment, close == std::string_view::npos ? sql.size() : close + 2);
        } else if (c == '\'') {
            pushQuoted(Tok::Text, quotedEnd(sql, i, '\'', true));
        } else if (c == '"') {
            pushQuoted(Tok::DqText, quotedEnd(sql, i, '"', true));
        } else if (c == '[') {
            pushQuoted(Tok::Quoted, quotedEnd(sql, i, ']', false));
        } else if (c == '`') {
            pushQuoted(Tok::Quoted, quotedEnd(sql, i, '`', true));
        } else if (isDigit(c) || (c == '.' && isDigit(next))) {
            std::size_t e = i;
            while (e < sql.size() && isDigit(sql[e])) ++e;
            if (e < sql.size() && sql[e] == '.') {
                ++e;
                while (e < sql.size() && isDigit(sql[e])) ++e;
            }
            if (e < sql.size() && (sql[e] == 'e' || sql[e] == 'E')) {
                std::size_t x = e + 1;
                if (x < sql.size() && (sql[x] == '+' || sql[x] == '-')) ++x;
                if (x < sql.size() && isDigit(sql[x])) {
                    while (x < sql.size() && isDigit(sql[x])) ++x;
                    e = x;
                }
            }
            push(Tok::Number, e);
        } else if (isWordStart(c)) {
            std::size_t e = i;
            while (e < sql.size() && isWordChar(sql[e])) ++e;
            push(Tok::Word, e);
        } else if (c == '(') {
            push(Tok::Open, i + 1);
        } else if (c == ')') {
            push(Tok::Close, i + 1);
        } else if (c == '.') {
            push(Tok::Dot, i + 1);
        } else if (c == ',') {
            push(Tok::Comma, i + 1);
        } else {
            static constexpr std::array<std::string_view, 8> kTwoChar = {"<>", "<=", ">=", "||",
                                                                         "!=", "==", "<<", ">>"};
            const std::string_view two = sql.substr(i, 2);
            const bool pair = std::find(kTwoChar.begin(), kTwoChar.end(), two) != kTwoChar.end();
            push(Tok::Op, i + (pair ? 2 : 1));
        }
    }
    return list;
}

// Appends the text a closed quoted literal stands for: 'O''Neil' -> O'Neil, "a""b" -> a"b.
void appendLiteralValue(std::string_view token, std::string& out) {
    const char quote = token.front();
    const std::string_view body = token.substr(1, token.size() - 2);
    std::size_t from = 0;
    for (std::size_t at; (at = body.find(quote, from)) != std::string_view::npos;) {
        out.append(body, from, at + 1 - from);  // keeps one of the doubled quotes
        from = std::min(at + 2, body.size());
    }
    out.append(body, from, std::string_view::npos);
}

std::string literalValue(std::string_view token) {
    std::string value;
    appendLiteralValue(token, value);
    return value;
}

// Starts a piece that begins with a quote: after a literal that ends where it starts
// (a CHR() or "text" rewritten next to a literal: CHR(39)'s'), a blank keeps the two
// apart, so that SQLite refuses them as Jet does instead of reading one literal with a
// doubled quote ('''''s').
void separateLiterals(std::string& out) {
    if (!out.empty() && out.back() == '\'') out += ' ';
}

// Appends a SQLite text literal for `value`: O'Neil -> 'O''Neil'.
void appendTextLiteral(std::string_view value, std::string& out) {
    separateLiterals(out);
    out += '\'';
    std::size_t from = 0;
    for (std::size_t at; (at = value.find('\'', from)) != std::string_view::npos; from = at + 1) {
        out.append(value, from, at + 1 - from);
        out += '\'';
    }
    out.append(value, from, std::string_view::npos);
    out += '\'';
}

// Words that start or join clauses: a `+` after one of them is a sign, not an operator,
// and none of them is an operand.
bool isKeyword(std::string_view word) {
    static constexpr std::array<std::string_view, 35> kKeywords = {
        "SELECT", "FROM",   "WHERE",    "AND",   "OR",  "NOT",     "SET",    "VALUES", "ON",
        "BY",     "HAVING", "LIKE",     "IN",    "IS",  "BETWEEN", "CASE",   "WHEN",   "THEN",
        "ELSE",   "AS",     "DISTINCT", "UNION", "ALL", "ORDER",   "GROUP",  "INTO",   "UPDATE",
        "DELETE", "INSERT", "JOIN",     "TOP",   "MOD", "RETURN",  "EXISTS", "ESCAPE"};
    return std::any_of(kKeywords.begin(), kKeywords.end(),
                       [&](std::string_view k) { return sameWord(k, word); });
}

bool isTextFunction(std::string_view name) {
    static constexpr std::array<std::string_view, 17> kTextFunctions = {
        "CHR",    "CHR$", "UPPER", "LOWER", "UCASE",   "LCASE", "TRIM",  "LTRIM", "RTRIM",
        "SUBSTR", "MID",  "LEFT",  "RIGHT", "REPLACE", "CHAR",  "QUOTE", "PRINTF"};
    return std::any_of(kTextFunctions.begin(), kTextFunctions.end(),
                       [&](std::string_view k) { return sameWord(k, name); });
}

bool isOp(const Token& t, std::string_view op) { return t.kind == Tok::Op && t.source == op; }

bool isSignificant(const Token& t) {
    return !t.dropped && t.kind != Tok::Space && t.kind != Tok::Comment;
}

// Operators that bind at least as tightly as Jet's `+` on their side of a chain of text
// pieces: folding the chain across them would regroup the expression.
bool bindsBefore(const Token& t) {
    if (t.kind == Tok::Word) return sameWord(t.source, "MOD");
    if (t.kind != Tok::Op) return false;
    return t.source == "*" || t.source == "/" || t.source == "\\" || t.source == "^" ||
           t.source == "-" || t.source == "%";
}
bool bindsAfter(const Token& t) {
    if (t.kind == Tok::Word) return sameWord(t.source, "MOD");
    if (t.kind != Tok::Op) return false;
    return t.source == "*" || t.source == "/" || t.source == "\\" || t.source == "^" ||
           t.source == "%";
}

// Rewrites over the tokens of one statement text; `sig` lists the significant ones.
class Rewrite {
public:
    Rewrite(TokenList& list, const std::function<bool(std::string_view)>& isTextColumn)
        : m_tokens(list.tokens), m_values(list.values), m_isTextColumn(isTextColumn) {}

    void run() {
        collectSignificant();
        replaceConstants();
        foldTextChains();
        collectSignificant();
        const bool plusLeft = std::any_of(m_sig.begin(), m_sig.end(),
                                          [&](std::size_t i) { return isOp(m_tokens[i], "+"); });
        if (!plusLeft) return;  // the usual case: every `+` joined constant pieces
        matchParentheses();
        convertConcatenations();
    }

private:
    Token& sig(std::size_t p) { return m_tokens[m_sig[p]]; }
    bool has(std::size_t p) const { return p < m_sig.size(); }

    void collectSignificant() {
        m_sig.clear();
        m_sig.reserve(m_tokens.size());
        for (std::size_t i = 0; i < m_tokens.size(); ++i) {
            if (isSignificant(m_tokens[i])) m_sig.push_back(i);
        }
    }

    // "text" -> 'text'; True -> (-1); False -> 0.
    void replaceConstants() {
        for (std::size_t p = 0; p < m_sig.size(); ++p) {
            Token& t = sig(p);
            if (t.kind == Tok::DqText) {
                t.value = static_cast<int>(m_values.size());
                m_values.push_back(literalValue(t.source));
                t.requote = true;
                t.kind = Tok::Text;
            } else if (t.kind == Tok::Word && (t.source.size() == 4 || t.source.size() == 5)) {
                const bool qualified =
                    (p > 0 && sig(p - 1).kind == Tok::Dot) ||
                    (has(p + 1) && (sig(p + 1).kind == Tok::Dot || sig(p + 1).kind == Tok::Open));
                if (qualified) continue;
                if (sameWord(t.source, "TRUE")) {
                    t.replacement = "(-1)";
                    t.kind = Tok::Number;
                } else if (sameWord(t.source, "FALSE")) {
                    t.replacement = "0";
                    t.kind = Tok::Number;
                }
            }
        }
    }

    // A constant text piece at `p`: a literal, or CHR(<code>). Appends its text to `out`
    // and gives the position after it; 0 when there is none.
    std::size_t constantPiece(std::size_t p, std::string& out) {
        if (!has(p)) return 0;
        const Token& t = sig(p);
        if (t.kind == Tok::Text && t.value >= 0) {
            out += m_values[static_cast<std::size_t>(t.value)];
            return p + 1;
        }
        if (t.kind == Tok::Text) {
            appendLiteralValue(t.source, out);
            return p + 1;
        }
        if (t.kind == Tok::Word && (sameWord(t.source, "CHR") || sameWord(t.source, "CHR$")) &&
            has(p + 3) && sig(p + 1).kind == Tok::Open && sig(p + 2).kind == Tok::Number &&
            sig(p + 3).kind == Tok::Close) {
            const std::string_view digits = sig(p + 2).text();
            long long code = 0;
            if (digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), isDigit)) return 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), code);
            // CHR(0) stays a call: a NUL byte would end the statement text for SQLite.
            auto text = code == 0 ? std::nullopt : jetChr(code);
            if (!text) return 0;
            out += *text;
            return p + 4;
        }
        return 0;
    }

    // Folds each run of constant text pieces joined by `+` into one literal and keeps
    // the text of every literal for binding.
    void foldTextChains() {
        std::size_t p = 0;
        std::string value;
        while (p < m_sig.size()) {
            value.clear();
            std::size_t end = constantPiece(p, value);
            if (end == 0) {
                ++p;
                continue;
            }
            bool changed = sig(p).kind != Tok::Text;
            while (has(end + 1) && isOp(sig(end), "+")) {
                const std::size_t next = constantPiece(end + 1, value);
                if (next == 0) break;
                end = next;
                changed = true;
            }
            const bool regroups =
                (p > 0 && bindsBefore(sig(p - 1))) || (has(end) && bindsAfter(sig(end)));
            if (changed && regroups) {
                ++p;
                continue;
            }
            Token& first = sig(p);
            if (changed) {
                for (std::size_t i = m_sig[p] + 1; i <= m_sig[end - 1]; ++i)
                    m_tokens[i].dropped = true;
                first.kind = Tok::Text;
                first.requote = true;
            }
            if (first.value < 0) {
                first.value = static_cast<int>(m_values.size());
                m_values.push_back(std::move(value));
            } else {
                m_values[static_cast<std::size_t>(first.value)] = std::move(value);
            }
            p = end;
        }
    }

    void matchParentheses() {
        m_match.assign(m_sig.size(), m_sig.size());
        std::vector<std::size_t> open;
        for (std::size_t p = 0; p < m_sig.size(); ++p) {
            if (sig(p).kind == Tok::Open) {
                open.push_back(p);
            } else if (sig(p).kind == Tok::Close && !open.empty()) {
                m_match[p] = open.back();
                m_match[open.back()] = p;
                open.pop_back();
            }
        }
    }

    bool isOperandWord(std::size_t p) {
        return sig(p).kind == Tok::Word && !isKeyword(sig(p).source);
    }

    bool isFunctionCall(std::size_t open) { return open > 0 && isOperandWord(open - 1); }

    bool nameIsText(std::string_view name) {
        if (name.size() >= 2 && (name.front() == '[' || name.front() == '`'))
            name = name.substr(1, name.size() - 2);
        return m_isTextColumn(name);
    }

    // Whether the bracketed expression opened at `open` yields text.
    bool groupIsText(std::size_t open) {
        if (auto known = m_groupText.find(open); known != m_groupText.end()) return known->second;
        bool text = false;
        if (isFunctionCall(open)) {
            text = isTextFunction(sig(open - 1).source);
        } else {
            const std::size_t close = std::min(m_match[open], m_sig.size());
            for (std::size_t p = open + 1; p < close && !text; ++p) {
                text = operandStartsText(p);
                if (sig(p).kind == Tok::Open) p = m_match[p];
            }
        }
        m_groupText[open] = text;
        return text;
    }

    // Whether the operand that starts at `p` is text.
    bool operandStartsText(std::size_t p) {
        const Token& t = sig(p);
        switch (t.kind) {
            case Tok::Text:
                return true;
            case Tok::Open:
                return groupIsText(p);
            case Tok::Quoted:
            case Tok::Word: {
                if (t.kind == Tok::Word && isKeyword(t.source)) return false;
                if (has(p + 1) && sig(p + 1).kind == Tok::Open)
                    return t.kind == Tok::Word && isTextFunction(t.source);
                std::size_t last = p;
                while (has(last + 2) && sig(last + 1).kind == Tok::Dot &&
                       (sig(last + 2).kind == Tok::Word || sig(last + 2).kind == Tok::Quoted)) {
                    last += 2;
                }
                return nameIsText(sig(last).text());
            }
            default:
                return false;
        }
    }

    // Whether the operand that ends at `p` is text.
    bool operandEndsText(std::size_t p) {
        const Token& t = sig(p);
        switch (t.kind) {
            case Tok::Text:
                return true;
            case Tok::Close:
                return m_match[p] < m_sig.size() && groupIsText(m_match[p]);
            case Tok::Quoted:
                return nameIsText(t.text());
            case Tok::Word:
                return !isKeyword(t.source) && nameIsText(t.source);
            default:
                return false;
        }
    }

    bool endsOperand(std::size_t p) {
        switch (sig(p).kind) {
            case Tok::Text:
            case Tok::Number:
            case Tok::Close:
            case Tok::Quoted:
                return true;
            case Tok::Word:
                return !isKeyword(sig(p).source);
            default:
                return false;
        }
    }

    void convertConcatenations() {
        // One flag per bracket depth: the expression so far at that depth is a concatenation.
        std::vector<bool> chain{false};
        for (std::size_t p = 0; p < m_sig.size(); ++p) {
            Token& t = sig(p);
            if (t.kind == Tok::Open) {
                chain.push_back(false);
                continue;
            }
            if (t.kind == Tok::Close) {
                if (chain.size() > 1) chain.pop_back();
                continue;
            }
            if (isOp(t, "+")) {
                const bool binary = p > 0 && endsOperand(p - 1);
                if (binary && (chain.back() || operandEndsText(p - 1) ||
                               (has(p + 1) && operandStartsText(p + 1)))) {
                    t.replacement = "||";
                    chain.back() = true;
                }
                continue;
            }
            const bool operandPart = t.kind == Tok::Text || t.kind == Tok::Number ||
                                     t.kind == Tok::Quoted || t.kind == Tok::Dot ||
                                     isOperandWord(p);
            if (!operandPart) chain.back() = false;
        }
    }

    std::vector<Token>& m_tokens;
    std::vector<std::string>& m_values;
    const std::function<bool(std::string_view)>& m_isTextColumn;
    std::vector<std::size_t> m_sig;
    std::vector<std::size_t> m_match;
    std::unordered_map<std::size_t, bool> m_groupText;
};

// Statements without `+`, double quotes or a True/False word need no rewriting.
bool mayNeedRewrite(std::string_view sql) {
    if (sql.find_first_of("+\"") != std::string_view::npos) return true;
    for (std::size_t i = 0; i + 4 <= sql.size(); ++i) {
        const char c = upper(sql[i]);
        if ((c == 'T' && sameWord(sql.substr(i, 4), "TRUE")) ||
            (c == 'F' && i + 5 <= sql.size() && sameWord(sql.substr(i, 5), "FALSE"))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> jetChr(long long code) {
    if (code < 0 || code > 255) return std::nullopt;
    std::string out;
    appendUtf8(out, windows1252CodePoint(static_cast<unsigned char>(code)));
    return out;
}

JetSqlRewriter::JetSqlRewriter(std::function<bool(std::string_view)> isTextColumn)
    : m_isTextColumn(std::move(isTextColumn)) {}

std::string JetSqlRewriter::rewrite(std::string_view jetSql) const {
    if (!mayNeedRewrite(jetSql)) return std::string(jetSql);
    TokenList list = tokenize(jetSql);
    Rewrite(list, m_isTextColumn).run();
    std::string out;
    out.reserve(jetSql.size());
    for (const Token& t : list.tokens) {
        if (t.dropped) continue;
        if (t.requote) {
            appendTextLiteral(list.values[static_cast<std::size_t>(t.value)], out);
        } else {
            if (t.text().starts_with('\'')) separateLiterals(out);
            out += t.text();
        }
    }
    return out;
}

std::optional<ParameterizedSql> JetSqlRewriter::parameterizeInsert(std::string_view jetSql) const {
    TokenList list = tokenize(jetSql);
    bool insert = false;
    bool first = true;
    for (const Token& t : list.tokens) {
        if (!isSignificant(t)) continue;
        if (first) {
            insert = t.kind == Tok::Word && sameWord(t.source, "INSERT");
            first = false;
        }
        // Another statement, or parameters of the caller's own: leave the text alone.
        if (t.kind == Tok::Op && (t.source == ";" || t.source == "?" || t.source == ":" ||
                                  t.source == "@" || t.source == "$")) {
            return std::nullopt;
        }
    }
    if (!insert) return std::nullopt;
    Rewrite(list, m_isTextColumn).run();

    ParameterizedSql result;
    result.shape.reserve(jetSql.size() / 2);
    bool inValues = false;
    for (Token& t : list.tokens) {
        if (t.dropped) continue;
        if (!inValues) {
            inValues = t.kind == Tok::Word && sameWord(t.source, "VALUES");
        } else if (t.kind == Tok::Text) {
            BoundValue value;
            if (t.value >= 0) {
                value.text = std::move(list.values[static_cast<std::size_t>(t.value)]);
            } else {
                value.text = literalValue(t.source);
            }
            result.parameters.push_back(std::move(value));
            result.shape += '?';
            continue;
        } else if (t.kind == Tok::Number && t.replacement.empty()) {
            BoundValue value;
            const char* begin = t.source.data();
            const char* end = begin + t.source.size();
            if (std::all_of(begin, end, isDigit) &&
                std::from_chars(begin, end, value.integer).ec == std::errc()) {
                value.kind = BoundValue::Kind::Integer;
            } else if (std::from_chars(begin, end, value.real).ec == std::errc()) {
                value.kind = BoundValue::Kind::Real;
            } else {
                result.shape += t.source;
                continue;
            }
            result.parameters.push_back(std::move(value));
            result.shape += '?';
            continue;
        }
        if (t.requote) {
            appendTextLiteral(list.values[static_cast<std::size_t>(t.value)], result.shape);
        } else {
            if (t.text().starts_with('\'')) separateLiterals(result.shape);
            result.shape += t.text();
        }
    }
    if (!inValues) return std::nullopt;
    return result;
}

}  // namespace db::sqlite
