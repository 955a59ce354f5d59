#pragma once

#include <string>

namespace testing_support {

// The two registry export formats.
enum class RegFormat {
    Unicode,  // "Windows Registry Editor Version 5.00", UTF-16LE with its byte-order mark
    Ansi,     // "REGEDIT4", Windows-1252
};

// The bytes of a registry export file in `format` whose lines after the header are
// `body` (UTF-8, lines ended with CR LF by the caller).
std::string regFileBytes(RegFormat format, const std::string& body);

// A text as a quoted string of a registry export file: "a\"b\\c".
std::string regQuoted(const std::string& text);

// The stored form of a password for a machine value, made by inverting the decoding
// rule: the clear code p at key code k is stored as p + k, or, when that is above the
// plain codes (247), as the escape code 248-255 whose base minus k is p. Throws
// std::invalid_argument when a character cannot be stored either way.
// Example: ("QR", "12") -> "‚„" (codes 130 and 132).
std::string storedPassword(const std::string& clear, const std::string& machineValue);

}  // namespace testing_support
