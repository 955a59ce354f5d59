#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace db::sqlite {

// The text of the Jet function CHR(code) for 1..255, in Windows-1252 as Jet reads its
// codes, encoded in UTF-8; nullopt for any other code. Example: 39 -> "'", 128 -> "€".
std::optional<std::string> jetChr(long long code);

// Turns one Jet SQL text (a single statement or several) into SQLite SQL that means the
// same, and leaves everything else byte for byte as it was:
// - a `+` joining text is Jet's concatenation and becomes `||`: a `+` counts as one when
//   an operand beside it is a text literal, a CHR(...) call, a text column, a bracketed
//   expression holding text, or the result of a concatenation on its left;
//   `tamanho + 1` stays numeric;
// - runs of text literals and CHR(<number>) joined by `+` are folded into one literal,
//   so that SQLite parses one literal and calls no function;
// - "double-quoted" text is a text literal in Jet and becomes a single-quoted one;
// - the keywords True and False become Jet's -1 and 0.
// Literals, [bracketed] names and comments are never looked into. SQLite's `||` binds
// more tightly than `*` or `-`, so a `+` that joins text to a product or a difference
// (`a * b + 'x'`, meaningless with text in Jet) would be regrouped; no statement of the
// system has one.
// Examples:
//   INSERT INTO t (a) VALUES ('O'+CHR(39)+'Neil')  ->  INSERT INTO t (a) VALUES ('O''Neil')
//   UPDATE t SET descrit = descrit + 'x'           ->  UPDATE t SET descrit = descrit || 'x'
//   SELECT * FROM t WHERE flag = True              ->  SELECT * FROM t WHERE flag = (-1)
class JetSqlRewriter {
public:
    // `isTextColumn` answers whether a column name (unqualified, any letter case) holds
    // text; it is asked only for a `+` that no literal decides.
    explicit JetSqlRewriter(std::function<bool(std::string_view)> isTextColumn);

    std::string rewrite(std::string_view jetSql) const;

private:
    std::function<bool(std::string_view)> m_isTextColumn;
};

}  // namespace db::sqlite
