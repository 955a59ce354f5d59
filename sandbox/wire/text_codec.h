#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Text conversions between the engine's UTF-8 and the encodings TDS 7.1 carries:
// UCS-2 little-endian (identifiers, messages, n-types, batch text) and Windows code
// page 1252 (char, varchar and text data under the server's Latin1 collation).
namespace sandbox::wire {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 to UTF-16 little-endian; characters beyond the BMP become surrogate pairs and
// malformed UTF-8 sequences become U+FFFD. Example: "Aé" -> 41 00 E9 00.
Bytes utf8ToUcs2(std::string_view utf8);

// UTF-16 little-endian to UTF-8; a trailing odd byte is dropped and lone surrogates
// become U+FFFD. Example: 41 00 E9 00 -> "Aé".
std::string ucs2ToUtf8(const std::uint8_t* data, std::size_t byteCount);

// UTF-8 to code page 1252. A character the code page lacks becomes '?', as SQL Server
// stores it in a varchar column. Example: "€ x ✓" -> 80 20 78 20 3F.
Bytes utf8ToCp1252(std::string_view utf8);

// Code page 1252 to UTF-8 (the five undefined bytes map to U+FFFD). Example: 80 -> "€".
std::string cp1252ToUtf8(const std::uint8_t* data, std::size_t byteCount);

}  // namespace sandbox::wire
