#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace db::odbc {

// UTF-16 text as the ODBC wide functions take and return it (unixODBC's SQLWCHAR is 16 bits).
using WideText = std::vector<SQLWCHAR>;

// UTF-8 to UTF-16, without a terminator. Malformed bytes become U+FFFD.
// Example: "ação" (6 bytes) -> {0x61, 0xE7, 0xE3, 0x6F}.
WideText toWide(std::string_view utf8);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
// Example: {0xD83D, 0xDE00} -> "\xF0\x9F\x98\x80".
std::string fromWide(const SQLWCHAR* text, std::size_t length);

}  // namespace db::odbc
