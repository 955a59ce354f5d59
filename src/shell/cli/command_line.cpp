#include "shell/cli/command_line.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <fstream>
#include <iostream>

#include "capture/capture_run.h"
#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "shell/cli/cancel_signals.h"
#include "shell/cli/closing_notes.h"
#include "shell/cli/connection_advice.h"
#include "shell/cli/connection_values.h"
#include "shell/cli/console_host.h"
#include "shell/cli/fleet_command.h"
#include "shell/cli/guard_command.h"
#include "shell/cli/help_layout.h"
#include "shell/cli/watched_target.h"
#include "shell/cli/where_command.h"
#include "app/program_folder.h"
#include "app/startup_settings.h"
#include "store/definitions_store.h"
#include "fleet/guard_ledger.h"
#include "fleet/guard_watch.h"
#include "phase_list/upgrade_phases.h"
#include "upgrade/run_record.h"

namespace cli {
namespace {

struct ConnectionOptions {
    std::optional<std::string> server;
    std::optional<std::string> database;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::string> passwordFile;
    std::optional<int> commandTimeoutSeconds;  // none: the operation's own
    std::optional<int> loginTimeoutSeconds;
};

// `database` says which database the command works on ("The reference database").
void addConnectionOptions(CLI::App& command, ConnectionOptions& options, const std::string& database) {
    command.add_option("-S,--server", options.server,
                       "SQL Server as host, host,port or host\\instance (default: $SQLUPGRADE_SERVER, "
                       "else line 2 of Defs.ini, else localhost)")
        ->option_text("HOST");
    command.add_option("-d,--database", options.database,
                       database + " (default: $SQLUPGRADE_DATABASE, else line 3 of Defs.ini; required)")
        ->option_text("NAME");
    command.add_option("-U,--user", options.user,
                       "SQL login (default: $SQLUPGRADE_USER, else line 4 of Defs.ini; required)")
        ->option_text("LOGIN");
    auto* password = command.add_option("-P,--password", options.password,
                                        "Password of the login (default: $SQLUPGRADE_PASSWORD; required)")
                         ->option_text("PASSWORD");
    command.add_option("--password-file", options.passwordFile,
                       "Take the password from the first line of FILE instead (default: none)")
        ->check(CLI::ExistingFile)
        ->option_text("FILE")
        ->excludes(password);
    command.add_option("--command-timeout", options.commandTimeoutSeconds,
                       "Seconds a statement may take, 0 for no limit (default: 30 for a capture, 180 "
                       "for an upgrade)")
        ->check(CLI::NonNegativeNumber)
        ->option_text("SECONDS");
    command.add_option("--login-timeout", options.loginTimeoutSeconds,
                       "Seconds the login may take, 0 for no limit (default: 15 for a capture, 30 for "
                       "an upgrade)")
        ->check(CLI::NonNegativeNumber)
        ->option_text("SECONDS");
}

struct UpgradeOptions {
    std::optional<bool> backup, silent, systemData, menus, searches;
    bool rebuildIndexes = false, rebuildDefaults = false, cleanMenus = false, debug = false;
    AnswerPolicy answer = AnswerPolicy::Ask;
};

// --NAME and --no-NAME for one check box that is ticked by default.
void addFlagPair(CLI::App& command, const std::string& name, std::optional<bool>& target,
                 const std::string& on, const std::string& off) {
    command.add_flag_callback("--" + name, [&target] { target = true; }, on + " (the default)");
    command.add_flag_callback("--no-" + name, [&target] { target = false; }, off);
}

// The policy of an --answer value that IsMember has let through, in any letter case.
AnswerPolicy answerPolicyNamed(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "yes") return AnswerPolicy::Yes;
    if (name == "no") return AnswerPolicy::No;
    return AnswerPolicy::Default;
}

void addUpgradeOptions(CLI::App& command, UpgradeOptions& options) {
    addFlagPair(command, "backup", options.backup, "Back up the target database before the upgrade",
                "Upgrade without a backup (default: back up)");
    addFlagPair(command, "silent", options.silent, "Go on after a failed statement without asking",
                "Ask whether to go on after each failed statement (default: go on)");
    addFlagPair(command, "system-data", options.systemData, "Bring the system tables' rows up to date",
                "Leave the system tables' rows alone (default: update them)");
    addFlagPair(command, "menus", options.menus, "Include the menu tables in the system data update",
                "Leave the menu tables out of the system data update (default: include them)");
    addFlagPair(command, "searches", options.searches, "Include the search tables in the system data update",
                "Leave the search tables out of the system data update (default: include them)");
    command.add_flag("--rebuild-indexes", options.rebuildIndexes,
                     "Remove every index first and re-create them all (default: only missing ones)");
    command.add_flag("--rebuild-defaults", options.rebuildDefaults,
                     "Remove every column default first and re-create them all (default: only missing ones)");
    command.add_flag("--clean-menus", options.cleanMenus,
                     "Empty the menu tables before they are filled again (default: keep their rows)");
    command.add_flag("--debug", options.debug,
                     "Ask before each table, function, view and procedure (default: ask nothing)");
    command
        .add_option_function<std::string>(
            "--answer", [&options](const std::string& name) { options.answer = answerPolicyNamed(name); },
            "Answer every question without asking: default takes each question's default "
            "button (so a second upgrade of a database already being upgraded is refused), yes "
            "answers Yes and no answers No to every question (default: ask on a terminal, else "
            "each question's default button)")
        ->check(CLI::IsMember({"default", "yes", "no"}, CLI::ignore_case))
        ->option_text("default|yes|no");
}

void applyUpgradeOptions(const UpgradeOptions& options, app::MainForm& form) {
    auto set = [](app::CheckBox& box, const std::optional<bool>& value) {
        if (value) box.value = *value ? 1 : 0;
    };
    set(form.FXBackup, options.backup);
    set(form.FXSilence, options.silent);
    set(form.FXDadosUpdate, options.systemData);
    set(form.FXDadosUpdateMenus, options.menus);
    set(form.FXDadosUpdatePesquisas, options.searches);
    if (options.rebuildIndexes) form.FXIndexes.value = 1;
    if (options.rebuildDefaults) form.FXDefaults.value = 1;
    if (options.cleanMenus) {
        form.FXDadosUpdateMenusClean.value = 1;
        form.FXDadosUpdateMenusClean.visible = true;
    }
    if (options.debug) form.FXDebug.value = 1;
}

// The run options given on the command line, as a targets file would give them.
fleet::RunOptions fleetRunOptions(const UpgradeOptions& options, const ConnectionOptions& connection) {
    fleet::RunOptions run;
    auto given = [&run](std::string_view key, const std::optional<bool>& value) {
        if (value) run.setSwitch(key, *value);
    };
    given("backup", options.backup);
    given("silent", options.silent);
    given("system_data", options.systemData);
    given("menus", options.menus);
    given("searches", options.searches);
    for (const auto& [key, on] : {std::pair{"rebuild_indexes", options.rebuildIndexes},
                                  {"rebuild_defaults", options.rebuildDefaults},
                                  {"clean_menus", options.cleanMenus},
                                  {"debug", options.debug}}) {
        if (on) run.setSwitch(key, true);
    }
    run.commandTimeoutSeconds = connection.commandTimeoutSeconds;
    run.loginTimeoutSeconds = connection.loginTimeoutSeconds;
    if (options.answer == AnswerPolicy::Yes) run.answer = fleet::Answer::Yes;
    if (options.answer == AnswerPolicy::No) run.answer = fleet::Answer::No;
    if (options.answer == AnswerPolicy::Default) run.answer = fleet::Answer::Default;
    return run;
}

std::string readPasswordFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

ConnectionValues connectionValuesFromOptions(const ConnectionOptions& options) {
    ConnectionValues values{options.server, options.database, options.user, options.password};
    if (!values.password && options.passwordFile) values.password = readPasswordFile(*options.passwordFile);
    return values;
}

// The options' names for the values they give, for messages that say where a value came
// from.
ConnectionSources optionSources(const ConnectionOptions& options) {
    return {"-S", "-d", "-U", options.passwordFile ? "--password-file " + *options.passwordFile : "-P"};
}

// The connection values of `command` from its options, the environment, the registry and
// Defs.ini; on standard error the problem of a Defs.ini that is there but incomplete, and
// the usage error when a value is missing (then nullopt). The registry's messages go to
// `host`.
std::optional<ConnectionValues> connectionValuesFor(const std::string& command,
                                                    const ConnectionOptions& options,
                                                    const std::filesystem::path& folder, ConsoleHost& host,
                                                    ConnectionSources& sources) {
    const app::StartupFile defsIni = app::readStartupFile(folder);
    if (defsIni.error && defsIni.error->number() != app::kFileNotFound) {
        std::cerr << "sqlupgrade-cli: " << app::startupFilePath(folder).string() << ": "
                  << defsIni.error->description() << " (the lines before it are used)\n";
    }
    ConnectionValues values = resolveConnectionValues(connectionValuesFromOptions(options), defsIni, host,
                                                      optionSources(options), &sources);
    const std::vector<std::string> missing = missingConnectionValues(values);
    if (!missing.empty()) {
        host.finishOutput();
        std::cerr << missingValuesMessage(command, missing, app::startupFilePath(folder));
        return std::nullopt;
    }
    return values;
}

int exitCodeOf(app::OperationOutcome outcome) {
    switch (outcome) {
        case app::OperationOutcome::Completed:
            return kExitCompleted;
        case app::OperationOutcome::Failed:
            return kExitFailed;
        case app::OperationOutcome::Refused:
            return kExitRefused;
        case app::OperationOutcome::Cancelled:
            return kExitCancelled;
    }
    return kExitFailed;
}

// The command that creates the store where this run looks for it.
std::string initStoreCommand(const std::optional<std::filesystem::path>& homeOption) {
    return "sqlupgrade-cli" + (homeOption ? " --home " + shellWord(homeOption->string()) : std::string()) +
           " init-store";
}

// A server connection that could not be opened: the settings tried and the error.
struct ConnectionFailure {
    db::ServerSettings tried;
    db::Error error;
};

// The time-outs given on the command line replace those the operation asks for. A
// failed server connection is kept in `failure`; each raising and release of an upgrade
// guard goes into the program folder's guard ledger; with `watch`, the target is also
// watched for the upgrading mark.
app::ConnectionOpeners openersFor(const std::filesystem::path& folder, const ConnectionOptions& options,
                                  const std::optional<std::filesystem::path>& homeOption,
                                  std::shared_ptr<std::optional<ConnectionFailure>> failure,
                                  std::shared_ptr<TargetWatch> watch = nullptr) {
    return {[options, folder, failure, watch](db::ServerSettings settings) -> std::unique_ptr<db::Connection> {
                if (options.commandTimeoutSeconds) settings.commandTimeoutSeconds = *options.commandTimeoutSeconds;
                if (options.loginTimeoutSeconds) settings.connectTimeoutSeconds = *options.loginTimeoutSeconds;
                if (watch) watch->settings = settings;
                try {
                    std::unique_ptr<db::Connection> target = db::odbc::openServer(settings);
                    auto toLedger = fleet::GuardLedger(fleet::guardLedgerPath(folder)).recorder(settings.server,
                                                                                              settings.database);
                    if (watch) return watchedTarget(std::move(target), watch, std::move(toLedger));
                    return std::make_unique<fleet::WatchedTarget>(std::move(target), std::move(toLedger));
                } catch (const db::Error& e) {
                    *failure = ConnectionFailure{settings, e};
                    throw;
                }
            },
            [folder] { return store::openStore(store::storePath(folder)); }, store::storePath(folder),
            initStoreCommand(homeOption)};
}

// After a connection that could not be opened, what was tried and what to do.
std::optional<std::string> connectionNote(const std::optional<ConnectionFailure>& failure,
                                          const ConnectionSources& sources) {
    if (!failure) return std::nullopt;
    return connectionAdvice(failure->tried, failure->error, sources);
}

// init-store, creating a folder named by --home or SQLUPGRADE_HOME that is not there yet
// (for its owner only, as the user's data folder is).
int runInitStore(const std::filesystem::path& folder, bool folderNamedByOption) {
    std::error_code ec;
    if (folderNamedByOption && !std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (!ec) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
        }
        if (ec) {
            std::cerr << "init-store: cannot create the folder " << folder.string() << ": " << ec.message() << '\n';
            return kExitFailed;
        }
    }
    const std::filesystem::path path = store::storePath(folder);
    if (std::filesystem::exists(path)) {
        std::cerr << "init-store: " << path.string() << " already exists; nothing was changed\n";
        return kExitRefused;
    }
    try {
        store::createEmptyStore(path);
    } catch (const db::Error& e) {
        std::cerr << "init-store: " << e.description() << '\n';
        return kExitFailed;
    }
    std::cout << "Created " << path.string() << '\n';
    return kExitCompleted;
}

