#include "tsql/value_convert.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "catalog/server_error.h"
#include "catalog/text_util.h"

namespace sandbox::tsql {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::string t = trim(text);
    if (t.empty()) return 0;
    std::size_t i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        i = 1;
    }
    if (i >= t.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return std::nullopt;
        if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return std::nullopt;
        v = v * 10 + (t[i] - '0');
    }
    return negative ? -v : v;
}

std::optional<double> parseNumber(std::string_view text) {
    std::string t = trim(text);
    if (t.empty()) return 0.0;
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    return v;
}

[[noreturn]] void overflow(const ColumnType& type) {
    throw ServerError(8115, 16, "Arithmetic overflow error converting expression to data type " +
                                    std::string(type.base->name) + ".");
}

std::int64_t integerOf(const ColumnType& type, const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Integer: return v.integer;
        case StoredValue::Kind::Real:
            if (!(std::fabs(v.real) < 9.2e18)) overflow(type);
            return static_cast<std::int64_t>(v.real);
        case StoredValue::Kind::Text: {
            auto parsed = parseInteger(v.bytes);
            if (!parsed)
                throw ServerError(245, 16, "Syntax error converting the varchar value '" + v.bytes +
                                               "' to a column of data type " + std::string(type.base->name) + ".");
            return *parsed;
        }
        case StoredValue::Kind::Blob: {
            std::int64_t r = 0;
            for (unsigned char c : v.bytes) r = (r << 8) | c;
            return r;
        }
        case StoredValue::Kind::Null: break;
    }
    return 0;
}

double realOf(const ColumnType& type, const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Integer: return static_cast<double>(v.integer);
        case StoredValue::Kind::Real: return v.real;
        case StoredValue::Kind::Text: {
            auto parsed = parseNumber(v.bytes);
            if (!parsed) {
                std::string target = type.isExactNumeric() ? "numeric" : std::string(type.base->name);
                throw ServerError(8114, 16, "Error converting data type varchar to " + target + ".");
            }
            return *parsed;
        }
        default: return static_cast<double>(integerOf(type, v));
    }
}

bool looksLikeStoredDateTime(std::string_view s) {
    if (s.size() != 23) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        bool digit = std::isdigit(static_cast<unsigned char>(c));
        if (i == 4 || i == 7) { if (c != '-') return false; }
        else if (i == 10) { if (c != ' ') return false; }
        else if (i == 13 || i == 16) { if (c != ':') return false; }
        else if (i == 19) { if (c != '.') return false; }
        else if (!digit) return false;
    }
    return true;
}

std::string guidText(const std::string& bytes) {
    if (bytes.size() != 16) return {};
    auto b = [&](int i) { return static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]); };
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b(3), b(2),
                  b(1), b(0), b(5), b(4), b(7), b(6), b(8), b(9), b(10), b(11), b(12), b(13), b(14), b(15));
    return buf;
}

bool validGuid(const std::string& t) {
    if (t.size() != 36) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (t[i] != '-') return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(t[i]))) {
            return false;
        }
    }
    return true;
}

db::DateTime dateTimeFromDays(double days) {
    // SQL Server counts days from 1900-01-01 = OLE date 2.
    return roundToTicks(db::DateTime::fromOleDate(days + 2.0));
}

std::string padOrCut(std::string text, std::size_t chars, bool pad, ConversionMode mode, bool& truncated) {
    std::size_t n = utf8Length(text);
    if (n > chars) {
        // Blanks beyond the length are dropped silently, as SQL Server does.
        std::size_t keep = utf8Offset(text, chars);
        bool onlyBlanks = text.find_first_not_of(' ', keep) == std::string::npos;
        if (mode == ConversionMode::Assign && !onlyBlanks) truncated = true;
        text.resize(keep);
        n = chars;
    }
    if (pad && n < chars) text.append(chars - n, ' ');
    return text;
}

}  // namespace

bool isDateTimeDays(double days) {
    constexpr double kFirst = -53690;       // 1753-01-01
    constexpr double kAfterLast = 2958464;  // 10000-01-01
    return days >= kFirst && days < kAfterLast;
}

StoredValue fromSqlite(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER: return StoredValue::ofInteger(sqlite3_value_int64(value));
        case SQLITE_FLOAT: return StoredValue::ofReal(sqlite3_value_double(value));
        case SQLITE_TEXT: {
            const char* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
            return StoredValue::ofText(std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(value))));
        }
        case SQLITE_BLOB: {
            const char* p = static_cast<const char*>(sqlite3_value_blob(value));
            return StoredValue::ofBlob(p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(value))) : std::string());
        }
        default: return StoredValue::null();
    }
}

