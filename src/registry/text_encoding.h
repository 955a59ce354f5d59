#pragma once

#include <string>
#include <string_view>

namespace registry {

// The text conversions between what Windows writes (.reg exports in UTF-16LE or in the
// ANSI code page Windows-1252, the ANSI shadow file) and the UTF-8 the program works in.
// Every function takes any bytes and never throws for bad input: a sequence that cannot
// be read becomes U+FFFD (or "?" when writing Windows-1252). They throw db::Error only
// when the C library's converter itself is missing.

// Windows-1252 bytes as UTF-8. Every byte has a character: the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the
// same number, as Windows converts them. Example: "Ol\xE1 \x80" -> "Olá €".
std::string windows1252ToUtf8(std::string_view bytes);

// UTF-8 as Windows-1252 bytes; a character the code page lacks becomes "?", as the ANSI
// conversion of Windows writes it. Example: "Olá € ✓" -> "Ol\xE1 \x80 ?".
std::string utf8ToWindows1252(std::string_view text);

// UTF-16LE bytes (without byte-order mark) as UTF-8; an unpaired surrogate or a trailing
// odd byte becomes U+FFFD. Example: "A\0\xE1\0" -> "Aá".
std::string utf16leToUtf8(std::string_view bytes);

// The code page's code of one Windows-1252 byte as a Unicode character, letter case
// folded to the small letter where the code page has both (A-Z, À-Þ, Š, Œ, Ž, Ÿ).
char32_t foldedWindows1252(unsigned char byte);

// True when two UTF-8 texts are equal without regard to letter case, as the registry
// compares key and value names (ASCII and the Latin letters of Latin-1 and Latin
// Extended-A). Example: ("Software\\Ação", "SOFTWARE\\AÇÃO") -> true.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// A UTF-8 text with its letter case folded as equalsIgnoringCase folds it, for use as a
// lookup key. Example: "HKEY_Local_Machine\\Ação" -> "hkey_local_machine\\ação".
std::string foldCase(std::string_view text);

// True when `text` begins with the ASCII text `prefix`, ASCII letters compared without
// regard to case. Example: ("hkey_current_user\\Software\\X", "HKEY_CURRENT_USER\\SOFTWARE") -> true.
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// The text without the spaces at either end (only spaces: tabs and NULs stay).
// Example: "  op \0 " -> "op \0".
std::string_view trimSpaces(std::string_view text);

// The number of characters (code points) of a UTF-8 text. Example: "Ação" -> 4.
std::size_t characterCount(std::string_view text);

// The text without its last character (a whole UTF-8 sequence). Example: "Açã" -> "Aç".
std::string_view withoutLastCharacter(std::string_view text);

}  // namespace registry
