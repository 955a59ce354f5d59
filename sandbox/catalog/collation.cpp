#include "catalog/collation.h"

#include <array>
#include <cstdint>
#include <string>

namespace sandbox {
namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// Decodes one UTF-8 code point at `pos`, advancing it; invalid bytes come back as-is.
char32_t nextCodePoint(std::string_view s, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = byte(pos);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || pos + static_cast<std::size_t>(extra) >= s.size()) {
        ++pos;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) cp = (cp << 6) | (byte(pos + static_cast<std::size_t>(i)) & 0x3F);
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// Base letter of a Latin-1 accented letter: 0xE9 (é) -> 'e'; other code points unchanged.
char32_t stripAccent(char32_t c) {
    static constexpr std::array<char, 64> kBase = {
        'A', 'A', 'A', 'A', 'A', 'A', 0, 'C', 'E', 'E', 'E', 'E', 'I', 'I', 'I', 'I',
        'D', 'N', 'O', 'O', 'O', 'O', 'O', 0, 'O', 'U', 'U', 'U', 'U', 'Y', 0, 0,
        'a', 'a', 'a', 'a', 'a', 'a', 0, 'c', 'e', 'e', 'e', 'e', 'i', 'i', 'i', 'i',
        'd', 'n', 'o', 'o', 'o', 'o', 'o', 0, 'o', 'u', 'u', 'u', 'u', 'y', 0, 'y'};
    if (c >= 0xC0 && c <= 0xFF && kBase[c - 0xC0] != 0) return static_cast<char32_t>(kBase[c - 0xC0]);
    return c;
}

char32_t lowerCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

bool isLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}

// Primary sort weight: punctuation first, then digits, then letters (accented letters
// right after their base letter), then everything else by code point.
std::uint32_t primaryWeight(char32_t c, bool accentSensitive) {
    if (c >= '0' && c <= '9') return 0x1000 + (c - '0');
    if (isLetter(c)) {
        char32_t lower = lowerCase(c);
        char32_t base = stripAccent(lower);
        std::uint32_t w = 0x2000 + static_cast<std::uint32_t>(base) * 0x200;
        if (accentSensitive && base != lower) w += static_cast<std::uint32_t>(lower) - 0xBF;
        return w;
    }
    if (c < 0x100) return c;
    return 0x100000 + static_cast<std::uint32_t>(c);
}

std::string_view trimTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

int collate(void* arg, int na, const void* pa, int nb, const void* pb) {
    const auto* rules = static_cast<const CollationRules*>(arg);
    return compareText(*rules, std::string_view(static_cast<const char*>(pa), static_cast<std::size_t>(na)),
                       std::string_view(static_cast<const char*>(pb), static_cast<std::size_t>(nb)));
}

void destroyRules(void* arg) { delete static_cast<CollationRules*>(arg); }

void onCollationNeeded(void*, sqlite3* db, int, const char* name) {
    CollationRules rules;
    if (!parseCollation(name, rules)) return;
    sqlite3_create_collation_v2(db, name, SQLITE_UTF8, new CollationRules(rules), collate, destroyRules);
}

}  // namespace

bool parseCollation(std::string_view name, CollationRules& rules) {
    static constexpr std::array<std::string_view, 8> kFamilies = {
        "SQL_Latin1_General_CP1_", "Latin1_General_", "SQL_Latin1_General_CP850_",
        "SQL_Latin1_General_CP1250_", "Modern_Spanish_", "Traditional_Spanish_", "French_", "Portuguese_"};
    std::string_view rest;
    bool known = false;
    for (auto family : kFamilies) {
        if (name.size() > family.size() && iequals(name.substr(0, family.size()), family)) {
            rest = name.substr(family.size());
            known = true;
            break;
        }
    }
    if (!known) return false;
    if (iequals(rest, "BIN") || iequals(rest, "BIN2")) {
        rules = CollationRules{true, true, true};
        return true;
    }
    // CI_AS, CS_AI, ... optionally followed by _KS and/or _WS.
    if (rest.size() < 5) return false;
    std::string_view cs = rest.substr(0, 2), as = rest.substr(3, 2);
    if (rest[2] != '_') return false;
    std::string_view tail = rest.substr(5);
    if (!tail.empty() && !iequals(tail, "_KS") && !iequals(tail, "_WS") && !iequals(tail, "_KS_WS")) return false;
    if (!(iequals(cs, "CI") || iequals(cs, "CS")) || !(iequals(as, "AI") || iequals(as, "AS"))) return false;
    rules.caseSensitive = iequals(cs, "CS");
    rules.accentSensitive = iequals(as, "AS");
    rules.binary = false;
    return true;
}

int compareText(const CollationRules& rules, std::string_view a, std::string_view b) {
    a = trimTrailingBlanks(a);
    b = trimTrailingBlanks(b);
    if (rules.binary) {
        std::size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            char32_t x = nextCodePoint(a, i), y = nextCodePoint(b, j);
            if (x != y) return x < y ? -1 : 1;
        }
        return (i < a.size()) - (j < b.size());
    }
    int tieBreak = 0;  // case difference, used only by case-sensitive collations
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = nextCodePoint(a, i), y = nextCodePoint(b, j);
        std::uint32_t wx = primaryWeight(x, rules.accentSensitive), wy = primaryWeight(y, rules.accentSensitive);
        if (wx != wy) return wx < wy ? -1 : 1;
        if (tieBreak == 0 && x != y && rules.caseSensitive) {
            // Same letter in another case: lower case sorts first.
            bool xLower = lowerCase(x) == x, yLower = lowerCase(y) == y;
            if (xLower != yLower) tieBreak = xLower ? -1 : 1;
        }
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return tieBreak;
}

void registerCollations(sqlite3* db) {
    sqlite3_collation_needed(db, nullptr, onCollationNeeded);
    onCollationNeeded(nullptr, db, SQLITE_UTF8, std::string(kServerCollation).c_str());
}

}  // namespace sandbox