void bindStored(sqlite3_stmt* stmt, int index, const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Null: sqlite3_bind_null(stmt, index); break;
        case StoredValue::Kind::Integer: sqlite3_bind_int64(stmt, index, v.integer); break;
        case StoredValue::Kind::Real: sqlite3_bind_double(stmt, index, v.real); break;
        case StoredValue::Kind::Text:
            sqlite3_bind_text(stmt, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        case StoredValue::Kind::Blob:
            sqlite3_bind_blob(stmt, index, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
    }
}

void resultStored(sqlite3_context* context, const StoredValue& v) {
    switch (v.kind) {
        case StoredValue::Kind::Null: sqlite3_result_null(context); break;
        case StoredValue::Kind::Integer: sqlite3_result_int64(context, v.integer); break;
        case StoredValue::Kind::Real: sqlite3_result_double(context, v.real); break;
        case StoredValue::Kind::Text:
            sqlite3_result_text(context, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        case StoredValue::Kind::Blob:
            sqlite3_result_blob(context, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
    }
}

std::string numberText(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    return db::formatDouble(value);
}

std::string_view sourceTypeName(const StoredValue& value) {
    switch (value.kind) {
        case StoredValue::Kind::Integer: return "int";
        case StoredValue::Kind::Real: return "float";
        case StoredValue::Kind::Blob: return "varbinary";
        default: return "varchar";
    }
}

std::optional<db::DateTime> parseDateTimeText(std::string_view input) {
    std::string t = trim(input);
    if (t.empty()) return db::DateTime{1900, 1, 1, 0, 0, 0, 0};
    db::DateTime dt{1900, 1, 1, 0, 0, 0, 0};
    std::size_t i = 0;
    auto digits = [&](std::size_t maxCount, int& out) {
        std::size_t start = i;
        out = 0;
        while (i < t.size() && i - start < maxCount && std::isdigit(static_cast<unsigned char>(t[i])))
            out = out * 10 + (t[i++] - '0');
        return i - start;
    };
    auto skipBlanks = [&]() {
        while (i < t.size() && t[i] == ' ') ++i;
    };
    bool haveDate = false;
    if (std::isalpha(static_cast<unsigned char>(t[0]))) {
        // Mon dd yyyy
        std::string month = t.substr(0, 3);
        int m = 0;
        for (int k = 0; k < 12; ++k)
            if (iequals(month, kMonths[k])) m = k + 1;
        if (m == 0) return std::nullopt;
        i = 3;
        while (i < t.size() && std::isalpha(static_cast<unsigned char>(t[i]))) ++i;
        skipBlanks();
        int d = 0, y = 0;
        if (!digits(2, d)) return std::nullopt;
        skipBlanks();
        if (i < t.size() && t[i] == ',') ++i;
        skipBlanks();
        if (digits(4, y) != 4) return std::nullopt;
        dt.year = y;
        dt.month = m;
        dt.day = d;
        haveDate = true;
    } else {
        int a = 0;
        std::size_t n = digits(8, a);
        if (n == 8 && (i >= t.size() || t[i] == ' ' || t[i] == 'T')) {
            dt.year = a / 10000;
            dt.month = a / 100 % 100;
            dt.day = a % 100;
            haveDate = true;
        } else if (i < t.size() && (t[i] == '-' || t[i] == '.' || t[i] == '/')) {
            char sep = t[i++];
            int b = 0, c = 0;
            if (!digits(2, b)) return std::nullopt;
            if (i >= t.size() || t[i] != sep) return std::nullopt;
            ++i;
            std::size_t cn = digits(4, c);
            if (n == 4) {
                dt.year = a;
                dt.month = b;
                dt.day = c;
            } else {
                // us_english: month/day/year
                if (cn == 2) c += c < 50 ? 2000 : 1900;
                dt.year = c;
                dt.month = a;
                dt.day = b;
            }
            haveDate = true;
        } else if (i < t.size() && t[i] == ':') {
            i = 0;  // time only
        } else {
            return std::nullopt;
        }
    }
    if (haveDate) {
        if (i < t.size() && (t[i] == 'T' || t[i] == ' ')) ++i;
        skipBlanks();
    }
    if (i < t.size()) {
        int h = 0, mi = 0, s = 0, ms = 0;
        if (!digits(2, h)) return std::nullopt;
        if (i < t.size() && t[i] == ':') {
            ++i;
            if (!digits(2, mi)) return std::nullopt;
            if (i < t.size() && t[i] == ':') {
                ++i;
                if (!digits(2, s)) return std::nullopt;
                if (i < t.size() && (t[i] == '.' || t[i] == ':')) {
                    ++i;
                    std::size_t start = i;
                    int frac = 0;
                    std::size_t fn = digits(7, frac);
                    if (fn == 0) return std::nullopt;
                    double fraction = frac / std::pow(10.0, static_cast<double>(i - start));
                    ms = static_cast<int>(std::lround(fraction * 1000));
                    if (ms > 999) ms = 999;
                }
            }
        }
        skipBlanks();
        if (i + 1 < t.size() + 1 && i < t.size()) {
            std::string ampm = t.substr(i);
            if (iequals(ampm, "PM")) {
                if (h < 12) h += 12;
            } else if (iequals(ampm, "AM")) {
                if (h == 12) h = 0;
            } else {
                return std::nullopt;
            }
            i = t.size();
        }
        dt.hour = h;
        dt.minute = mi;
        dt.second = s;
        dt.millisecond = ms;
    }
    if (i != t.size() || !dt.isValid()) return std::nullopt;
    return roundToTicks(dt);
}

std::string formatDateTimeStyle(const db::DateTime& dt, int style) {
    char buf[64];
    int h12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
    const char* ampm = dt.hour < 12 ? "AM" : "PM";
    const char* mon = kMonths[(dt.month - 1) % 12];
    switch (style) {
        case 1: std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", dt.month, dt.day, dt.year % 100); break;
        case 2: std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", dt.year % 100, dt.month, dt.day); break;
        case 3: std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", dt.day, dt.month, dt.year % 100); break;
        case 4: std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", dt.day, dt.month, dt.year % 100); break;
        case 5: std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", dt.day, dt.month, dt.year % 100); break;
        case 10: std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", dt.month, dt.day, dt.year % 100); break;
        case 11: std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", dt.year % 100, dt.month, dt.day); break;
        case 12: std::snprintf(buf, sizeof buf, "%02d%02d%02d", dt.year % 100, dt.month, dt.day); break;
        case 106: std::snprintf(buf, sizeof buf, "%02d %s %04d", dt.day, mon, dt.year); break;
        case 107: std::snprintf(buf, sizeof buf, "%s %02d, %04d", mon, dt.day, dt.year); break;
        case 110: std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", dt.month, dt.day, dt.year); break;
        case 111: std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", dt.year, dt.month, dt.day); break;
        case 101: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", dt.month, dt.day, dt.year); break;
        case 102: std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", dt.year, dt.month, dt.day); break;
        case 103: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", dt.day, dt.month, dt.year); break;
        case 104: std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", dt.day, dt.month, dt.year); break;
        case 105: std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", dt.day, dt.month, dt.year); break;
        case 108: case 8: std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", dt.hour, dt.minute, dt.second); break;
        case 112: std::snprintf(buf, sizeof buf, "%04d%02d%02d", dt.year, dt.month, dt.day); break;
        case 120: case 20:
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month, dt.day, dt.hour,
                          dt.minute, dt.second);
            break;
        case 121: case 21: return formatStoredDateTime(dt);
        case 9: case 109:
            std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, dt.day, dt.year, h12, dt.minute,
                          dt.second, dt.millisecond, ampm);
            break;
        default:
            std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, dt.day, dt.year, h12, dt.minute, ampm);
            break;
    }
    return buf;
}

