#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"

namespace sandbox {

// Number of characters (code points) of a UTF-8 text. Example: "açaí" -> 4.
std::size_t utf8Length(std::string_view text);

// The first `count` characters of a UTF-8 text, and the byte offset where they end.
std::size_t utf8Offset(std::string_view text, std::size_t count);

// UTF-8 <-> UTF-16LE bytes. Invalid input bytes become U+FFFD.
std::vector<std::uint8_t> utf8ToUtf16le(std::string_view text);
std::string utf16leToUtf8(const std::uint8_t* data, std::size_t size);

// Case-insensitive (ASCII) equality and lower-casing for names.
bool iequals(std::string_view a, std::string_view b);
std::string lower(std::string_view text);
std::string upperName(std::string_view text);

// The stored form of a date-time, as SQLite keeps it: "2004-03-07 14:05:09.123".
// Sorting the texts sorts the values.
std::string formatStoredDateTime(const db::DateTime& dt);
std::optional<db::DateTime> parseStoredDateTime(std::string_view text);

// Rounds the milliseconds to SQL Server's 1/300 s ticks: .001 -> .000, .002 -> .003,
// .005 -> .007, .999 -> next second.
db::DateTime roundToTicks(const db::DateTime& dt);

// The current local date-time, rounded to ticks.
db::DateTime now();

}  // namespace sandbox
