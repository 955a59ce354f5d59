#include "registry/text_encoding.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>

#include "db/error.h"
#include "db/text_encoding.h"

namespace registry {
namespace {

// The characters of Windows-1252 come from db::windows1252CodePoint: glibc's converter
// rejects the five bytes the code page leaves undefined, which Windows maps to the
// control characters of the same number, so iconv is used for the Unicode forms only.

// The Windows-1252 byte of a character, or '?' when the code page lacks it.
char windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
        if (db::windows1252CodePoint(static_cast<unsigned char>(byte)) == c) return static_cast<char>(byte);
    }
    return '?';
}

// One glibc conversion descriptor, closed on every path.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw db::Error(51, std::string("Internal error: no conversion from ") + from +
                                    " to " + to);
        }
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of `input`. A sequence that is invalid or cut short is skipped
    // `invalidUnit` bytes at a time, and `replacement` (already in the target form) is
    // written in its place.
    std::string convert(std::string_view input, std::size_t invalidUnit,
                        std::string_view replacement) {
        std::string out(input.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(input.data());  // iconv does not write its input
        std::size_t inLeft = input.size();
        std::size_t written = 0;
        while (inLeft > 0) {
            char* outPtr = out.data() + written;
            std::size_t outLeft = out.size() - written;
            const std::size_t result = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            written = out.size() - outLeft;
            if (result != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL: an invalid or incomplete sequence at `in`.
            const std::size_t skip = std::min(invalidUnit, inLeft);
            in += skip;
            inLeft -= skip;
            if (out.size() - written < replacement.size()) {
                out.resize(out.size() * 2 + replacement.size());
            }
            std::copy(replacement.begin(), replacement.end(), out.begin() + written);
            written += replacement.size();
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        }
        out.resize(written);
        return out;
    }

private:
    iconv_t m_cd;
};

std::u32string decodeUtf8(std::string_view text) {
    const std::string replacement{'\xFD', '\xFF', '\0', '\0'};  // U+FFFD in UTF-32LE
    const std::string units = Converter("UTF-32LE", "UTF-8").convert(text, 1, replacement);
    std::u32string out;
    out.reserve(units.size() / 4);
    for (std::size_t i = 0; i + 3 < units.size(); i += 4) {
        out += static_cast<char32_t>(static_cast<unsigned char>(units[i]) |
                                     static_cast<unsigned char>(units[i + 1]) << 8 |
                                     static_cast<unsigned char>(units[i + 2]) << 16 |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(units[i + 3])) << 24);
    }
    return out;
}

std::string encodeUtf8(std::u32string_view characters) {
    std::string units;
    units.reserve(characters.size() * 4);
    for (char32_t c : characters) {
        for (int shift = 0; shift < 32; shift += 8) units += static_cast<char>((c >> shift) & 0xFF);
    }
    return Converter("UTF-8", "UTF-32LE").convert(units, 4, "\xEF\xBF\xBD");
}

char32_t foldCharacter(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;  // À-Þ but the multiplication sign
    if (c == 0x178) return 0xFF;                       // Ÿ
    const bool evenCapitals = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) ||
                              (c >= 0x14A && c <= 0x177);
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenCapitals && c % 2 == 0) return c + 1;
    if (oddCapitals && c % 2 == 1) return c + 1;
    return c;
}

}  // namespace

std::string windows1252ToUtf8(std::string_view bytes) { return db::windows1252ToUtf8(bytes); }

std::string utf8ToWindows1252(std::string_view text) {
    std::string out;
    for (char32_t c : decodeUtf8(text)) out += windows1252Byte(c);
    return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
    return Converter("UTF-8", "UTF-16LE").convert(bytes, 2, "\xEF\xBF\xBD");
}

char32_t foldedWindows1252(unsigned char byte) { return foldCharacter(db::windows1252CodePoint(byte)); }

std::string foldCase(std::string_view text) {
    std::u32string characters = decodeUtf8(text);
    for (char32_t& c : characters) c = foldCharacter(c);
    return encodeUtf8(characters);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    const std::u32string left = decodeUtf8(a);
    const std::u32string right = decodeUtf8(b);
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (foldCharacter(left[i]) != foldCharacter(right[i])) return false;
    }
    return true;
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; };
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upper(text[i]) != upper(prefix[i])) return false;
    }
    return true;
}

std::string_view trimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::size_t characterCount(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

std::string_view withoutLastCharacter(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80) --end;
    return text.substr(0, end > 0 ? end - 1 : 0);
}

}  // namespace registry