StoredValue convertTo(const ColumnType& type, const StoredValue& v, ConversionMode mode, int style) {
    if (v.isNull()) return v;
    bool truncated = false;
    StoredValue out;
    switch (type.base->sqlType) {
        case SqlType::Bit: return StoredValue::ofInteger(integerOf(type, v) != 0 ? 1 : 0);
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt: {
            std::int64_t i = integerOf(type, v);
            std::int64_t lo = type.base->sqlType == SqlType::TinyInt ? 0
                            : type.base->sqlType == SqlType::SmallInt ? -32768
                            : type.base->sqlType == SqlType::Int ? -2147483648LL : std::numeric_limits<std::int64_t>::min();
            std::int64_t hi = type.base->sqlType == SqlType::TinyInt ? 255
                            : type.base->sqlType == SqlType::SmallInt ? 32767
                            : type.base->sqlType == SqlType::Int ? 2147483647LL : std::numeric_limits<std::int64_t>::max();
            if (i < lo || i > hi) overflow(type);
            return StoredValue::ofInteger(i);
        }
        case SqlType::Real: case SqlType::Float: return StoredValue::ofReal(realOf(type, v));
        case SqlType::Decimal: case SqlType::Numeric: case SqlType::Money: case SqlType::SmallMoney: {
            double d = realOf(type, v);
            int scale = type.scale;
            double factor = std::pow(10.0, scale);
            d = std::round(d * factor) / factor;
            int precision = type.precision > 0 ? type.precision : 19;
            if (std::fabs(d) >= std::pow(10.0, precision - scale))
                throw ServerError(8115, 16, "Arithmetic overflow error converting " + std::string(sourceTypeName(v)) +
                                                " to data type numeric.");
            return StoredValue::ofReal(d);
        }
        case SqlType::DateTime: case SqlType::SmallDateTime: {
            db::DateTime dt;
            if (v.kind == StoredValue::Kind::Text) {
                auto parsed = parseDateTimeText(v.bytes);
                if (!parsed) throw ServerError(241, 16, "Syntax error converting datetime from character string.");
                dt = *parsed;
                if (dt.year < 1753)
                    throw ServerError(242, 16, "The conversion of a char data type to a datetime data type resulted in "
                                               "an out-of-range datetime value.");
            } else if (v.kind == StoredValue::Kind::Integer || v.kind == StoredValue::Kind::Real) {
                const double days = v.kind == StoredValue::Kind::Integer ? static_cast<double>(v.integer) : v.real;
                if (!isDateTimeDays(days)) overflow(type);
                dt = dateTimeFromDays(days);
            } else {
                throw ServerError(8114, 16, "Error converting data type varbinary to datetime.");
            }
            if (type.base->sqlType == SqlType::SmallDateTime) {
                if (dt.second >= 30) {
                    dt.second = 0;
                    dt.millisecond = 0;
                    dt = db::DateTime::fromOleDate(dt.toOleDate() + 60.0 / 86400.0);
                }
                dt.second = 0;
                dt.millisecond = 0;
            }
            return StoredValue::ofText(formatStoredDateTime(dt));
        }
        case SqlType::UniqueIdentifier: {
            if (v.kind == StoredValue::Kind::Blob && v.bytes.size() == 16) return StoredValue::ofText(guidText(v.bytes));
            // SQL Server 2000 has no conversion from a number to uniqueidentifier at all.
            if (v.kind == StoredValue::Kind::Integer)
                throw ServerError(206, 16, "Operand type clash: int is incompatible with uniqueidentifier");
            if (v.kind == StoredValue::Kind::Real)
                throw ServerError(206, 16, "Operand type clash: float is incompatible with uniqueidentifier");
            std::string t = trim(v.bytes);
            if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
            if (v.kind != StoredValue::Kind::Text || !validGuid(t))
                throw ServerError(8169, 16, "Syntax error converting from a character string to uniqueidentifier.");
            for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return StoredValue::ofText(t);
        }
        case SqlType::Char: case SqlType::VarChar: case SqlType::NChar: case SqlType::NVarChar:
        case SqlType::Text: case SqlType::NText: {
            std::string text;
            switch (v.kind) {
                case StoredValue::Kind::Integer: text = std::to_string(v.integer); break;
                case StoredValue::Kind::Real: text = numberText(v.real); break;
                case StoredValue::Kind::Text:
                    text = v.bytes;
                    if (mode == ConversionMode::Convert && looksLikeStoredDateTime(text)) {
                        auto dt = parseDateTimeText(text);
                        if (dt) text = formatDateTimeStyle(*dt, style);
                    }
                    break;
                default: text = v.bytes; break;
            }
            if (type.isLong()) return StoredValue::ofText(std::move(text));
            std::size_t chars = static_cast<std::size_t>(type.isUnicode() ? type.length / 2 : type.length);
            bool pad = type.base->sqlType == SqlType::Char || type.base->sqlType == SqlType::NChar;
            out = StoredValue::ofText(padOrCut(std::move(text), chars, pad, mode, truncated));
            break;
        }
        case SqlType::Binary: case SqlType::VarBinary: case SqlType::Image: case SqlType::Timestamp: {
            std::string bytes;
            if (v.kind == StoredValue::Kind::Blob) {
                bytes = v.bytes;
            } else if (v.kind == StoredValue::Kind::Text) {
                // SQL Server 2000 converts character data to image implicitly (an INSERT
                // may put a placeholder text into an image column); binary and varbinary
                // need CONVERT.
                if (mode == ConversionMode::Assign && type.base->sqlType != SqlType::Image)
                    throw ServerError(257, 16, "Implicit conversion from data type varchar to " +
                                                   std::string(type.base->name) +
                                                   " is not allowed. Use the CONVERT function to run this query.");
                bytes = v.bytes;
            } else {
                std::int64_t i = integerOf(type, v);
                for (int k = 3; k >= 0; --k) bytes += static_cast<char>((i >> (8 * k)) & 0xFF);
            }
            if (!type.isLong() && type.base->sqlType != SqlType::Timestamp) {
                std::size_t n = static_cast<std::size_t>(type.length);
                if (bytes.size() > n) {
                    if (mode == ConversionMode::Assign) truncated = true;
                    bytes.resize(n);
                }
                if (type.base->sqlType == SqlType::Binary && bytes.size() < n) bytes.append(n - bytes.size(), '\0');
            }
            out = StoredValue::ofBlob(std::move(bytes));
            break;
        }
        case SqlType::SqlVariant: return v;
    }
    if (truncated) throw ServerError(err::kTruncation, 16, "String or binary data would be truncated.", 9);
    return out;
}

