#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace db {

// The character that stands for bytes or code units that are not text.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends one code point in UTF-8. Example: U+00E7 -> "\xC3\xA7" ("ç").
void appendUtf8(std::string& out, char32_t codePoint);

// Decodes the UTF-8 sequence that starts at `pos` and moves `pos` past it. A byte that
// does not start a well-formed sequence (a stray continuation byte, a truncated or
// overlong sequence, a surrogate, a value past U+10FFFF) gives nullopt and moves `pos`
// on by that one byte. Example: "a\xC3\xA7" at 1 -> U+00E7, pos 3; "\xC3(" -> nullopt, pos 1.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& pos);

// Whether every byte of `text` belongs to a well-formed UTF-8 sequence.
bool isValidUtf8(std::string_view text);

// The code point of one Windows-1252 byte. 0x80-0x9F are the typographic characters of
// that code page (0x80 -> U+20AC "€", 0x92 -> U+2019 "’"); the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their own value as the C1 control
// of that number, as the Windows conversion does, so that no byte is lost; every other
// byte is the Latin-1 code point of the same value.
char32_t windows1252CodePoint(unsigned char byte);

// Whether every character of the UTF-8 text has a byte in Windows-1252, the code page of
// a Latin1_General server's char, varchar and text values and literals. Example: "Ação"
// -> true; "Ωμέγα" -> false.
bool fitsWindows1252(std::string_view text);

// The UTF-8 text as it comes back from Windows-1252: each character the code page lacks
// becomes "?", as SQL Server turns such a character of a varchar literal. Example:
// "Ação Ωμ" -> "Ação ??".
std::string throughWindows1252(std::string_view text);

// Windows-1252 text in UTF-8. Example: "Gest\xE3o" -> "Gestão".
std::string windows1252ToUtf8(std::string_view bytes);

// The text of a file that may come from Windows: the bytes unchanged when they are valid
// UTF-8 (a leading UTF-8 byte-order mark dropped), otherwise the whole file read as
// Windows-1252. Example: "A\xE7\xE3o" -> "Ação"; "A\xC3\xA7\xC3\xA3o" -> "Ação".
std::string utf8OrWindows1252(std::string_view bytes);

}  // namespace db
