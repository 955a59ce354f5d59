#include "shell/cli/help_layout.h"

#include <memory>
#include <sstream>

namespace cli {
namespace {

// The footer of the top-level help; the manual page turns its headings into sections.
constexpr const char* kFooter = R"(Environment:
  SQLUPGRADE_HOME             The program folder, when --home is not given
  SQLUPGRADE_SERVER           The server, when -S is not given
  SQLUPGRADE_DATABASE         The database, when -d is not given
  SQLUPGRADE_USER             The login, when -U is not given
  SQLUPGRADE_PASSWORD         The password, when neither -P nor --password-file is given
  SQLUPGRADE_ODBC_DRIVER      The ODBC driver for SQL Server (default: FreeTDS)
  SQLUPGRADE_REGISTRY_MACHINE
                              The registry file of HKEY_LOCAL_MACHINE
                              (default: /etc/sqlupgrade/registry.reg)
  SQLUPGRADE_REGISTRY_USER    The registry file of HKEY_CURRENT_USER
                              (default: $XDG_CONFIG_HOME/sqlupgrade/registry.reg)
  SQLUPGRADE_COMMON_APPDATA   The folder below which the shadow file lives (default: /var/lib)
  SQLUPGRADE_VOLUME_SERIAL    The volume serial number the stored password is bound to
  XDG_DATA_HOME               The user's data folder (default: ~/.local/share)

Files:
  Defs.ini                    In the program folder: a registry key name, then the server,
                              database and login that fill in the connection settings
  SQL.mdb                     In the program folder: the definitions store
  upgrade-guards.log          In the program folder: each upgrade guard raised, released or
                              lowered, by whom and when (read by guard status)
  results/                    In the program folder: a folder per upgrade --targets run
  RegShadow.db                The shadow file, in "Velto Software" below the common
                              application data folder

The command where prints the files in effect.)";

// The default layout, except that --help-all lists the commands once and then gives each
// command's options under "Options of NAME:", a heading that manual page tools recognise.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
        if (mode != CLI::AppFormatMode::All) return CLI::Formatter::make_subcommands(app, mode);
        std::ostringstream out;
        out << "\nSubcommands:\n";
        const auto commands = app->get_subcommands({});
        for (const CLI::App* command : commands) out << make_subcommand(command);
        for (const CLI::App* command : commands) addOptions(out, command, command->get_name());
        return out.str();
    }

private:
    // A command's options under "Options of NAME:"; a command made of commands (guard)
    // lists them under "Subcommands of NAME:", then each one's options under
    // "Options of NAME SUB:".
    void addOptions(std::ostringstream& out, const CLI::App* command, const std::string& name) const {
        const auto options = command->get_options([command](const CLI::Option* option) {
            return option->nonpositional() && option != command->get_help_ptr();
        });
        if (!options.empty()) {
            out << "\nOptions of " << name << ":\n";
            for (const CLI::Option* option : options) out << make_option(option, false);
        }
        const auto nested = command->get_subcommands({});
        if (nested.empty()) return;
        out << "\nSubcommands of " << name << ":\n";
        for (const CLI::App* sub : nested) out << make_subcommand(sub);
        for (const CLI::App* sub : nested) addOptions(out, sub, name + " " + sub->get_name());
    }
};

}  // namespace

void finishHelp(CLI::App& app) {
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    app.formatter(std::make_shared<HelpFormatter>());
    app.footer(kFooter);
}

}  // namespace cli
