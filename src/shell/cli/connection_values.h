#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/host.h"
#include "app/main_form.h"
#include "app/startup_settings.h"

namespace cli {

// The four values a command connects with. Each is absent until a source gives it; a
// value given as the empty text counts as given.
struct ConnectionValues {
    std::optional<std::string> server;
    std::optional<std::string> database;
    std::optional<std::string> login;
    std::optional<std::string> password;
};

// Where each of the four values came from, in words for a message ("-P",
// "--password-file pw.txt", "$SQLUPGRADE_PASSWORD", "the registry value dtPassword",
// "line 4 of Defs.ini"); empty for a value no source gave.
struct ConnectionSources {
    std::string server;
    std::string database;
    std::string login;
    std::string password;
};

// The environment's values: SQLUPGRADE_SERVER, SQLUPGRADE_DATABASE, SQLUPGRADE_USER and
// SQLUPGRADE_PASSWORD, each given when the variable is set.
ConnectionValues connectionValuesFromEnvironment();

// The registry override's values, below the key that line 1 of Defs.ini names, read as
// the window load reads them (the shadow file first, the password decoded). None when
// Defs.ini was not read whole, as the window load then skips the override too. An error
// of the override is shown on `host` like the window load shows it, and gives none.
ConnectionValues connectionValuesFromRegistry(const app::StartupFile& defsIni, app::Host& host);

// Defs.ini's values: the server, database and login lines that were read (the file
// holds no password).
ConnectionValues connectionValuesFromStartupFile(const app::StartupFile& file);

// Where the command line takes its connection values from, first source first: the
// options, the environment, the registry override, Defs.ini. Nothing else: the window's
// design defaults for the database, login and password are never used here.
// `optionSources` names the options' values; `sources`, when given, receives the name of
// the source of each value.
ConnectionValues resolveConnectionValues(const ConnectionValues& options, const app::StartupFile& defsIni,
                                         app::Host& host, const ConnectionSources& optionSources = {},
                                         ConnectionSources* sources = nullptr);

// The values a connection cannot do without that no source gave, by name, in the order
// database, login, password. The server is not among them: it defaults to the window's
// server (app::kDefaultServer).
std::vector<std::string> missingConnectionValues(const ConnectionValues& values);

// The usage error for missing values: a line naming them, then one line for each saying
// where it can come from. Example, for {"password"}:
//   "sqlupgrade-cli upgrade: missing password\n"
//   "  password: -P PASSWORD, --password-file FILE, the environment variable SQLUPGRADE_PASSWORD
//    or the registry value dtPassword\n"
std::string missingValuesMessage(const std::string& command, const std::vector<std::string>& missing,
                                 const std::filesystem::path& defsIni);

// Puts the values into the four text boxes. An absent server leaves the box's default
// server; an absent database, login or password empties its box, so that none of the
// window's design texts is ever sent.
void applyConnectionValues(const ConnectionValues& values, app::MainForm& form);

}  // namespace cli
