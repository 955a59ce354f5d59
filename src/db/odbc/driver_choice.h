#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace db::odbc {

// Where Debian's tdsodbc package puts the driver.
inline constexpr std::string_view kDebianTdsOdbcLibrary =
    "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

// The driver for SQL Server connections: the environment variable SQLUPGRADE_ODBC_DRIVER
// when set and not empty, else "FreeTDS" when the driver manager knows that name, else the
// library path of Debian's tdsodbc.
std::string chooseDriver();

// The library that the driver manager has registered under `name` (odbcinst.ini's Driver
// entry; empty when the entry has none), or nothing when the name is not registered.
// Example: "FreeTDS" -> "libtdsodbc.so" with Debian's tdsodbc installed.
std::optional<std::string> registeredLibrary(std::string_view name);

}  // namespace db::odbc
