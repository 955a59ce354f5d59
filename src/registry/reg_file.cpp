#include "registry/reg_file.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "db/text_encoding.h"
#include "registry/text_encoding.h"

namespace registry {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kVersion4Header = "REGEDIT4";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The file's lines without their leading and trailing blanks, a line ending in "\"
// joined with the next one (a comment line never goes on). Lines end with CR LF, LF or CR.
std::vector<std::string> logicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    bool continuing = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        const std::string_view line = trimmed(text.substr(at, end - at));
        at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
        const bool comment = !continuing && !line.empty() && line.front() == ';';
        continuing = !comment && !line.empty() && line.back() == '\\';
        pending += continuing ? line.substr(0, line.size() - 1) : line;
        if (continuing) continue;
        lines.push_back(std::move(pending));
        pending.clear();
    }
    if (continuing) lines.push_back(std::move(pending));
    return lines;
}

// A quoted text starting at `at` (on the opening quote), with \\ and \" escapes; `at`
// ends after the closing quote. Null when the quote is not closed.
std::optional<std::string> quotedText(std::string_view line, std::size_t& at) {
    std::string text;
    for (std::size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            at = i + 1;
            return text;
        }
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '\\' || line[i + 1] == '"')) {
            ++i;
        }
        text += line[i];
    }
    return std::nullopt;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "1f" -> 31; null for anything but 1 to `maxDigits` hexadecimal digits.
std::optional<std::uint32_t> hexNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t n = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        n = n * 16 + static_cast<std::uint32_t>(digit);
    }
    return n;
}

// "41,00,42" -> "A\0B"; an empty list is no bytes; null when an item is not a byte.
std::optional<std::string> hexBytes(std::string_view list) {
    std::string bytes;
    list = trimmed(list);
    if (list.empty()) return bytes;
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = list.find(',', at);
        const std::string_view item =
            trimmed(list.substr(at, comma == std::string_view::npos ? comma : comma - at));
        const std::optional<std::uint32_t> byte = hexNumber(item, 2);
        if (!byte) return std::nullopt;
        bytes += static_cast<char>(*byte);
        if (comma == std::string_view::npos) return bytes;
        at = comma + 1;
    }
}

std::string dwordText(std::uint32_t n) { return std::to_string(n) + '\0'; }

// The value a data text after "=" stands for; null when it is malformed. A deletion
// ("-") is reported through `deletion`.
std::optional<RegValue> valueData(std::string_view data, bool unicode, bool& deletion) {
    deletion = false;
    if (data == "-") {
        deletion = true;
        return std::nullopt;
    }
    if (startsWith(data, "\"")) {
        std::size_t at = 0;
        std::optional<std::string> text = quotedText(data, at);
        if (!text || !trimmed(data.substr(at)).empty()) return std::nullopt;
        return RegValue{regtype::kString, *text + '\0'};
    }
    if (startsWithIgnoringAsciiCase(data, "dword:")) {
        const std::optional<std::uint32_t> n = hexNumber(trimmed(data.substr(6)), 8);
        if (!n) return std::nullopt;
        return RegValue{regtype::kDword, dwordText(*n)};
    }
    std::uint32_t type = regtype::kBinary;
    std::size_t listStart = 0;
    if (startsWithIgnoringAsciiCase(data, "hex:")) {
        listStart = 4;
    } else if (startsWithIgnoringAsciiCase(data, "hex(")) {
        const std::size_t close = data.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const std::optional<std::uint32_t> n = hexNumber(data.substr(4, close - 4), 8);
        if (!n) return std::nullopt;
        type = *n;
        listStart = close + 2;
    } else {
        return std::nullopt;
    }
    const std::optional<std::string> bytes = hexBytes(data.substr(listStart));
    if (!bytes) return std::nullopt;
    switch (type) {
        case regtype::kString:
        case regtype::kExpandString:
        case regtype::kMultiString:
            return RegValue{type, unicode ? utf16leToUtf8(*bytes) : windows1252ToUtf8(*bytes)};
        case regtype::kDword:
            if (bytes->size() == 4) {
                std::uint32_t n = 0;
                for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>((*bytes)[i]);
                return RegValue{type, dwordText(n)};
            }
            break;
        default:
            break;
    }
    return RegValue{type, windows1252ToUtf8(*bytes)};
}

