#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db::sqlite {

// The text of the Jet function CHR(code) for 1..255, in Windows-1252 as Jet reads its
// codes, encoded in UTF-8; nullopt for any other code. Example: 39 -> "'", 128 -> "€".
std::optional<std::string> jetChr(long long code);

// A literal taken out of a statement, to be bound as a parameter.
struct BoundValue {
    enum class Kind { Text, Integer, Real };
    Kind kind = Kind::Text;
    std::string text;
    long long integer = 0;
    double real = 0;
};

// A statement's SQLite text with `?` in place of its literals, and their values in order.
struct ParameterizedSql {
    std::string shape;
    std::vector<BoundValue> parameters;
};

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

    // For a single INSERT ... VALUES statement: the same rewrite with every text and
    // number literal after VALUES as a `?` parameter, so that statements differing only
    // in their values share one prepared statement; nullopt for any other statement.
    // Binding gives the same stored values: SQLite applies the column's affinity to
    // bound values as it does to literals.
    // Example: INSERT INTO t (a, b) VALUES ('O'+CHR(39)+'Neil', -2)
    //   -> "INSERT INTO t (a, b) VALUES (?, -?)" with O'Neil and 2.
    std::optional<ParameterizedSql> parameterizeInsert(std::string_view jetSql) const;

private:
    std::function<bool(std::string_view)> m_isTextColumn;
};

}  // namespace db::sqlite
