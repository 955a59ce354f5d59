#include "catalog/name_rules.h"

#include "db/text_encoding.h"

namespace catalog {
namespace {

bool containsWord(std::string_view collation, std::string_view word) {
    // The parts of a collation name are separated by '_': Latin1_General_CI_AI.
    std::size_t from = 0;
    while (from <= collation.size()) {
        std::size_t end = collation.find('_', from);
        if (end == std::string_view::npos) end = collation.size();
        std::string_view part = collation.substr(from, end - from);
        if (part.size() == word.size()) {
            bool equal = true;
            for (std::size_t i = 0; i < part.size(); ++i) {
                char c = part[i];
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                equal = equal && c == word[i];
            }
            if (equal) return true;
        }
        from = end + 1;
    }
    return false;
}

// The small letter of a capital; other characters unchanged. Covers the scripts whose
// names a Latin1_General database meets: ASCII, Latin-1, Latin Extended-A (capitals at
// even code points), Greek and Cyrillic.
char32_t smallLetter(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x17F) {
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddCapitals ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

// The base letter of a Latin-1 letter with an accent: 0xE9 (é) -> 'e'; others unchanged.
char32_t withoutAccent(char32_t c) {
    static constexpr char kBase[] = "AAAAAA\0CEEEEIIIIDNOOOOO\0OUUUUY\0\0aaaaaa\0ceeeeiiiidnooooo\0ouuuuy\0y";
    if (c >= 0xC0 && c <= 0xFF && kBase[c - 0xC0] != '\0') return static_cast<char32_t>(kBase[c - 0xC0]);
    return c;
}

}  // namespace

NameRules NameRules::ofCollation(std::string_view collation) {
    NameRules rules;
    if (containsWord(collation, "BIN") || containsWord(collation, "BIN2")) {
        rules.binary = true;
        rules.caseSensitive = true;
        return rules;
    }
    rules.caseSensitive = containsWord(collation, "CS");
    rules.accentSensitive = !containsWord(collation, "AI");
    return rules;
}

std::string NameRules::key(std::string_view name) const {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (binary || (caseSensitive && accentSensitive)) return std::string(name);
    std::string out;
    out.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t start = pos;
        const std::optional<char32_t> decoded = db::nextUtf8(name, pos);
        if (!decoded) {
            out.append(name.substr(start, pos - start));
            continue;
        }
        char32_t c = *decoded;
        if (!caseSensitive) c = smallLetter(c);
        if (!accentSensitive) c = withoutAccent(c);
        db::appendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> literalText(std::string_view name) {
    const std::size_t first = name.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    return std::string(name.substr(first, name.find_last_not_of(' ') - first + 1));
}

}  // namespace catalog
