#include "tsql/sqlite_functions.h"

#include <cctype>
#include <cmath>
#include <random>

#include "catalog/collation.h"
#include "catalog/text_util.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {
namespace {

constexpr std::string_view kErrorPrefix = "\x01tsql:";

void raise(sqlite3_context* ctx, const ServerError& e) {
    std::string text = std::string(kErrorPrefix) + std::to_string(e.number()) + ":" + std::to_string(e.severity()) +
                       ":" + std::to_string(e.state()) + ":" + e.text();
    sqlite3_result_error(ctx, text.c_str(), static_cast<int>(text.size()));
}

template <typename F>
void guarded(sqlite3_context* ctx, F&& body) {
    try {
        body();
    } catch (const ServerError& e) {
        raise(ctx, e);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

std::string textOf(sqlite3_value* v) {
    const unsigned char* p = sqlite3_value_text(v);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

bool isNumeric(int type) { return type == SQLITE_INTEGER || type == SQLITE_FLOAT; }

// '+' of T-SQL: concatenation when both operands are character (or both binary) data,
// arithmetic otherwise; a text operand of an arithmetic '+' is converted to a number.
// Examples: ('a', 'b') -> 'ab'; (1, '2') -> 3; ('x', 1) -> error 245; (NULL, 'a') -> NULL.
void addFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
        if (ta == SQLITE_NULL || tb == SQLITE_NULL) return sqlite3_result_null(ctx);
        if ((ta == SQLITE_TEXT && tb == SQLITE_TEXT) || (ta == SQLITE_BLOB && tb == SQLITE_BLOB)) {
            std::string s = textOf(argv[0]) + textOf(argv[1]);
            if (ta == SQLITE_BLOB) return sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            return sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        }
        StoredValue a = fromSqlite(argv[0]), b = fromSqlite(argv[1]);
        bool real = ta == SQLITE_FLOAT || tb == SQLITE_FLOAT;
        ColumnType target = *makeColumnType(real ? "float" : "int", std::nullopt, std::nullopt);
        if (!real) {
            // A text operand that holds a decimal number makes the sum a float.
            for (const StoredValue* s : {&a, &b})
                if (s->kind == StoredValue::Kind::Text && s->bytes.find('.') != std::string::npos)
                    target = *makeColumnType("float", std::nullopt, std::nullopt);
        }
        if (target.base->sqlType == SqlType::Float) {
            double x = convertTo(target, a, ConversionMode::Convert).real;
            double y = convertTo(target, b, ConversionMode::Convert).real;
            return sqlite3_result_double(ctx, x + y);
        }
        ColumnType big = *makeColumnType("bigint", std::nullopt, std::nullopt);
        std::int64_t x = (a.kind == StoredValue::Kind::Text ? convertTo(target, a, ConversionMode::Convert)
                                                            : convertTo(big, a, ConversionMode::Convert)).integer;
        std::int64_t y = (b.kind == StoredValue::Kind::Text ? convertTo(target, b, ConversionMode::Convert)
                                                            : convertTo(big, b, ConversionMode::Convert)).integer;
        sqlite3_result_int64(ctx, x + y);
    });
}

void getdateFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    std::string t = formatStoredDateTime(now());
    sqlite3_result_text(ctx, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// tsql_convert(type name, size1, size2, value, style)
void convertFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        std::string name = textOf(argv[0]);
        std::optional<int> a, b;
        if (sqlite3_value_type(argv[1]) != SQLITE_NULL) a = sqlite3_value_int(argv[1]);
        if (sqlite3_value_type(argv[2]) != SQLITE_NULL) b = sqlite3_value_int(argv[2]);
        auto type = makeColumnType(name, a, b);
        // CONVERT(varchar, x) without a length means varchar(30).
        if (type && !a && (type->base->shape == TypeShape::Sized || type->base->shape == TypeShape::UnicodeSized))
            type = makeColumnType(name, 30, std::nullopt);
        int style = sqlite3_value_type(argv[4]) == SQLITE_NULL ? 0 : sqlite3_value_int(argv[4]);
        resultStored(ctx, convertTo(*type, fromSqlite(argv[3]), ConversionMode::Convert, style));
    });
}

