#include "shell/cli/connection_advice.h"

#include <algorithm>

#include "db/odbc/connection_string.h"

namespace cli {
namespace {

// SQL Server's message numbers of a refused connection.
constexpr long kCannotOpenDatabase = 4060;
constexpr long kLoginFailed = 18456;

bool hasMessage(const db::Error& error, long number) {
    return std::any_of(error.records().begin(), error.records().end(),
                       [number](const db::DiagnosticRecord& r) { return r.nativeError == number; });
}

// "db01 port 1433", "db01 instance SQL2000", "db01 port 1433 (the default)".
std::string placeOf(const std::string& server) {
    try {
        const db::odbc::DataSource source = db::odbc::parseDataSource(server);
        if (!source.port.empty()) return source.host + " port " + source.port;
        if (!source.instance.empty()) return source.host + " instance " + source.instance;
        return source.host + " port 1433 (the default)";
    } catch (const db::Error&) {
        return server;
    }
}

// Where a value came from, when that was not its option on this command line: a value
// from the environment, the registry or Defs.ini surprises whoever did not type it.
std::string from(const std::string& source) {
    return source.empty() || source[0] == '-' ? "" : " (from " + source + ")";
}

}  // namespace

std::string connectionAdvice(const db::ServerSettings& tried, const db::Error& error,
                             const ConnectionSources& sources) {
    const std::string place = placeOf(tried.server) + from(sources.server);
    if (hasMessage(error, kCannotOpenDatabase)) {
        return "sqlupgrade-cli: " + place + " has no database " + tried.database + from(sources.database) +
               " that the login " + tried.user + " may open: check the database name (-d).";
    }
    if (error.number() == db::errc::kLoginFailed || hasMessage(error, kLoginFailed)) {
        return "sqlupgrade-cli: " + place + " refused the login " + tried.user + from(sources.login) +
               " for the database " + tried.database + " (password from " +
               (sources.password.empty() ? std::string("nowhere") : sources.password) +
               "): check the login and its password.";
    }
    if (error.number() == db::errc::kTimeout) {
        return "sqlupgrade-cli: " + place + " did not answer the login for the database " + tried.database +
               " in time: check -S host,port, that the server listens there, and --login-timeout.";
    }
    return "sqlupgrade-cli: no SQL Server answered at " + place + " (database " + tried.database +
           "): check -S host,port and that the server listens there.";
}

}  // namespace cli
