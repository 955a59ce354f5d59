#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

#include "db/value.h"

namespace db::odbc {

// An exact number from the driver's text in the form the record sets deliver: a leading
// zero before the point, no trailing zeros after it, no point without decimals, no "-0".
// Examples: "12.3400" -> "12.34", ".50" -> "0.5", "-0.000" -> "0", "1234" -> "1234",
// "-.25" -> "-0.25".
std::string normalizeDecimalText(std::string_view driverText);

// The double that a single-precision value stands for: the one nearest to the float's
// shortest decimal form, so that it prints as it was stored. Example: 0.1f -> 0.1 (not
// 0.100000001490116).
double singleToDouble(float value);

// A uniqueidentifier as its braced, upper-case text. Example:
// {0x6F9619FF, 0x8B86, 0xD011, {B4 2D 00 C0 4F C9 64 FF}} ->
// "{6F9619FF-8B86-D011-B42D-00C04FC964FF}".
std::string guidText(const SQLGUID& guid);

// A date-time from the driver's timestamp (fraction in nanoseconds, kept to milliseconds).
DateTime dateTimeFrom(const SQL_TIMESTAMP_STRUCT& timestamp);

}  // namespace db::odbc
