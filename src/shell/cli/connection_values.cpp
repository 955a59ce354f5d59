#include "shell/cli/connection_values.h"

#include <cstdlib>

#include "app/registry_startup_override.h"
#include "db/error.h"

namespace cli {
namespace {

std::optional<std::string> environmentValue(const char* name) {
    if (const char* value = std::getenv(name)) return std::string(value);
    return std::nullopt;
}

// "a" / "a and b" / "a, b and c".
std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
        out += names[i];
    }
    return out;
}

}  // namespace

ConnectionValues connectionValuesFromEnvironment() {
    return {environmentValue("SQLUPGRADE_SERVER"), environmentValue("SQLUPGRADE_DATABASE"),
            environmentValue("SQLUPGRADE_USER"), environmentValue("SQLUPGRADE_PASSWORD")};
}

ConnectionValues connectionValuesFromRegistry(const app::StartupFile& defsIni, app::Host& host) {
    if (defsIni.error || !defsIni.keySuffix) return {};
    try {
        const registry::ConnectionOverride found = app::readRegistryStartupSettings(host, *defsIni.keySuffix);
        return {found.dataSource, found.initialCatalog, found.user, found.password};
    } catch (const db::Error& e) {
        host.messageBox(e.description(), app::mb::kInformation, std::nullopt);
    } catch (const std::exception& e) {
        host.messageBox(e.what(), app::mb::kInformation, std::nullopt);
    }
    return {};
}

ConnectionValues connectionValuesFromStartupFile(const app::StartupFile& file) {
    return {file.server, file.database, file.login, std::nullopt};
}

ConnectionValues resolveConnectionValues(const ConnectionValues& options, const app::StartupFile& defsIni,
                                         app::Host& host, const ConnectionSources& optionSources,
                                         ConnectionSources* sources) {
    const std::vector<std::pair<ConnectionValues, ConnectionSources>> named = {
        {options, optionSources},
        {connectionValuesFromEnvironment(),
         {"$SQLUPGRADE_SERVER", "$SQLUPGRADE_DATABASE", "$SQLUPGRADE_USER", "$SQLUPGRADE_PASSWORD"}},
        {connectionValuesFromRegistry(defsIni, host),
         {"the registry value dtDataSource", "the registry value dtInitialCatalog", "the registry value dtUser",
          "the registry value dtPassword"}},
        {connectionValuesFromStartupFile(defsIni), {"line 2 of Defs.ini", "line 3 of Defs.ini", "line 4 of Defs.ini", ""}},
    };
    ConnectionValues result;
    ConnectionSources names;
    const auto take = [](std::optional<std::string>& value, std::string& name, const std::optional<std::string>& given,
                         const std::string& givenName) {
        if (value || !given) return;
        value = given;
        name = givenName;
    };
    for (const auto& [values, source] : named) {
        take(result.server, names.server, values.server, source.server);
        take(result.database, names.database, values.database, source.database);
        take(result.login, names.login, values.login, source.login);
        take(result.password, names.password, values.password, source.password);
    }
    if (sources) *sources = names;
    return result;
}

std::vector<std::string> missingConnectionValues(const ConnectionValues& values) {
    std::vector<std::string> missing;
    if (!values.database) missing.emplace_back("database");
    if (!values.login) missing.emplace_back("login");
    if (!values.password) missing.emplace_back("password");
    return missing;
}

std::string missingValuesMessage(const std::string& command, const std::vector<std::string>& missing,
                                 const std::filesystem::path& defsIni) {
    std::string message = "sqlupgrade-cli " + command + ": missing " + joined(missing) + "\n";
    for (const std::string& name : missing) {
        if (name == "database") {
            message += "  database: -d NAME, the environment variable SQLUPGRADE_DATABASE, the registry "
                       "value dtInitialCatalog or line 3 of " + defsIni.string() + "\n";
        } else if (name == "login") {
            message += "  login: -U LOGIN, the environment variable SQLUPGRADE_USER, the registry value "
                       "dtUser or line 4 of " + defsIni.string() + "\n";
        } else {
            message += "  password: -P PASSWORD, --password-file FILE, the environment variable "
                       "SQLUPGRADE_PASSWORD or the registry value dtPassword\n";
        }
    }
    return message;
}

void applyConnectionValues(const ConnectionValues& values, app::MainForm& form) {
    if (values.server) form.FXServer.text = *values.server;
    form.FXDatabase.text = values.database.value_or("");
    form.FXUsername.text = values.login.value_or("");
    form.FXPassword.text = values.password.value_or("");
}

}  // namespace cli
