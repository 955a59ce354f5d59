#pragma once

#include <memory>
#include <string>

#include "db/connection.h"

// SQL Server through unixODBC and an ODBC driver for it (tdsodbc by default).
namespace db::odbc {

// Opens a connection to SQL Server with the four settings and the time-outs (0: the
// driver's defaults). The driver is the one named by the environment variable
// SQLUPGRADE_ODBC_DRIVER, else the registered "FreeTDS", else Debian's libtdsodbc.so.
// Throws db::Error: -2147217843 for a refused login, -2147467259 when the server cannot be
// reached or the settings cannot be passed to the driver safely.
std::unique_ptr<db::Connection> openServer(const db::ServerSettings& settings);

// The ODBC connection string that openServer uses for `driver` (a registered name or a
// library path): every value braced, in the way the driver reads braces, and checked by
// reading it back as the driver manager and the driver do. Throws db::Error (-2147467259)
// for a value that could not pass unchanged or could add an attribute.
// Example (tdsodbc): server "db01,1433", database "Gestao", user "sa", password "p;w=d}x" ->
// "Driver={FreeTDS};Server={db01};Port={1433};Database={Gestao};UID={sa};PWD={p;w=d}x};
// TDS_Version={7.1};ClientCharset={UTF-8};" (one line).
std::string connectionString(const db::ServerSettings& settings, const std::string& driver);

}  // namespace db::odbc