// The end of a capture or an upgrade: what the host held back, the clipboard on standard
// output, then the closing notes on standard error.
int finish(ConsoleHost& host, app::OperationOutcome outcome,
           std::initializer_list<std::optional<std::string>> notes) {
    host.finishOutput();
    if (!host.clipboard().empty()) std::cout << host.clipboard() << '\n';
    for (const std::optional<std::string>& note : notes) {
        if (note) std::cerr << *note << '\n';
    }
    return exitCodeOf(outcome);
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    CLI::App app{"SQL Database Upgrade: capture a reference database into the definitions "
                 "store and upgrade target databases from it."};
    app.require_subcommand(1);
    app.set_version_flag("--version", SQLUPGRADE_VERSION, "Print the version and exit");
    std::optional<std::filesystem::path> home;
    app.add_option("--home", home, "Folder of Defs.ini and SQL.mdb (default: $SQLUPGRADE_HOME, else "
                                   "the program's own folder when it holds Defs.ini or SQL.mdb, "
                                   "else $XDG_DATA_HOME/sqlupgrade)")
        ->option_text("DIR");

    CLI::App* whereCommand = app.add_subcommand(
        "where", "Print the program folder, the store, Defs.ini and the registry's files in effect");
    CLI::App* initStore = app.add_subcommand(
        "init-store", "Create an empty SQL.mdb in the program folder (and the folder, for its owner only, "
                      "when --home or $SQLUPGRADE_HOME names one that is not there); an existing file is "
                      "never touched");
    CLI::App* captureCommand = app.add_subcommand(
        "capture", "Capture the reference database's structure into SQL.mdb");
    ConnectionOptions captureConnection;
    addConnectionOptions(*captureCommand, captureConnection, "The reference database");

    CLI::App* upgradeCommand = app.add_subcommand(
        "upgrade", "Upgrade a target database from SQL.mdb");
    ConnectionOptions upgradeConnection;
    UpgradeOptions upgradeOptions;
    addConnectionOptions(*upgradeCommand, upgradeConnection, "The target database");
    addUpgradeOptions(*upgradeCommand, upgradeOptions);
    FleetOptions upgradeFleet;
    addFleetOptions(*upgradeCommand, upgradeFleet);

    GuardCommands guard;
    addGuardCommands(app, guard);
    ConnectionOptions guardStatusConnection;
    ConnectionOptions guardClearConnection;
    addConnectionOptions(*guard.status, guardStatusConnection, "The target database");
    addConnectionOptions(*guard.clear, guardClearConnection, "The target database");
    finishHelp(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    const app::ProgramFolder located = app::locateProgramFolder(home);
    if (whereCommand->parsed()) return runWhere(located, std::cout);
    const std::filesystem::path& folder = located.path;
    if (initStore->parsed()) {
        return runInitStore(folder, located.choice == app::FolderChoice::HomeOption ||
                                        located.choice == app::FolderChoice::HomeEnvironment);
    }

    app::MainForm form;
    if (guard.status->parsed() || guard.clear->parsed()) {
        const bool clear = guard.clear->parsed();
        const ConnectionOptions& options = clear ? guardClearConnection : guardStatusConnection;
        const bool interactive = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
        ConsoleHost host(form, std::cin, std::cerr, interactive, guard.answer);
        ConnectionSources guardSources;
        const auto connection = connectionValuesFor(clear ? "guard clear" : "guard status", options, folder, host, guardSources);
        if (!connection) return kExitUsage;
        const db::ServerSettings settings{connection->server.value_or(app::kDefaultServer), *connection->database,
                                          *connection->login, *connection->password,
                                          options.loginTimeoutSeconds.value_or(15),
                                          options.commandTimeoutSeconds.value_or(30)};
        const std::filesystem::path ledger = fleet::guardLedgerPath(folder);
        return clear ? runGuardClear(settings, ledger, host, std::cout, std::cerr)
                     : runGuardStatus(settings, ledger, std::cout, std::cerr);
    }
    if (upgradeFleet.targets) {
        return runFleetCommand("upgrade", upgradeFleet, fleetRunOptions(upgradeOptions, upgradeConnection), folder,
                               home);
    }
    auto failure = std::make_shared<std::optional<ConnectionFailure>>();
    ConnectionSources sources;
    if (captureCommand->parsed()) {
        ConsoleHost host(form, std::cin, std::cerr, isatty(STDERR_FILENO) != 0, AnswerPolicy::Default);
        const auto connection = connectionValuesFor("capture", captureConnection, folder, host, sources);
        if (!connection) return kExitUsage;
        applyConnectionValues(*connection, form);
        const app::OperationOutcome outcome =
            capture::runCapture(form, host, openersFor(folder, captureConnection, home, failure));
        return finish(host, outcome,
                      {connectionNote(*failure, sources),
                       failure->has_value() ? std::nullopt : stoppedNote("capture", outcome, form, host.lastProgress()),
                       missingStoreNote(outcome, store::storePath(folder), home)});
    }

    const bool interactive = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    ConsoleHost host(form, std::cin, std::cerr, interactive, upgradeOptions.answer);
    const auto connection = connectionValuesFor("upgrade", upgradeConnection, folder, host, sources);
    if (!connection) return kExitUsage;
    applyConnectionValues(*connection, form);
    applyUpgradeOptions(upgradeOptions, form);
    auto watch = std::make_shared<TargetWatch>();
    const app::ConnectionOpeners openers = openersFor(folder, upgradeConnection, home, failure, watch);
    upgrade::RunStatistics statistics;
    app::OperationOutcome outcome = app::OperationOutcome::Failed;
    {
        CancelSignals signals([watch] { return releaseMarkNow(*watch); }, kExitCancelled);
        host.onPump([&] {
            // A pending signal becomes a press of the button, which reads "&Cancelar" now.
            if (signals.takePress()) phase_list::pressUpgradeButton(form, host, openers);
        });
        outcome = phase_list::pressUpgradeButton(form, host, openers, &statistics,
                                                 [&](const upgrade::PhaseStatistics& step, const upgrade::RunStatistics& run) {
                                                     host.writeLastingLine(upgrade::stepLine(step, run));
                                                 })
                      .value_or(app::OperationOutcome::Failed);
        host.onPump({});
    }
    std::optional<std::string> summary;
    if (!statistics.phases.empty()) summary = upgrade::summaryLine(form.FXDatabase.text, upgrade::endedText(outcome), statistics);
    return finish(host, outcome,
                  {connectionNote(*failure, sources),
                   failure->has_value() ? std::nullopt : stoppedNote("upgrade", outcome, form, host.lastProgress()),
                   upgradeNote(outcome, form), summary});
}

}  // namespace cli
