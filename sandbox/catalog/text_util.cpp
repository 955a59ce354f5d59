#include "catalog/text_util.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace sandbox {

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::size_t utf8Offset(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) return i;
            ++seen;
        }
    }
    return text.size();
}

std::vector<std::uint8_t> utf8ToUtf16le(std::string_view s) {
    std::vector<std::uint8_t> out;
    out.reserve(s.size() * 2);
    auto put = [&](char32_t u) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t cp = c;
        if (c >= 0x80 && (c < 0xC0 || i + static_cast<std::size_t>(extra) >= s.size())) {
            cp = 0xFFFD;
            extra = 0;
        } else if (extra) {
            cp = c & (0x3F >> extra);
            for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

std::string utf16leToUtf8(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        char32_t u = static_cast<char32_t>(data[i] | (data[i + 1] << 8));
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < size) {
            char32_t low = static_cast<char32_t>(data[i + 2] | (data[i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // ASCII folding inline: asked for nearly every token, where std::tolower's call costs.
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string formatStoredDateTime(const db::DateTime& dt) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.year, dt.month, dt.day, dt.hour,
                  dt.minute, dt.second, dt.millisecond);
    return buf;
}

std::optional<db::DateTime> parseStoredDateTime(std::string_view text) { return db::DateTime::parse(text); }

db::DateTime roundToTicks(const db::DateTime& dt) {
    // SQL Server keeps 1/300 s: the milliseconds become round(ms * 0.3) / 0.3.
    long long ticks = (static_cast<long long>(dt.millisecond) * 300 + 500) / 1000;
    db::DateTime out = dt;
    if (ticks >= 300) {
        // Carry into the next second through the OLE date arithmetic of db::DateTime.
        out.millisecond = 0;
        double ole = out.toOleDate() + 1.0 / 86400.0;
        out = db::DateTime::fromOleDate(ole);
        out.millisecond = 0;
        return out;
    }
    out.millisecond = static_cast<int>((ticks * 1000 + 150) / 300);
    return out;
}

db::DateTime now() {
    auto tp = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&t, &tm);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count() % 1000;
    db::DateTime dt{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                    static_cast<int>(ms)};
    return roundToTicks(dt);
}

}  // namespace sandbox

namespace sandbox {

std::string upperName(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace sandbox
