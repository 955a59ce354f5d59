#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sandbox::tsql {

enum class TokenKind {
    End,
    Word,           // identifier or keyword, unquoted: SELECT, tbUsers
    Bracketed,      // [name]
    DoubleQuoted,   // "name": an identifier under QUOTED_IDENTIFIER ON, else a string
    String,         // 'text'
    NString,        // N'text'
    Integer,        // 42
    Number,         // 1.5, 1e3
    Money,          // $20.00 (text holds the digits: 20.00)
    Binary,         // 0x1F
    Variable,       // @name
    SystemVariable, // @@VERSION
    Symbol          // ( ) , . ; = <> != < > <= >= !< !> + - * / % & | ^ ~
};

// One token: `text` is the decoded value (quotes removed, '' unescaped) for names and
// literals, the spelling otherwise; `begin`/`end` are byte offsets into the batch.
struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t begin = 0;
    std::size_t end = 0;
    int line = 1;

    bool isWord(std::string_view keyword) const;  // an unquoted word, any letter case
    bool isSymbol(std::string_view symbol) const { return kind == TokenKind::Symbol && text == symbol; }
};

// Splits a T-SQL batch into tokens, dropping blanks and comments (-- and nested /* */).
// An unterminated string or bracket raises ServerError 105/102 as SQL Server does.
// Example: "SELECT N'a''b' FROM [t x]" -> Word SELECT, NString a'b, Word FROM, Bracketed t x.
std::vector<Token> tokenize(std::string_view batch);

// SQL Server's reserved keywords, which make a syntax error read "near the keyword".
bool isReservedKeyword(std::string_view word);

}  // namespace sandbox::tsql
