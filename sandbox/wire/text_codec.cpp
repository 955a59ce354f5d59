#include "wire/text_codec.h"

#include <array>

namespace sandbox::wire {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code points of bytes 0x80..0x9F in code page 1252; 0 marks the five undefined bytes.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Calls emit(codePoint) for each character of a UTF-8 text, U+FFFD for malformed bytes.
template <typename Emit>
void forEachCodePoint(std::string_view utf8, Emit emit) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            emit(kReplacement);
            ++i;
            continue;
        }
        bool valid = true;
        std::size_t consumed = 1;
        for (int k = 1; k <= extra; ++k) {
            const std::size_t at = i + static_cast<std::size_t>(k);
            if (at >= utf8.size()) {
                valid = false;
                break;
            }
            const auto next = static_cast<unsigned char>(utf8[at]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
            ++consumed;
        }
        const bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
                              (extra == 3 && cp < 0x10000);
        if (!valid || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            emit(kReplacement);
            i += consumed;
            continue;
        }
        emit(cp);
        i += consumed;
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUnit(Bytes& out, char16_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// Length of the leading run of ASCII characters, which every conversion copies as is.
std::size_t asciiPrefix(std::string_view utf8) {
    std::size_t n = 0;
    while (n < utf8.size() && static_cast<unsigned char>(utf8[n]) < 0x80) ++n;
    return n;
}

}  // namespace

Bytes utf8ToUcs2(std::string_view utf8) {
    Bytes out(asciiPrefix(utf8) * 2, 0);
    for (std::size_t i = 0; i < out.size() / 2; ++i) out[2 * i] = static_cast<std::uint8_t>(utf8[i]);
    out.reserve(utf8.size() * 2);
    forEachCodePoint(utf8.substr(out.size() / 2), [&](char32_t cp) {
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            appendUnit(out, static_cast<char16_t>(0xD800 + (v >> 10)));
            appendUnit(out, static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            appendUnit(out, static_cast<char16_t>(cp));
        }
    });
    return out;
}

std::string ucs2ToUtf8(const std::uint8_t* data, std::size_t byteCount) {
    std::string out;
    out.reserve(byteCount / 2);
    const std::size_t units = byteCount / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = static_cast<char16_t>(data[2 * i + 2] | (data[2 * i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : char32_t(unit));
    }
    return out;
}

Bytes utf8ToCp1252(std::string_view utf8) {
    const std::size_t ascii = asciiPrefix(utf8);
    Bytes out(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(ascii));
    out.reserve(utf8.size());
    forEachCodePoint(utf8.substr(ascii), [&](char32_t cp) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(cp));
            return;
        }
        for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
                out.push_back(static_cast<std::uint8_t>(0x80 + k));
                return;
            }
        }
        out.push_back('?');
    });
    return out;
}

std::string cp1252ToUtf8(const std::uint8_t* data, std::size_t byteCount) {
    std::string out;
    out.reserve(byteCount);
    for (std::size_t i = 0; i < byteCount; ++i) {
        const std::uint8_t b = data[i];
        if (b >= 0x80 && b <= 0x9F) {
            const char16_t mapped = kCp1252High[b - 0x80];
            appendUtf8(out, mapped == 0 ? kReplacement : char32_t(mapped));
        } else {
            appendUtf8(out, b);
        }
    }
    return out;
}

}  // namespace sandbox::wire