// The text of the file and whether it is the Unicode format; null when the bytes begin
// with neither header.
std::optional<std::pair<std::string, bool>> fileText(std::string_view bytes) {
    std::string text;
    if (startsWith(bytes, kUtf16Mark)) {
        text = utf16leToUtf8(bytes.substr(kUtf16Mark.size()));
    } else {
        // UTF-8 with or without its mark (a file written by an editor on Linux has none);
        // bytes that are not UTF-8 (a REGEDIT4 export, or a file edited as Windows-1252
        // after its mark was written) read as Windows-1252, so that every value read is
        // valid UTF-8.
        const std::string_view rest =
            startsWith(bytes, kUtf8Mark) ? bytes.substr(kUtf8Mark.size()) : bytes;
        text = db::isValidUtf8(rest) ? std::string(rest) : windows1252ToUtf8(rest);
    }
    const std::string_view firstLine = trimmed(std::string_view(text).substr(0, text.find_first_of("\r\n")));
    if (firstLine == kVersion5Header) return std::make_pair(std::move(text), true);
    if (firstLine == kVersion4Header) return std::make_pair(std::move(text), false);
    return std::nullopt;
}

}  // namespace

const RegValue* RegFile::find(std::string_view keyPath, std::string_view valueName) const {
    const auto key = m_keys.find(foldCase(keyPath));
    if (key == m_keys.end()) return nullptr;
    const auto value = key->second.find(foldCase(valueName));
    return value == key->second.end() ? nullptr : &value->second;
}

void RegFile::set(std::string_view keyPath, std::string_view valueName, RegValue value) {
    m_keys[foldCase(keyPath)][foldCase(valueName)] = std::move(value);
}

void RegFile::remove(std::string_view keyPath, std::string_view valueName) {
    const auto key = m_keys.find(foldCase(keyPath));
    if (key != m_keys.end()) key->second.erase(foldCase(valueName));
}

void RegFile::removeKey(std::string_view keyPath) {
    const std::string folded = foldCase(keyPath);
    m_keys.erase(folded);
    const std::string below = folded + '\\';
    auto it = m_keys.lower_bound(below);
    while (it != m_keys.end() && startsWith(it->first, below)) it = m_keys.erase(it);
}

RegFile parseRegFile(std::string_view bytes) {
    RegFile file;
    const auto text = fileText(bytes);
    if (!text) return file;
    const bool unicode = text->second;
    const std::vector<std::string> lines = logicalLines(text->first);
    std::optional<std::string> currentKey;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            currentKey.reset();
            if (line.back() != ']' || line.size() < 3) continue;
            const std::string_view path = line.substr(1, line.size() - 2);
            if (path.front() == '-') {
                file.removeKey(path.substr(1));
            } else {
                currentKey = std::string(path);
            }
            continue;
        }
        if (!currentKey) continue;
        std::string name;
        std::size_t at = 0;
        if (line.front() == '@') {
            at = 1;
        } else if (line.front() == '"') {
            std::optional<std::string> quoted = quotedText(line, at);
            if (!quoted) continue;
            name = std::move(*quoted);
        } else {
            continue;
        }
        const std::string_view rest = trimmed(line.substr(at));
        if (rest.empty() || rest.front() != '=') continue;
        bool deletion = false;
        std::optional<RegValue> value = valueData(trimmed(rest.substr(1)), unicode, deletion);
        if (deletion) {
            file.remove(*currentKey, name);
        } else if (value) {
            file.set(*currentKey, name, std::move(*value));
        }
    }
    return file;
}

}  // namespace registry
