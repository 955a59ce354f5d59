#include "db/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "db/error.h"

namespace db {
namespace {

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kOleEpochDays = daysFromCivil(1899, 12, 30);

bool readNumber(std::string_view text, std::size_t& pos, std::size_t digits, int& out) {
    if (pos + digits > text.size()) return false;
    int v = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += digits;
    out = v;
    return true;
}

}  // namespace

double DateTime::toOleDate() const {
    const double days = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month),
                                                          static_cast<unsigned>(day)) -
                                            kOleEpochDays);
    const double fraction = (hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0) / 86400.0;
    // OLE dates before the epoch keep the time as a positive fraction after the minus sign.
    return days >= 0 ? days + fraction : days - fraction;
}

DateTime DateTime::fromOleDate(double oleDate) {
    double whole = std::trunc(oleDate);
    double fraction = std::fabs(oleDate - whole);
    std::int64_t ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += oleDate >= 0 ? 1 : -1;
    }
    DateTime dt;
    civilFromDays(static_cast<std::int64_t>(whole) + kOleEpochDays, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(ms / 3600000);
    dt.minute = static_cast<int>(ms / 60000 % 60);
    dt.second = static_cast<int>(ms / 1000 % 60);
    dt.millisecond = static_cast<int>(ms % 1000);
    return dt;
}

std::optional<DateTime> DateTime::parse(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    DateTime dt;
    dt.hour = dt.minute = dt.second = dt.millisecond = 0;
    std::size_t pos = 0;
    if (!readNumber(text, pos, 4, dt.year) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, 2, dt.month) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, 2, dt.day)) {
        return std::nullopt;
    }
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
        ++pos;
        if (!readNumber(text, pos, 2, dt.hour) || pos >= text.size() || text[pos++] != ':' ||
            !readNumber(text, pos, 2, dt.minute)) {
            return std::nullopt;
        }
        if (pos < text.size()) {
            if (text[pos++] != ':' || !readNumber(text, pos, 2, dt.second)) return std::nullopt;
            if (pos < text.size()) {
                if (text[pos++] != '.') return std::nullopt;
                int scale = 100;
                int ms = 0;
                std::size_t digits = 0;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    ms += (text[pos] - '0') * scale;
                    scale /= 10;
                    ++pos;
                    ++digits;
                }
                if (digits == 0 || pos != text.size()) return std::nullopt;
                dt.millisecond = ms;
            }
        }
    }
    if (!dt.isValid()) return std::nullopt;
    return dt;
}

bool DateTime::isValid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month) && hour >= 0 && hour < 24 && minute >= 0 &&
           minute < 60 && second >= 0 && second < 60 && millisecond >= 0 && millisecond < 1000;
}

bool Value::isNumber() const {
    switch (kind()) {
        case Kind::Integer:
        case Kind::Decimal:
        case Kind::Double:
        case Kind::Boolean:
            return true;
        default:
            return false;
    }
}

std::int64_t Value::asInteger() const {
    switch (kind()) {
        case Kind::Integer:
            return std::get<1>(m_storage);
        case Kind::Boolean:
            return std::get<4>(m_storage) ? -1 : 0;
        default:
            throw typeMismatchError();
    }
}

const std::string& Value::asDecimalText() const {
    if (kind() != Kind::Decimal) throw typeMismatchError();
    return std::get<2>(m_storage).text;
}

double Value::asDouble() const {
    switch (kind()) {
        case Kind::Integer:
            return static_cast<double>(std::get<1>(m_storage));
        case Kind::Decimal: {
            const std::string& t = std::get<2>(m_storage).text;
            double v = 0;
            auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
            if (ec != std::errc()) throw typeMismatchError();
            return v;
        }
        case Kind::Double:
            return std::get<3>(m_storage);
        case Kind::Boolean:
            return std::get<4>(m_storage) ? -1.0 : 0.0;
        default:
            throw typeMismatchError();
    }
}

bool Value::asBoolean() const {
    switch (kind()) {
        case Kind::Boolean:
            return std::get<4>(m_storage);
        case Kind::Integer:
            return std::get<1>(m_storage) != 0;
        case Kind::Double:
        case Kind::Decimal:
            return asDouble() != 0.0;
        default:
            throw typeMismatchError();
    }
}

const std::string& Value::asText() const {
    if (kind() != Kind::Text) throw typeMismatchError();
    return std::get<5>(m_storage);
}

const Bytes& Value::asBytes() const {
    if (kind() != Kind::Bytes) throw typeMismatchError();
    return std::get<6>(m_storage);
}

const DateTime& Value::asDateTime() const {
    if (kind() != Kind::DateTime) throw typeMismatchError();
    return std::get<7>(m_storage);
}

std::string Value::toText() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Integer:
            return std::to_string(std::get<1>(m_storage));
        case Kind::Decimal:
            return std::get<2>(m_storage).text;
        case Kind::Double:
            return formatDouble(std::get<3>(m_storage));
        case Kind::Boolean:
            return std::get<4>(m_storage) ? "True" : "False";
        case Kind::Text:
            return std::get<5>(m_storage);
        case Kind::Bytes: {
            const Bytes& b = std::get<6>(m_storage);
            return std::string(b.begin(), b.end());
        }
        case Kind::DateTime:
            return formatDateTime(std::get<7>(m_storage));
    }
    return {};
}

std::string formatDouble(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    // Plain notation for ordinary magnitudes, scientific beyond (as the classic runtime
    // writes 1E+21); both are the shortest digits that read back to the same double.
    const double magnitude = std::fabs(v);
    const bool scientific = magnitude != 0.0 && (magnitude >= 1e15 || magnitude < 1e-5);
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v,
                                   scientific ? std::chars_format::scientific
                                              : std::chars_format::fixed);
    if (ec != std::errc()) return {};
    std::string text(buffer, end);
    if (scientific) {
        // "1e+21" -> "1E+21"; "1.5e-07" -> "1.5E-07"
        for (char& c : text) {
            if (c == 'e') c = 'E';
        }
    }
    return text;
}

std::string formatDateTime(const DateTime& dt) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month, dt.day,
                  dt.hour, dt.minute, dt.second);
    return buffer;
}

}  // namespace db
