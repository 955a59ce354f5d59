#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db::odbc {

// The two ways a driver reads a braced connection-string value.
enum class BraceDialect {
    // The ODBC rule: the value ends at the first '}' not followed by another '}', and "}}"
    // stands for one '}'. The unixODBC driver manager and most drivers read it so.
    Standard,
    // tdsodbc 1.3.17 reads a braced value up to the first "};" and does not undouble
    // "}}": "{a}b};" is the value "a}b", "{a}}b};" is "a}}b".
    FreeTds,
};

// Where a "Data Source" text points: a host, an optional instance and an optional port.
// Examples: "db01" -> {db01, "", ""}; "db01,1433" -> {db01, "", "1433"};
// "db01\SQL2000" -> {db01, SQL2000, ""}; "(local)" -> {localhost, "", ""}.
struct DataSource {
    std::string host;
    std::string instance;
    std::string port;
};

// Splits a Data Source into host, instance and port. Blanks around the parts are dropped;
// "(local)", "." and an empty host mean this machine. Throws db::Error when the port is
// not a number from 1 to 65535.
DataSource parseDataSource(std::string_view dataSource);

// One attribute of a connection string, in the order it is written.
using Attribute = std::pair<std::string, std::string>;

// Joins attributes into a connection string, every value braced and followed by ';'.
// Example (Standard): {Driver, FreeTDS}, {PWD, a}b} -> "Driver={FreeTDS};PWD={a}}b};".
// Example (FreeTds): the same -> "Driver={FreeTDS};PWD={a}b};".
std::string joinAttributes(const std::vector<Attribute>& attributes, BraceDialect dialect);

// Reads a connection string as the unixODBC 2.3 driver manager does (the Standard rule,
// keys after blanks and ';', a later key replacing an earlier one of the same name).
std::vector<Attribute> parseAsDriverManager(std::string_view connectionString);

// Reads a connection string as tdsodbc 1.3.17 does (the FreeTds rule, every occurrence kept).
std::vector<Attribute> parseAsFreeTds(std::string_view connectionString);

// True when the driver (a registered name or a library path) is tdsodbc. The library that a
// registered name stands for is `library` (empty when unknown).
bool isFreeTdsDriver(std::string_view driver, std::string_view library);

}  // namespace db::odbc
