#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/sql_types.h"
#include "db/value.h"

namespace sandbox::tsql {

// A value in its storage form, as SQLite holds it: integers for integer types and bit,
// doubles for float/real/decimal/money, text for character data, uniqueidentifier and
// date-times ("2004-03-07 14:05:09.123"), blobs for binary data.
struct StoredValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // text (UTF-8) or blob

    static StoredValue null() { return {}; }
    static StoredValue ofInteger(std::int64_t v) { StoredValue s; s.kind = Kind::Integer; s.integer = v; return s; }
    static StoredValue ofReal(double v) { StoredValue s; s.kind = Kind::Real; s.real = v; return s; }
    static StoredValue ofText(std::string v) { StoredValue s; s.kind = Kind::Text; s.bytes = std::move(v); return s; }
    static StoredValue ofBlob(std::string v) { StoredValue s; s.kind = Kind::Blob; s.bytes = std::move(v); return s; }
    bool isNull() const { return kind == Kind::Null; }
};

StoredValue fromSqlite(sqlite3_value* value);
void bindStored(sqlite3_stmt* stmt, int index, const StoredValue& value);
void resultStored(sqlite3_context* context, const StoredValue& value);

// How a conversion treats data that does not fit: an assignment (INSERT/UPDATE) refuses
// it with 8152, CONVERT/CAST cuts it silently.
enum class ConversionMode { Assign, Convert };

// Converts a value to the storage form of a SQL Server type, as SQL Server converts it.
// Examples: ('42', int) -> 42; ('abc', int) -> ServerError 245 "Syntax error converting the
// varchar value 'abc' to a column of data type int."; ('ab', char(4)) -> 'ab  ';
// ('2004.03.07', datetime, style 102) -> "2004-03-07 00:00:00.000".
StoredValue convertTo(const ColumnType& type, const StoredValue& value, ConversionMode mode, int style = 0);

// Parses a date-time written in one of the forms SQL Server accepts from text:
// "2004-03-07 14:05:09[.123]", "2004.03.07", "20040307", "03/07/2004", "Mar  7 2004 2:05PM".
std::optional<db::DateTime> parseDateTimeText(std::string_view text);

// Whether a number of days since 1900-01-01 (SQL Server's number form of a date-time) is
// within datetime's range, 1753-01-01 to 9999-12-31; false for NaN.
// Example: 38052.5 -> true (2004-03-07 12:00); -53691 -> false.
bool isDateTimeDays(double days);

// Formats a date-time as CONVERT(varchar, d, style) does. Style 0/100: "Mar  7 2004  2:05PM";
// 102: "2004.03.07"; 120: "2004-03-07 14:05:09"; 121: "2004-03-07 14:05:09.123".
std::string formatDateTimeStyle(const db::DateTime& dt, int style);

// The value a result column of this type hands to the wire.
// Example: (decimal(10,2), 3.5) -> Decimal "3.50"; (datetime, "2004-03-07 ...") -> DateTime.
db::Value toWireValue(const ColumnType& type, const StoredValue& value);

// The type SQL Server gives the name of the value's kind in conversion messages.
std::string_view sourceTypeName(const StoredValue& value);

// Formats a number as SQL Server writes it when converting to text: 3.0 -> "3", 0.1 -> "0.1".
std::string numberText(double value);

}  // namespace sandbox::tsql