// SQL Server LIKE: % any run, _ one character, [abc] / [a-z] / [^a] sets; letter case
// and trailing blanks of the value ignored.
bool likeMatch(const std::u32string& p, std::size_t pi, const std::u32string& s, std::size_t si, char32_t escape) {
    while (pi < p.size()) {
        char32_t c = p[pi];
        if (escape && c == escape && pi + 1 < p.size()) {
            if (si >= s.size() || s[si] != p[pi + 1]) return false;
            pi += 2;
            ++si;
            continue;
        }
        if (c == U'%') {
            while (pi < p.size() && p[pi] == U'%') ++pi;
            if (pi == p.size()) return true;
            for (std::size_t k = si; k <= s.size(); ++k)
                if (likeMatch(p, pi, s, k, escape)) return true;
            return false;
        }
        if (si >= s.size()) return false;
        if (c == U'_') {
            ++pi;
            ++si;
            continue;
        }
        if (c == U'[') {
            std::size_t close = p.find(U']', pi + 1);
            if (close != std::u32string::npos) {
                bool negate = pi + 1 < close && p[pi + 1] == U'^';
                bool found = false;
                for (std::size_t k = pi + 1 + (negate ? 1 : 0); k < close; ++k) {
                    if (k + 2 < close && p[k + 1] == U'-') {
                        if (s[si] >= p[k] && s[si] <= p[k + 2]) found = true;
                        k += 2;
                    } else if (p[k] == s[si]) {
                        found = true;
                    }
                }
                if (found == negate) return false;
                pi = close + 1;
                ++si;
                continue;
            }
        }
        if (c != s[si]) return false;
        ++pi;
        ++si;
    }
    return si == s.size();
}

std::u32string foldForLike(std::string_view text, bool trimBlanks) {
    std::u32string out;
    auto bytes = utf8ToUtf16le(text);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 32;
        out.push_back(c);
    }
    if (trimBlanks)
        while (!out.empty() && out.back() == U' ') out.pop_back();
    return out;
}

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::u32string pattern = foldForLike(textOf(argv[0]), false);
    std::u32string value = foldForLike(textOf(argv[1]), true);
    char32_t escape = 0;
    if (argc == 3) {
        auto e = foldForLike(textOf(argv[2]), false);
        if (!e.empty()) escape = e[0];
    }
    // Trailing blanks of the pattern are not significant either when the value has none.
    if (!likeMatch(pattern, 0, value, 0, escape)) {
        std::u32string trimmed = pattern;
        while (!trimmed.empty() && trimmed.back() == U' ') trimmed.pop_back();
        return sqlite3_result_int(ctx, likeMatch(trimmed, 0, value, 0, escape) ? 1 : 0);
    }
    sqlite3_result_int(ctx, 1);
}

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string s = textOf(argv[0]);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(utf8Length(s)));
}

void datalengthFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int t = sqlite3_value_type(argv[0]);
    if (t == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (t == SQLITE_INTEGER) return sqlite3_result_int(ctx, 4);
    if (t == SQLITE_FLOAT) return sqlite3_result_int(ctx, 8);
    // Character data counts one byte per character, as in a single-byte code page.
    if (t == SQLITE_TEXT) return sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(utf8Length(textOf(argv[0]))));
    sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
}

void charindexFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::u32string needle = foldForLike(textOf(argv[0]), false), hay = foldForLike(textOf(argv[1]), false);
    std::size_t start = 0;
    if (argc == 3 && sqlite3_value_int(argv[2]) > 1) start = static_cast<std::size_t>(sqlite3_value_int(argv[2]) - 1);
    if (needle.empty()) return sqlite3_result_int(ctx, 0);
    std::size_t pos = hay.find(needle, start);
    sqlite3_result_int64(ctx, pos == std::u32string::npos ? 0 : static_cast<sqlite3_int64>(pos + 1));
}

void rightFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string s = textOf(argv[0]);
    std::int64_t n = sqlite3_value_int64(argv[1]);
    std::size_t len = utf8Length(s);
    if (n < 0) n = 0;
    std::size_t from = static_cast<std::size_t>(n) >= len ? 0 : len - static_cast<std::size_t>(n);
    std::string r = s.substr(utf8Offset(s, from));
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void roundingFunction(sqlite3_context* ctx, sqlite3_value* v, double (*op)(double)) {
    int t = sqlite3_value_type(v);
    if (t == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (t == SQLITE_INTEGER) return sqlite3_result_int64(ctx, sqlite3_value_int64(v));
    sqlite3_result_double(ctx, op(sqlite3_value_double(v)));
}

void floorFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    roundingFunction(ctx, argv[0], [](double d) { return std::floor(d); });
}
void ceilingFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    roundingFunction(ctx, argv[0], [](double d) { return std::ceil(d); });
}

void newidFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    char buf[40];
    std::uint64_t a = rng(), b = rng();
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>((a & 0x0FFF) | 0x4000),
                  static_cast<unsigned>(((b >> 48) & 0x3FFF) | 0x8000),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
    sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

void replicateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string s = textOf(argv[0]), r;
    for (std::int64_t i = 0; i < sqlite3_value_int64(argv[1]) && r.size() < 8000; ++i) r += s;
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void isnumericFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    int t = sqlite3_value_type(argv[0]);
    if (isNumeric(t)) return sqlite3_result_int(ctx, 1);
    if (t != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
    std::string s = textOf(argv[0]);
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    bool ok = !s.empty() && end && *end == '\0';
    sqlite3_result_int(ctx, ok ? 1 : 0);
}

std::optional<db::DateTime> dateArgument(sqlite3_value* v) {
    StoredValue s = fromSqlite(v);
    if (s.isNull()) return std::nullopt;
    ColumnType dt = *makeColumnType("datetime", std::nullopt, std::nullopt);
    StoredValue stored = convertTo(dt, s, ConversionMode::Convert);
    return parseDateTimeText(stored.bytes);
}

// Normalises a datepart name: "yyyy", "yy", "year" -> "year".
std::string datePart(std::string part) {
    part = lower(part);
    if (part == "yy" || part == "yyyy") return "year";
    if (part == "mm" || part == "m") return "month";
    if (part == "dd" || part == "d") return "day";
    if (part == "hh") return "hour";
    if (part == "mi" || part == "n") return "minute";
    if (part == "ss" || part == "s") return "second";
    if (part == "ms") return "millisecond";
    if (part == "dy" || part == "y") return "dayofyear";
    if (part == "dw") return "weekday";
    return part;
}

void datepartFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        auto dt = dateArgument(argv[1]);
        if (!dt) return sqlite3_result_null(ctx);
        std::string part = datePart(textOf(argv[0]));
        int v = part == "year" ? dt->year : part == "month" ? dt->month : part == "day" ? dt->day
              : part == "hour" ? dt->hour : part == "minute" ? dt->minute : part == "second" ? dt->second
              : part == "millisecond" ? dt->millisecond
              : part == "weekday" ? (static_cast<int>(std::floor(dt->toOleDate())) + 6) % 7 + 1 : 0;
        sqlite3_result_int(ctx, v);
    });
}

// DATENAME(part, date): the part as text, month and weekday by their us_english names.
// Example: (month, '1997-08-25') -> 'August'; (yy, '1997-08-25') -> '1997'.
void datenameFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        auto dt = dateArgument(argv[1]);
        if (!dt) return sqlite3_result_null(ctx);
        static const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                                  "July",    "August",   "September", "October", "November", "December"};
        static const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        const std::string part = datePart(textOf(argv[0]));
        std::string text;
        if (part == "month") {
            text = kMonthNames[(dt->month - 1) % 12];
        } else if (part == "weekday") {
            text = kDayNames[(static_cast<int>(std::floor(dt->toOleDate())) + 6) % 7];
        } else {
            int v = part == "year" ? dt->year : part == "day" ? dt->day : part == "hour" ? dt->hour
                  : part == "minute" ? dt->minute : part == "second" ? dt->second
                  : part == "millisecond" ? dt->millisecond : part == "quarter" || part == "qq" || part == "q"
                  ? (dt->month - 1) / 3 + 1 : 0;
            text = std::to_string(v);
        }
        sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    });
}

void dateaddFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        auto dt = dateArgument(argv[2]);
        if (!dt || sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
        std::string part = datePart(textOf(argv[0]));
        std::int64_t n = sqlite3_value_int64(argv[1]);
        db::DateTime r = *dt;
        // 517 when the sum leaves datetime's range; checked before the arithmetic, which a
        // far-out number would overflow.
        const ServerError overflow(517, 16, "Adding a value to a 'datetime' column caused overflow.");
        if (part == "year" || part == "month") {
            constexpr std::int64_t kMonthsInRange = 10000 * 12;
            if (n > kMonthsInRange || n < -kMonthsInRange) throw overflow;
            std::int64_t months = r.year * 12LL + (r.month - 1) + (part == "year" ? n * 12 : n);
            if (months < 1753 * 12 || months >= 10000 * 12) throw overflow;
            r.year = static_cast<int>(months / 12);
            r.month = static_cast<int>(months % 12) + 1;
            static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            int maxDay = kDays[r.month - 1] + ((r.month == 2 && ((r.year % 4 == 0 && r.year % 100 != 0) || r.year % 400 == 0)) ? 1 : 0);
            if (r.day > maxDay) r.day = maxDay;
        } else {
            double seconds = part == "day" || part == "dayofyear" || part == "weekday" ? 86400.0 : part == "hour" ? 3600.0
                           : part == "minute" ? 60.0 : part == "second" ? 1.0 : part == "millisecond" ? 0.001 : 86400.0;
            int ms = r.millisecond;
            r.millisecond = 0;
            const double ole = r.toOleDate() + static_cast<double>(n) * seconds / 86400.0;
            if (!isDateTimeDays(ole - 2.0)) throw overflow;  // OLE date 2 is 1900-01-01
            r = db::DateTime::fromOleDate(ole);
            r.millisecond = (r.millisecond + ms) % 1000;
        }
        std::string t = formatStoredDateTime(roundToTicks(r));
        sqlite3_result_text(ctx, t.c_str(), -1, SQLITE_TRANSIENT);
    });
}

void datediffFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    guarded(ctx, [&] {
        auto a = dateArgument(argv[1]), b = dateArgument(argv[2]);
        if (!a || !b) return sqlite3_result_null(ctx);
        std::string part = datePart(textOf(argv[0]));
        std::int64_t r = 0;
        if (part == "year") r = b->year - a->year;
        else if (part == "month") r = (b->year - a->year) * 12LL + (b->month - a->month);
        else {
            double da = a->toOleDate(), dbv = b->toOleDate();
            if (part == "day" || part == "dayofyear" || part == "weekday") r = static_cast<std::int64_t>(std::floor(dbv) - std::floor(da));
            else if (part == "hour") r = static_cast<std::int64_t>(std::floor(dbv * 24 + 1e-9) - std::floor(da * 24 + 1e-9));
            else if (part == "minute") r = static_cast<std::int64_t>(std::floor(dbv * 1440 + 1e-9) - std::floor(da * 1440 + 1e-9));
            else r = static_cast<std::int64_t>(std::llround((dbv - da) * 86400.0));
        }
        sqlite3_result_int64(ctx, r);
    });
}

}  // namespace

void registerFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8;
    const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "tsql_add", 2, pure, nullptr, addFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_getdate", 0, flags, nullptr, getdateFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_convert", 5, pure, nullptr, convertFunction, nullptr, nullptr);
    sqlite3_create_function(db, "like", 2, pure, nullptr, likeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "like", 3, pure, nullptr, likeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_len", 1, pure, nullptr, lenFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_datalength", 1, pure, nullptr, datalengthFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_charindex", 2, pure, nullptr, charindexFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_charindex", 3, pure, nullptr, charindexFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_right", 2, pure, nullptr, rightFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_floor", 1, pure, nullptr, floorFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_ceiling", 1, pure, nullptr, ceilingFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_newid", 0, flags, nullptr, newidFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_replicate", 2, pure, nullptr, replicateFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_isnumeric", 1, pure, nullptr, isnumericFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_datepart", 2, pure, nullptr, datepartFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_datename", 2, pure, nullptr, datenameFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_dateadd", 3, pure, nullptr, dateaddFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsql_datediff", 3, pure, nullptr, datediffFunction, nullptr, nullptr);
}

std::optional<ServerError> decodeFunctionError(const std::string& message) {
    std::size_t at = message.find(kErrorPrefix);
    if (at == std::string::npos) return std::nullopt;
    std::string rest = message.substr(at + kErrorPrefix.size());
    std::size_t a = rest.find(':'), b = rest.find(':', a + 1), c = rest.find(':', b + 1);
    if (a == std::string::npos || b == std::string::npos || c == std::string::npos) return std::nullopt;
    int number = std::stoi(rest.substr(0, a));
    int severity = std::stoi(rest.substr(a + 1, b - a - 1));
    int state = std::stoi(rest.substr(b + 1, c - b - 1));
    return ServerError(number, static_cast<std::uint8_t>(severity), rest.substr(c + 1), static_cast<std::uint8_t>(state));
}

}  // namespace sandbox::tsql
