#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "api/engine.h"
#include "wire/byte_buffer.h"

// How result columns and their values are written in COLMETADATA and ROW tokens on a
// TDS 7.1 connection, with the type codes SQL Server 2000 uses for each SQL type.
namespace sandbox::wire {

// A value that cannot be written as its column's type (text in an int column, a date
// before 1753, a number too large for its precision). The response encoder turns it into
// an error message instead of a broken token stream.
class ValueEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// TDS data type codes used on the wire.
enum class TdsType : std::uint8_t {
    Image = 0x22, Text = 0x23, Guid = 0x24, IntN = 0x26, Int1 = 0x30, Bit = 0x32, Int2 = 0x34,
    Int4 = 0x38, DateTime4 = 0x3A, Flt4 = 0x3B, Money = 0x3C, DateTime = 0x3D, Flt8 = 0x3E,
    Variant = 0x62, NText = 0x63, BitN = 0x68, DecimalN = 0x6A, NumericN = 0x6C, FltN = 0x6D,
    MoneyN = 0x6E, DateTimeN = 0x6F, Money4 = 0x7A, Int8 = 0x7F, BigVarBinary = 0xA5,
    BigVarChar = 0xA7, BigBinary = 0xAD, BigChar = 0xAF, NVarChar = 0xE7, NChar = 0xEF,
};

using Collation = std::array<std::uint8_t, 5>;

// The 5-byte TDS collation for a collation name. Latin1 collations (code page 1252) are
// described exactly; any other name, and the empty name, give the server default
// SQL_Latin1_General_CP1_CI_AS, because character data always goes out in code page 1252.
// Example: "Latin1_General_CI_AI" -> 09 04 F0 00 00 (LCID 0x0409; ignore case, accent,
// width and kana; sort id 0), "SQL_Latin1_General_CP1_CS_AS" -> 09 04 C0 00 33.
Collation collationBytes(std::string_view name);

// The wire form of one result column, decided from its description and its values: the
// fixed form of a NOT NULL column turns nullable when a NULL shows up, a variable
// length grows to the longest value, and past 8,000 bytes (n)varchar and varbinary
// become text, ntext and image so that no value is cut.
struct WireColumn {
    TdsType type = TdsType::IntN;
    SqlType sqlType = SqlType::Int;
    std::uint16_t userType = 0;   // 80 for timestamp
    std::uint16_t flags = 0;      // nullable 0x01, updatable "unknown" 0x08, identity 0x10
    std::uint32_t maxLength = 0;  // the TYPE_INFO length field
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    Collation collation{};
    std::string name;
};

// Plans column `index` of a row set. Throws ValueEncodingError for a value that cannot
// be converted.
WireColumn planColumn(const RowSet& rowSet, std::size_t index);

// Writes UserType, Flags, TYPE_INFO and the column name (one COLMETADATA entry).
void writeColumnMetadata(ByteWriter& out, const WireColumn& column);

// Writes one value of the column in ROW form. Throws ValueEncodingError.
void writeColumnValue(ByteWriter& out, const WireColumn& column, const db::Value& value);

// Days since 1900-01-01 and 1/300-second ticks since midnight, rounded to the nearest
// tick as SQL Server stores datetime. Example: 2004-03-07 14:05:09.997 -> 38051 days,
// 15212999 ticks.
struct DateTimeTicks {
    std::int32_t days = 0;
    std::uint32_t ticks = 0;
};
DateTimeTicks toDateTimeTicks(const db::DateTime& value);

// The unscaled integer of a decimal text at `scale` places, rounded half away from zero,
// as a sign and up to 128 bits of magnitude (four 32-bit words, least significant first).
// Example: ("-12.345", 2) -> negative, magnitude 1235.
struct ScaledDecimal {
    bool negative = false;
    std::array<std::uint32_t, 4> words{};
    int digits = 0;  // significant digits of the magnitude
};
ScaledDecimal scaleDecimal(std::string_view text, int scale);

}  // namespace sandbox::wire
