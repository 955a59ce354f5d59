#include "registry_files.h"

#include <array>
#include <stdexcept>

#include "registry/text_encoding.h"

namespace testing_support {
namespace {

constexpr std::array<int, 8> kEscapeBases = {157, 36, 144, 143, 141, 35, 127, 129};

// UTF-8 text of the Basic Multilingual Plane as UTF-16LE bytes.
std::string utf16le(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char32_t c = byte;
        std::size_t length = 1;
        if (byte >= 0xE0) {
            c = byte & 0x0F;
            length = 3;
        } else if (byte >= 0xC0) {
            c = byte & 0x1F;
            length = 2;
        }
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
        i += length;
    }
    return out;
}

}  // namespace

std::string regFileBytes(RegFormat format, const std::string& body) {
    if (format == RegFormat::Ansi) return registry::utf8ToWindows1252("REGEDIT4\r\n\r\n" + body);
    return "\xFF\xFE" + utf16le("Windows Registry Editor Version 5.00\r\n\r\n" + body);
}

std::string regQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string storedPassword(const std::string& clear, const std::string& machineValue) {
    const std::string codes = registry::utf8ToWindows1252(clear);
    std::string stored;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int p = static_cast<unsigned char>(codes[i]);
        const int k = static_cast<unsigned char>(machineValue[i % machineValue.size()]);
        if (p + k <= 247) {
            stored += static_cast<char>(p + k);
            continue;
        }
        std::size_t escape = 0;
        while (escape < kEscapeBases.size() && kEscapeBases[escape] - k != p) ++escape;
        if (escape == kEscapeBases.size()) {
            throw std::invalid_argument("character " + std::to_string(i + 1) + " cannot be stored");
        }
        stored += static_cast<char>(248 + escape);
    }
    return registry::windows1252ToUtf8(stored);
}

}  // namespace testing_support