db::Value toWireValue(const ColumnType& type, const StoredValue& v) {
    if (v.isNull()) return db::Value();
    auto asReal = [&]() {
        switch (v.kind) {
            case StoredValue::Kind::Integer: return static_cast<double>(v.integer);
            case StoredValue::Kind::Real: return v.real;
            default: return std::strtod(v.bytes.c_str(), nullptr);
        }
    };
    auto asInteger = [&]() -> std::int64_t {
        switch (v.kind) {
            case StoredValue::Kind::Integer: return v.integer;
            case StoredValue::Kind::Real: return integerOf(type, v);  // 8115 past bigint
            default: return std::strtoll(v.bytes.c_str(), nullptr, 10);
        }
    };
    switch (type.base->sqlType) {
        case SqlType::Bit: return db::Value::boolean(asInteger() != 0);
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt:
            return db::Value::integer(asInteger());
        case SqlType::Real: case SqlType::Float: return db::Value::real(asReal());
        case SqlType::Decimal: case SqlType::Numeric: case SqlType::Money: case SqlType::SmallMoney: {
            char buf[64];
            if (v.kind == StoredValue::Kind::Integer && type.scale == 0) return db::Value::decimal(std::to_string(v.integer));
            std::snprintf(buf, sizeof buf, "%.*f", type.scale, asReal());
            std::string text = buf;
            if (text == "-0" || text.rfind("-0.", 0) == 0) {
                bool zero = text.find_first_not_of("-0.") == std::string::npos;
                if (zero) text.erase(0, 1);
            }
            return db::Value::decimal(text);
        }
        case SqlType::DateTime: case SqlType::SmallDateTime: {
            if (v.kind == StoredValue::Kind::Text) {
                auto dt = parseDateTimeText(v.bytes);
                if (dt) return db::Value::dateTime(*dt);
            }
            if (v.kind == StoredValue::Kind::Integer || v.kind == StoredValue::Kind::Real) {
                if (!isDateTimeDays(asReal())) overflow(type);
                return db::Value::dateTime(dateTimeFromDays(asReal()));
            }
            return db::Value::text(v.bytes);
        }
        case SqlType::UniqueIdentifier: {
            std::string t = v.kind == StoredValue::Kind::Blob ? guidText(v.bytes) : v.bytes;
            if (!validGuid(t)) return db::Value::bytes(db::Bytes(v.bytes.begin(), v.bytes.end()));
            auto hex = [&](std::size_t pos) {
                return static_cast<std::uint8_t>(std::stoi(t.substr(pos, 2), nullptr, 16));
            };
            db::Bytes b;
            for (std::size_t pos : {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34}) b.push_back(hex(pos));
            return db::Value::bytes(std::move(b));
        }
        case SqlType::Binary: case SqlType::VarBinary: case SqlType::Image: case SqlType::Timestamp:
            if (v.kind == StoredValue::Kind::Integer) {
                db::Bytes b;
                for (int k = 7; k >= 0; --k) b.push_back(static_cast<std::uint8_t>((v.integer >> (8 * k)) & 0xFF));
                return db::Value::bytes(std::move(b));
            }
            return db::Value::bytes(db::Bytes(v.bytes.begin(), v.bytes.end()));
        case SqlType::SqlVariant:
            switch (v.kind) {
                case StoredValue::Kind::Integer: return db::Value::integer(v.integer);
                case StoredValue::Kind::Real: return db::Value::real(v.real);
                case StoredValue::Kind::Blob: return db::Value::bytes(db::Bytes(v.bytes.begin(), v.bytes.end()));
                default: return db::Value::text(v.bytes);
            }
        default:
            switch (v.kind) {
                case StoredValue::Kind::Integer: return db::Value::text(std::to_string(v.integer));
                case StoredValue::Kind::Real: return db::Value::text(numberText(v.real));
                default: return db::Value::text(v.bytes);
            }
    }
}

}  // namespace sandbox::tsql
