#include "db/text_encoding.h"

#include <array>

namespace db {

void appendUtf8(std::string& out, char32_t codePoint) {
    const char32_t c = codePoint;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t extra;
    char32_t c;
    char32_t minimum;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return std::nullopt;
    }
    for (std::size_t i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return std::nullopt;
    }
    pos += extra + 1;
    return c;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        if (!nextUtf8(text, pos)) return false;
    }
    return true;
}

char32_t windows1252CodePoint(unsigned char byte) {
    static constexpr std::array<char32_t, 32> kHighControls = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80-0x87
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88-0x8F
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90-0x97
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98-0x9F
    };
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80u] : byte;
}

namespace {

bool hasWindows1252Byte(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return true;
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
        if (windows1252CodePoint(static_cast<unsigned char>(byte)) == codePoint) return true;
    }
    return false;
}

}  // namespace

bool fitsWindows1252(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::optional<char32_t> codePoint = nextUtf8(text, pos);
        if (!codePoint || !hasWindows1252Byte(*codePoint)) return false;
    }
    return true;
}

std::string throughWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::optional<char32_t> codePoint = nextUtf8(text, pos);
        appendUtf8(out, codePoint && hasWindows1252Byte(*codePoint) ? *codePoint : U'?');
    }
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) appendUtf8(out, windows1252CodePoint(static_cast<unsigned char>(ch)));
    return out;
}

std::string utf8OrWindows1252(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (isValidUtf8(bytes)) {
        if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
        return std::string(bytes);
    }
    return windows1252ToUtf8(bytes);
}

}  // namespace db
