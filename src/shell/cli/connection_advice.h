#pragma once

#include <string>

#include "db/connection.h"
#include "db/error.h"
#include "shell/cli/connection_values.h"

namespace cli {

// After a server connection that could not be opened: one line naming what was tried
// (server, port or instance, database, login, and where the password came from, never
// the password) and what to do. Examples:
//   "sqlupgrade-cli: db01 port 1433 refused the login sa for the database shop (password
//    from --password-file pw.txt): check the login and its password."
//   "sqlupgrade-cli: no SQL Server answered at db01 port 1433 (database shop): check
//    -S host,port and that the server listens there."
// (each one line)
std::string connectionAdvice(const db::ServerSettings& tried, const db::Error& error,
                             const ConnectionSources& sources);

}  // namespace cli
