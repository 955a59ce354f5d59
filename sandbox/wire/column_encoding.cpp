#include "wire/column_encoding.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "wire/text_codec.h"

namespace sandbox::wire {
namespace {

constexpr std::uint32_t kMaxShortLength = 8000;
constexpr std::uint16_t kNullShortLength = 0xFFFF;
constexpr std::uint16_t kTimestampUserType = 80;
constexpr std::uint16_t kFlagNullable = 0x01;
constexpr std::uint16_t kFlagUpdatableUnknown = 0x08;
constexpr std::uint16_t kFlagIdentity = 0x10;
constexpr Collation kDefaultCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

// Bits of the collation's flag nibbles (byte 2 holds bits 16..23 of the LCID word).
constexpr std::uint8_t kIgnoreCase = 0x10;
constexpr std::uint8_t kIgnoreAccent = 0x20;
constexpr std::uint8_t kIgnoreWidth = 0x40;
constexpr std::uint8_t kIgnoreKana = 0x80;
constexpr std::uint8_t kBinary = 0x01;   // in byte 3
constexpr std::uint8_t kBinary2 = 0x02;  // in byte 3

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool hasSuffix(const std::string& name, std::string_view part) {
    return name.find(std::string(part)) != std::string::npos;
}

[[noreturn]] void fail(const WireColumn& column, const std::string& why) {
    throw ValueEncodingError("cannot send a value of column '" + column.name + "': " + why);
}

// scaleDecimal with the column named in its error.
ScaledDecimal scaleFor(const WireColumn& column, std::string_view text, int scale) {
    try {
        return scaleDecimal(text, scale);
    } catch (const ValueEncodingError& e) {
        fail(column, e.what());
    }
}

// The signed 64-bit value of a scaled decimal; fails outside -2^63..2^63-1.
std::int64_t toInt64(const WireColumn& column, const ScaledDecimal& scaled, const char* what) {
    const std::uint64_t magnitude = (std::uint64_t(scaled.words[1]) << 32) | scaled.words[0];
    const std::uint64_t limit = scaled.negative ? (1ULL << 63) : (1ULL << 63) - 1;
    if (scaled.words[2] != 0 || scaled.words[3] != 0 || magnitude > limit) fail(column, std::string(what) + " out of range");
    return scaled.negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

// Integer value of any numeric kind (or numeric text); fails on fractions that are not
// whole and on text that is not a number.
std::int64_t toInteger(const WireColumn& column, const db::Value& value) {
    switch (value.kind()) {
        case db::Value::Kind::Integer: return value.asInteger();
        case db::Value::Kind::Boolean: return value.asBoolean() ? 1 : 0;
        case db::Value::Kind::Double: {
            const double d = value.asDouble();
            if (!std::isfinite(d) || d < -9.3e18 || d > 9.3e18) fail(column, "number out of range");
            return static_cast<std::int64_t>(std::llround(d));
        }
        case db::Value::Kind::Decimal:
        case db::Value::Kind::Text: {
            const std::string& text =
                value.kind() == db::Value::Kind::Text ? value.asText() : value.asDecimalText();
            return toInt64(column, scaleFor(column, text, 0), "number");
        }
        default: fail(column, "not a number");
    }
}

double toDouble(const WireColumn& column, const db::Value& value) {
    if (value.isNumber()) return value.asDouble();
    if (value.kind() == db::Value::Kind::Text) {
        double d = 0;
        const std::string& text = value.asText();
        const auto result = std::from_chars(text.data(), text.data() + text.size(), d);
        if (result.ec == std::errc() && result.ptr == text.data() + text.size()) return d;
    }
    fail(column, "not a number");
}

// Decimal text of any numeric kind: "12.5" stays, 3 -> "3", 0.25 -> "0.25".
std::string toDecimalText(const WireColumn& column, const db::Value& value) {
    switch (value.kind()) {
        case db::Value::Kind::Decimal: return value.asDecimalText();
        case db::Value::Kind::Integer: return std::to_string(value.asInteger());
        case db::Value::Kind::Boolean: return value.asBoolean() ? "1" : "0";
        case db::Value::Kind::Double: {
            if (!std::isfinite(value.asDouble())) fail(column, "not a finite number");
            char buffer[64];
            const int n = std::snprintf(buffer, sizeof buffer, "%.15f", value.asDouble());
            return std::string(buffer, static_cast<std::size_t>(n));
        }
        case db::Value::Kind::Text: return value.asText();
        default: fail(column, "not a number");
    }
}

db::DateTime toDateTime(const WireColumn& column, const db::Value& value) {
    if (value.kind() == db::Value::Kind::DateTime) return value.asDateTime();
    if (value.kind() == db::Value::Kind::Text) {
        if (auto parsed = db::DateTime::parse(value.asText())) return *parsed;
    }
    if (value.kind() == db::Value::Kind::Double) return db::DateTime::fromOleDate(value.asDouble());
    fail(column, "not a date and time");
}

// Bytes of a character value in the column's encoding: code page 1252 for char, varchar
// and text; UCS-2LE for the n-types.
Bytes characterBytes(const db::Value& value, bool unicode) {
    std::string text;
    if (value.kind() == db::Value::Kind::Bytes) {
        const db::Bytes& raw = value.asBytes();
        text.assign(raw.begin(), raw.end());
    } else {
        text = value.toText();
    }
    return unicode ? utf8ToUcs2(text) : utf8ToCp1252(text);
}

Bytes binaryBytes(const db::Value& value) {
    if (value.kind() == db::Value::Kind::Bytes) return value.asBytes();
    const std::string text = value.toText();
    return Bytes(text.begin(), text.end());
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A uniqueidentifier as the 16 bytes SQL Server sends: the first three groups of the
// text form little-endian. Example: "00112233-4455-6677-8899-AABBCCDDEEFF" ->
// 33 22 11 00 55 44 77 66 88 99 AA BB CC DD EE FF.
Bytes guidBytes(const WireColumn& column, const db::Value& value) {
    if (value.kind() == db::Value::Kind::Bytes) {
        if (value.asBytes().size() != 16) fail(column, "a uniqueidentifier needs 16 bytes");
        return value.asBytes();
    }
    if (value.kind() != db::Value::Kind::Text) fail(column, "not a uniqueidentifier");
    std::string text = value.asText();
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    Bytes digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-' && (i == 8 || i == 13 || i == 18 || i == 23)) continue;
        const int hi = hexDigit(text[i]);
        const int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0) fail(column, "not a uniqueidentifier");
        digits.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        ++i;
    }
    if (digits.size() != 16 || text.size() != 36) fail(column, "not a uniqueidentifier");
    std::reverse(digits.begin(), digits.begin() + 4);
    std::reverse(digits.begin() + 4, digits.begin() + 6);
    std::reverse(digits.begin() + 6, digits.begin() + 8);
    return digits;
}

// Bytes of a decimal magnitude (LE) for a DECIMALN value of the given total length.
std::uint8_t decimalLength(int precision) {
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

void writeMagnitude(ByteWriter& out, const ScaledDecimal& scaled, std::size_t byteCount) {
    for (std::size_t i = 0; i < byteCount; ++i)
        out.u8(static_cast<std::uint8_t>(scaled.words[i / 4] >> (8 * (i % 4))));
}

// Fractional digits of a decimal text: "1.250" -> 3, "7" -> 0.
int fractionDigits(const std::string& text) {
    const auto point = text.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

bool isFixedWidth(SqlType t) {
    switch (t) {
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt:
        case SqlType::Bit: case SqlType::Real: case SqlType::Float: case SqlType::Money:
        case SqlType::SmallMoney: case SqlType::DateTime: case SqlType::SmallDateTime:
            return true;
        default: return false;
    }
}

// Fixed (NOT NULL) and nullable type codes and the value width of the fixed-width types.
struct FixedForm {
    TdsType fixed;
    TdsType nullable;
    std::uint8_t width;
};

FixedForm fixedForm(SqlType t) {
    switch (t) {
        case SqlType::TinyInt: return {TdsType::Int1, TdsType::IntN, 1};
        case SqlType::SmallInt: return {TdsType::Int2, TdsType::IntN, 2};
        case SqlType::Int: return {TdsType::Int4, TdsType::IntN, 4};
        case SqlType::BigInt: return {TdsType::Int8, TdsType::IntN, 8};
        case SqlType::Bit: return {TdsType::Bit, TdsType::BitN, 1};
        case SqlType::Real: return {TdsType::Flt4, TdsType::FltN, 4};
        case SqlType::Float: return {TdsType::Flt8, TdsType::FltN, 8};
        case SqlType::Money: return {TdsType::Money, TdsType::MoneyN, 8};
        case SqlType::SmallMoney: return {TdsType::Money4, TdsType::MoneyN, 4};
        case SqlType::DateTime: return {TdsType::DateTime, TdsType::DateTimeN, 8};
        case SqlType::SmallDateTime: return {TdsType::DateTime4, TdsType::DateTimeN, 4};
        default: return {TdsType::IntN, TdsType::IntN, 4};
    }
}

bool isLongType(TdsType t) { return t == TdsType::Text || t == TdsType::NText || t == TdsType::Image; }

bool hasCollation(TdsType t) {
    return t == TdsType::BigChar || t == TdsType::BigVarChar || t == TdsType::Text ||
           t == TdsType::NChar || t == TdsType::NVarChar || t == TdsType::NText;
}

// The longest encoded value of a variable-length column, in bytes.
std::uint32_t longestValue(const RowSet& rowSet, std::size_t index, const WireColumn& column) {
    std::size_t longest = 0;
    for (const auto& row : rowSet.rows) {
        const db::Value& v = row[index];
        if (v.isNull()) continue;
        std::size_t size = 0;
        switch (column.sqlType) {
            case SqlType::Char: case SqlType::VarChar: case SqlType::Text:
                size = characterBytes(v, false).size();
                break;
            case SqlType::NChar: case SqlType::NVarChar: case SqlType::NText:
                size = characterBytes(v, true).size();
                break;
            default: size = binaryBytes(v).size();
        }
        longest = std::max(longest, size);
    }
    return static_cast<std::uint32_t>(std::min<std::size_t>(longest, 0x7FFFFFFF));
}

void writeIntegerBytes(ByteWriter& out, std::int64_t v, std::uint8_t width) {
    for (std::uint8_t i = 0; i < width; ++i) out.u8(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
}

void checkIntegerRange(const WireColumn& column, std::int64_t v, std::uint8_t width) {
    bool ok = true;
    if (column.sqlType == SqlType::TinyInt) ok = v >= 0 && v <= 255;
    else if (width == 2) ok = v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max();
    else if (width == 4) ok = v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
    if (!ok) fail(column, "integer " + std::to_string(v) + " out of range");
}

// Money in ten-thousandths: "12.34567" -> 123457.
std::int64_t moneyUnits(const WireColumn& column, const db::Value& value) {
    return toInt64(column, scaleFor(column, toDecimalText(column, value), 4), "money value");
}

void writeFixedValue(ByteWriter& out, const WireColumn& column, const db::Value& value,
                     std::uint8_t width) {
    switch (column.sqlType) {
        case SqlType::TinyInt: case SqlType::SmallInt: case SqlType::Int: case SqlType::BigInt: {
            const std::int64_t v = toInteger(column, value);
            checkIntegerRange(column, v, width);
            writeIntegerBytes(out, v, width);
            return;
        }
        case SqlType::Bit: out.u8(toInteger(column, value) != 0 ? 1 : 0); return;
        case SqlType::Real: {
            const float f = static_cast<float>(toDouble(column, value));
            std::uint32_t bits = 0;
            std::memcpy(&bits, &f, 4);
            out.u32(bits);
            return;
        }
        case SqlType::Float: {
            const double d = toDouble(column, value);
            std::uint64_t bits = 0;
            std::memcpy(&bits, &d, 8);
            out.u64(bits);
            return;
        }
        case SqlType::Money: {
            // SQL Server quirk: the 64-bit money value goes high 32 bits first, then low.
            const auto units = static_cast<std::uint64_t>(moneyUnits(column, value));
            out.u32(static_cast<std::uint32_t>(units >> 32));
            out.u32(static_cast<std::uint32_t>(units));
            return;
        }
        case SqlType::SmallMoney: {
            const std::int64_t units = moneyUnits(column, value);
            if (units < std::numeric_limits<std::int32_t>::min() || units > std::numeric_limits<std::int32_t>::max())
                fail(column, "smallmoney value out of range");
            out.i32(static_cast<std::int32_t>(units));
            return;
        }
        case SqlType::DateTime: {
            const db::DateTime dt = toDateTime(column, value);
            if (dt.year < 1753 || dt.year > 9999 || !dt.isValid()) fail(column, "datetime out of range");
            const DateTimeTicks t = toDateTimeTicks(dt);
            out.i32(t.days);
            out.u32(t.ticks);
            return;
        }
        case SqlType::SmallDateTime: {
            const db::DateTime dt = toDateTime(column, value);
            if (!dt.isValid()) fail(column, "smalldatetime out of range");
            DateTimeTicks t = toDateTimeTicks(dt);
            const std::int64_t ms = std::int64_t(dt.hour * 3600 + dt.minute * 60 + dt.second) * 1000 + dt.millisecond;
            // SQL Server rounds 29.998 s down and 29.999 s up to the minute.
            std::int64_t minutes = (ms + 30001) / 60000;
            std::int64_t days = t.days;
            if (minutes >= 1440) {
                minutes -= 1440;
                ++days;
            }
            if (days < 0 || days > 65535) fail(column, "smalldatetime out of range");
            out.u16(static_cast<std::uint16_t>(days));
            out.u16(static_cast<std::uint16_t>(minutes));
            return;
        }
        default: fail(column, "not a fixed-width type");
    }
}

// sql_variant: the value's own base type, chosen from the kind of value.
void writeVariant(ByteWriter& out, const WireColumn& column, const db::Value& value) {
    ByteWriter body;
    switch (value.kind()) {
        case db::Value::Kind::Integer: {
            const std::int64_t v = value.asInteger();
            if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max()) {
                body.u8(static_cast<std::uint8_t>(TdsType::Int4));
                body.u8(0);
                body.i32(static_cast<std::int32_t>(v));
            } else {
                body.u8(static_cast<std::uint8_t>(TdsType::Int8));
                body.u8(0);
                body.u64(static_cast<std::uint64_t>(v));
            }
            break;
        }
        case db::Value::Kind::Boolean:
            body.u8(static_cast<std::uint8_t>(TdsType::Bit));
            body.u8(0);
            body.u8(value.asBoolean() ? 1 : 0);
            break;
        case db::Value::Kind::Double: {
            body.u8(static_cast<std::uint8_t>(TdsType::Flt8));
            body.u8(0);
            const double d = value.asDouble();
            std::uint64_t bits = 0;
            std::memcpy(&bits, &d, 8);
            body.u64(bits);
            break;
        }
        case db::Value::Kind::Decimal: {
            const std::string& text = value.asDecimalText();
            const int scale = std::min(fractionDigits(text), 38);
            const ScaledDecimal scaled = scaleFor(column, text, scale);
            if (scaled.digits > 38) fail(column, "decimal value out of range");
            const int precision = std::max({scaled.digits, scale, 1});
            body.u8(static_cast<std::uint8_t>(TdsType::NumericN));
            body.u8(2);
            body.u8(static_cast<std::uint8_t>(precision));
            body.u8(static_cast<std::uint8_t>(scale));
            body.u8(scaled.negative ? 0 : 1);
            writeMagnitude(body, scaled, decimalLength(precision) - 1u);
            break;
        }
        case db::Value::Kind::DateTime: {
            body.u8(static_cast<std::uint8_t>(TdsType::DateTime));
            body.u8(0);
            const DateTimeTicks t = toDateTimeTicks(value.asDateTime());
            body.i32(t.days);
            body.u32(t.ticks);
            break;
        }
        case db::Value::Kind::Bytes: {
            Bytes data = value.asBytes();
            if (data.size() > kMaxShortLength) fail(column, "sql_variant value longer than 8000 bytes");
            body.u8(static_cast<std::uint8_t>(TdsType::BigVarBinary));
            body.u8(2);
            body.u16(static_cast<std::uint16_t>(kMaxShortLength));
            body.bytes(data);
            break;
        }
        default: {
            Bytes data = utf8ToUcs2(value.toText());
            if (data.size() > kMaxShortLength) fail(column, "sql_variant value longer than 8000 bytes");
            body.u8(static_cast<std::uint8_t>(TdsType::NVarChar));
            body.u8(7);
            // Byte by byte: inserting the fixed array and then appending to the buffer makes
            // GCC 12 at -O3 warn of a write past the end, which appending cannot do.
            for (const std::uint8_t byte : kDefaultCollation) body.u8(byte);
            body.u16(static_cast<std::uint16_t>(kMaxShortLength));
            body.bytes(data);
            break;
        }
    }
    out.u32(static_cast<std::uint32_t>(body.size()));
    out.bytes(body.data());
}

// Text pointer and timestamp in front of a text, ntext or image value. Clients do not
// look into them; they only need 16 + 8 bytes.
constexpr std::uint8_t kTextPointer[16] = {0x53, 0x42, 0x58, 0x54, 0x50, 0x54, 0x52, 0x00,
                                           0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kTextTimestamp[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};

}  // namespace

Collation collationBytes(std::string_view name) {
    const std::string n = upper(name);
    if (n.rfind("SQL_LATIN1_GENERAL_CP1_", 0) == 0 || n.rfind("SQL_LATIN1_GENERAL_PREF_CP1_", 0) == 0) {
        const bool pref = n.rfind("SQL_LATIN1_GENERAL_PREF_", 0) == 0;
        if (pref && hasSuffix(n, "_CI_AS")) return {0x09, 0x04, 0xD0, 0x00, 53};
        if (hasSuffix(n, "_CS_AS")) return {0x09, 0x04, 0xC0, 0x00, 51};
        if (hasSuffix(n, "_CI_AI")) return {0x09, 0x04, 0xF0, 0x00, 54};
        return kDefaultCollation;
    }
    if (n.rfind("LATIN1_GENERAL_", 0) == 0) {
        Collation c = {0x09, 0x04, 0x00, 0x00, 0x00};
        if (hasSuffix(n, "_BIN2")) {
            c[3] = kBinary2;
            return c;
        }
        if (hasSuffix(n, "_BIN")) {
            c[3] = kBinary;
            return c;
        }
        if (hasSuffix(n, "_CI")) c[2] |= kIgnoreCase;
        if (hasSuffix(n, "_AI")) c[2] |= kIgnoreAccent;
        if (!hasSuffix(n, "_WS")) c[2] |= kIgnoreWidth;
        if (!hasSuffix(n, "_KS")) c[2] |= kIgnoreKana;
        return c;
    }
    return kDefaultCollation;
}

DateTimeTicks toDateTimeTicks(const db::DateTime& value) {
    static const db::DateTime kEpoch{1900, 1, 1, 0, 0, 0, 0};
    // Whole days between the dates through the OLE date, which counts whole days exactly.
    const double epochOle = kEpoch.toOleDate();
    db::DateTime midnight = value;
    midnight.hour = midnight.minute = midnight.second = midnight.millisecond = 0;
    std::int64_t days = std::llround(midnight.toOleDate() - epochOle);
    const std::int64_t ms =
        std::int64_t(value.hour * 3600 + value.minute * 60 + value.second) * 1000 + value.millisecond;
    std::int64_t ticks = (ms * 3 + 5) / 10;  // 1/300 s, to the nearest tick
    if (ticks >= 300LL * 86400) {
        ticks -= 300LL * 86400;
        ++days;
    }
    return {static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks)};
}

ScaledDecimal scaleDecimal(std::string_view text, int scale) {
    ScaledDecimal result;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) result.negative = text[i++] == '-';
    std::string digits;
    int fraction = 0;
    bool seenPoint = false;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (c >= '0' && c <= '9') {
            any = true;
            if (seenPoint) {
                if (fraction == scale) {
                    // First dropped digit decides the rounding; the rest do not matter.
                    if (c >= '5') {
                        // Round half away from zero by adding one to the kept digits.
                        int k = static_cast<int>(digits.size()) - 1;
                        while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9') digits[static_cast<std::size_t>(k--)] = '0';
                        if (k >= 0) ++digits[static_cast<std::size_t>(k)];
                        else digits.insert(digits.begin(), '1');
                    }
                    fraction = scale + 1;
                    continue;
                }
                if (fraction > scale) continue;
                ++fraction;
            }
            digits += c;
        } else if (c == ' ') {
            continue;
        } else {
            throw ValueEncodingError("'" + std::string(text) + "' is not a decimal number");
        }
    }
    if (!any) throw ValueEncodingError("'" + std::string(text) + "' is not a decimal number");
    for (int k = std::min(fraction, scale); k < scale; ++k) digits += '0';
    const auto first = digits.find_first_not_of('0');
    result.digits = first == std::string::npos ? 0 : static_cast<int>(digits.size() - first);
    if (result.digits > 39) throw ValueEncodingError("'" + std::string(text) + "' is too large");
    for (char c : digits) {
        std::uint64_t carry = static_cast<std::uint64_t>(c - '0');
        for (auto& word : result.words) {
            const std::uint64_t v = std::uint64_t(word) * 10 + carry;
            word = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
    }
    if (result.digits == 0) result.negative = false;
    return result;
}

WireColumn planColumn(const RowSet& rowSet, std::size_t index) {
    const ColumnMeta& meta = rowSet.columns[index];
    WireColumn column;
    column.name = meta.name;
    column.sqlType = meta.type;
    bool hasNull = false;
    for (const auto& row : rowSet.rows) hasNull = hasNull || row[index].isNull();
    const bool nullable = meta.nullable || hasNull;
    column.flags = static_cast<std::uint16_t>((nullable ? kFlagNullable : 0) | kFlagUpdatableUnknown |
                                              (meta.identity ? kFlagIdentity : 0));
    column.collation = collationBytes(meta.collation);

    if (isFixedWidth(meta.type)) {
        const FixedForm form = fixedForm(meta.type);
        column.type = nullable ? form.nullable : form.fixed;
        column.maxLength = form.width;
        return column;
    }
    switch (meta.type) {
        case SqlType::Decimal:
        case SqlType::Numeric: {
            column.type = meta.type == SqlType::Decimal ? TdsType::DecimalN : TdsType::NumericN;
            int precision = meta.precision;
            int scale = meta.scale;
            if (precision <= 0) {
                // Undeclared precision: wide enough for every value, keeping all its places.
                scale = 0;
                for (const auto& row : rowSet.rows)
                    if (!row[index].isNull()) scale = std::max(scale, fractionDigits(toDecimalText(column, row[index])));
                scale = std::min(scale, 38);
                precision = 38;
            }
            precision = std::clamp(precision, 1, 38);
            scale = std::clamp(scale, 0, precision);
            column.precision = static_cast<std::uint8_t>(precision);
            column.scale = static_cast<std::uint8_t>(scale);
            column.maxLength = decimalLength(precision);
            return column;
        }
        case SqlType::UniqueIdentifier:
            column.type = TdsType::Guid;
            column.maxLength = 16;
            return column;
        case SqlType::Timestamp:
            column.type = TdsType::BigBinary;
            column.userType = kTimestampUserType;
            column.maxLength = 8;
            return column;
        case SqlType::SqlVariant:
            column.type = TdsType::Variant;
            column.maxLength = 8016;
            return column;
        case SqlType::Text: column.type = TdsType::Text; column.maxLength = 0x7FFFFFFF; return column;
        case SqlType::NText: column.type = TdsType::NText; column.maxLength = 0x7FFFFFFE; return column;
        case SqlType::Image: column.type = TdsType::Image; column.maxLength = 0x7FFFFFFF; return column;
        default: break;
    }

    struct Variable {
        TdsType shortType;
        TdsType longType;
    };
    Variable v{TdsType::BigVarChar, TdsType::Text};
    switch (meta.type) {
        case SqlType::Char: v = {TdsType::BigChar, TdsType::Text}; break;
        case SqlType::VarChar: v = {TdsType::BigVarChar, TdsType::Text}; break;
        case SqlType::NChar: v = {TdsType::NChar, TdsType::NText}; break;
        case SqlType::NVarChar: v = {TdsType::NVarChar, TdsType::NText}; break;
        case SqlType::Binary: v = {TdsType::BigBinary, TdsType::Image}; break;
        case SqlType::VarBinary: v = {TdsType::BigVarBinary, TdsType::Image}; break;
        default: break;
    }
    std::uint32_t length = static_cast<std::uint32_t>(std::max(meta.length, 1));
    length = std::max(length, longestValue(rowSet, index, column));
    const bool unicode = v.shortType == TdsType::NChar || v.shortType == TdsType::NVarChar;
    if (unicode) length = std::max<std::uint32_t>(2, (length + 1) & ~1u);
    if (length > kMaxShortLength) {
        column.type = v.longType;
        column.sqlType = v.longType == TdsType::Text ? SqlType::Text
                         : v.longType == TdsType::NText ? SqlType::NText : SqlType::Image;
        column.maxLength = v.longType == TdsType::NText ? 0x7FFFFFFE : 0x7FFFFFFF;
    } else {
        column.type = v.shortType;
        column.maxLength = length;
    }
    return column;
}

void writeColumnMetadata(ByteWriter& out, const WireColumn& column) {
    out.u16(column.userType);
    out.u16(column.flags);
    out.u8(static_cast<std::uint8_t>(column.type));
    switch (column.type) {
        case TdsType::Int1: case TdsType::Int2: case TdsType::Int4: case TdsType::Int8:
        case TdsType::Bit: case TdsType::Flt4: case TdsType::Flt8: case TdsType::Money:
        case TdsType::Money4: case TdsType::DateTime: case TdsType::DateTime4:
            break;
        case TdsType::IntN: case TdsType::BitN: case TdsType::FltN: case TdsType::MoneyN:
        case TdsType::DateTimeN: case TdsType::Guid:
            out.u8(static_cast<std::uint8_t>(column.maxLength));
            break;
        case TdsType::DecimalN: case TdsType::NumericN:
            out.u8(static_cast<std::uint8_t>(column.maxLength));
            out.u8(column.precision);
            out.u8(column.scale);
            break;
        case TdsType::Text: case TdsType::NText: case TdsType::Image:
        case TdsType::Variant:
            out.u32(column.maxLength);
            break;
        default:
            out.u16(static_cast<std::uint16_t>(column.maxLength));
            break;
    }
    if (hasCollation(column.type)) out.bytes(column.collation.data(), column.collation.size());
    if (isLongType(column.type)) out.u16(0);  // table name: empty US_VARCHAR on TDS 7.1
    out.bVarchar(column.name);
}

void writeColumnValue(ByteWriter& out, const WireColumn& column, const db::Value& value) {
    switch (column.type) {
        case TdsType::Int1: case TdsType::Int2: case TdsType::Int4: case TdsType::Int8:
        case TdsType::Bit: case TdsType::Flt4: case TdsType::Flt8: case TdsType::Money:
        case TdsType::Money4: case TdsType::DateTime: case TdsType::DateTime4:
            if (value.isNull()) fail(column, "NULL in a NOT NULL column");
            writeFixedValue(out, column, value, static_cast<std::uint8_t>(column.maxLength));
            return;
        case TdsType::IntN: case TdsType::BitN: case TdsType::FltN: case TdsType::MoneyN:
        case TdsType::DateTimeN: {
            if (value.isNull()) {
                out.u8(0);
                return;
            }
            const auto width = static_cast<std::uint8_t>(column.maxLength);
            out.u8(width);
            writeFixedValue(out, column, value, width);
            return;
        }
        case TdsType::DecimalN: case TdsType::NumericN: {
            if (value.isNull()) {
                out.u8(0);
                return;
            }
            const ScaledDecimal scaled = scaleFor(column, toDecimalText(column, value), column.scale);
            if (scaled.digits > column.precision)
                fail(column, "value does not fit decimal(" + std::to_string(column.precision) + ", " +
                                 std::to_string(column.scale) + ")");
            out.u8(static_cast<std::uint8_t>(column.maxLength));
            out.u8(scaled.negative ? 0 : 1);  // SQL Server: 1 = positive or zero
            writeMagnitude(out, scaled, column.maxLength - 1);
            return;
        }
        case TdsType::Guid:
            if (value.isNull()) {
                out.u8(0);
                return;
            }
            out.u8(16);
            out.bytes(guidBytes(column, value));
            return;
        case TdsType::Variant:
            if (value.isNull()) {
                out.u32(0);
                return;
            }
            writeVariant(out, column, value);
            return;
        case TdsType::Text: case TdsType::NText: case TdsType::Image: {
            if (value.isNull()) {
                out.u8(0);
                return;
            }
            const Bytes data = column.type == TdsType::Image ? binaryBytes(value)
                                                             : characterBytes(value, column.type == TdsType::NText);
            out.u8(16);
            out.bytes(kTextPointer, sizeof kTextPointer);
            out.bytes(kTextTimestamp, sizeof kTextTimestamp);
            out.u32(static_cast<std::uint32_t>(data.size()));
            out.bytes(data);
            return;
        }
        default: {
            if (value.isNull()) {
                out.u16(kNullShortLength);
                return;
            }
            Bytes data;
            if (column.type == TdsType::BigChar || column.type == TdsType::BigVarChar)
                data = characterBytes(value, false);
            else if (column.type == TdsType::NChar || column.type == TdsType::NVarChar)
                data = characterBytes(value, true);
            else if (column.userType == kTimestampUserType && value.kind() == db::Value::Kind::Integer) {
                // A row version counts up; SQL Server shows it as 8 big-endian bytes.
                const auto v = static_cast<std::uint64_t>(value.asInteger());
                for (int i = 7; i >= 0; --i) data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
            } else
                data = binaryBytes(value);
            if (data.size() > column.maxLength) fail(column, "value longer than the column");
            // char(n), nchar(n) and binary(n) always travel at their full width.
            if (column.type == TdsType::BigChar) data.resize(column.maxLength, ' ');
            if (column.type == TdsType::NChar)
                while (data.size() + 1 < column.maxLength) data.insert(data.end(), {' ', 0});
            if (column.type == TdsType::BigBinary) data.resize(column.maxLength, 0);
            out.u16(static_cast<std::uint16_t>(data.size()));
            out.bytes(data);
            return;
        }
    }
}

}  // namespace sandbox::wire
