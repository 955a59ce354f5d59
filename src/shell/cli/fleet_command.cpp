#include "shell/cli/fleet_command.h"

#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <ctime>
#include <iostream>

#include "db/error.h"
#include "fleet/fleet_operation.h"
#include "fleet/fleet_run.h"
#include "fleet/guard_ledger.h"
#include "fleet/targets_file.h"
#include "shell/cli/closing_notes.h"
#include "shell/cli/command_line.h"
#include "shell/cli/fleet_console.h"
#include "store/definitions_store.h"

namespace cli {
namespace {

std::atomic<long> g_lastSignalMs{-1000000};

long monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);  // safe in a signal handler
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

extern "C" void onFleetSignal(int) {
    // A key held down or a signal sent twice by a supervisor is one request: only
    // signals more than a second apart count.
    const long now = monotonicMs();
    if (now - g_lastSignalMs.load() < 1000) return;
    g_lastSignalMs.store(now);
    fleet::fleetCancelRequests().fetch_add(1);
}

int terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// A new folder below the program folder named after the operation and the time, e.g.
// "results/upgrade-20240502-101403" ("-2" added when that exists).
std::filesystem::path newResultsFolder(const std::filesystem::path& programFolder, const std::string& operation) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::filesystem::path base = programFolder / "results" / (operation + "-" + stamp);
    std::filesystem::create_directories(base.parent_path());
    std::filesystem::path folder = base;
    for (int n = 2; !std::filesystem::create_directory(folder); ++n) folder = base.string() + "-" + std::to_string(n);
    return folder;
}

// The command that lowers a target's guard, its password taken from where the fleet took it.
std::string lowerGuardCommand(const fleet::Target& target, const std::optional<std::filesystem::path>& home) {
    std::string command;
    if (!target.passwordEnv.empty()) command += "SQLUPGRADE_PASSWORD=\"$" + target.passwordEnv + "\" ";
    command += "sqlupgrade-cli";
    if (home) command += " --home " + shellWord(home->string());
    command += " guard clear -S " + shellWord(target.server) + " -d " + shellWord(target.database) + " -U " +
               shellWord(target.user);
    if (!target.passwordFile.empty()) command += " --password-file " + shellWord(target.passwordFile.string());
    return command;
}

}  // namespace

void addFleetOptions(CLI::App& command, FleetOptions& options) {
    options.targetsOption =
        command
            .add_option("--targets", options.targets,
                        "Run over every database a targets file (TOML) names, instead of one (default: "
                        "none; see the README's \"Many databases\")")
            ->check(CLI::ExistingFile)
            ->option_text("FILE");
    for (const char* connection : {"--server", "--database", "--user", "--password", "--password-file"})
        options.targetsOption->excludes(connection);
    command.add_option("--jobs", options.jobs, "With --targets: how many databases at once (default: 4)")
        ->check(CLI::Range(1, 64))
        ->option_text("N")
        ->needs(options.targetsOption);
    command
        .add_option("--results", options.results,
                    "With --targets: the folder for each database's messages and report and the "
                    "summary, new or empty (default: a new dated folder in results/ of the program folder)")
        ->option_text("DIR")
        ->needs(options.targetsOption);
}

int runFleetCommand(const std::string& operation, const FleetOptions& options,
                    const fleet::RunOptions& commandLine, const std::filesystem::path& programFolder,
                    const std::optional<std::filesystem::path>& homeOption) {
    fleet::TargetsFile file;
    try {
        file = fleet::readTargetsFile(*options.targets);
    } catch (const fleet::TargetsFileError& e) {
        std::cerr << "sqlupgrade-cli " << operation << ": " << e.what() << '\n';
        return kExitUsage;
    }
    const std::filesystem::path storePath = store::storePath(programFolder);
    try {
        store::checkStore(storePath);
    } catch (const db::Error& e) {
        std::cerr << "sqlupgrade-cli " << operation << ": " << e.description() << '\n';
        if (auto note = missingStoreNote(app::OperationOutcome::Failed, storePath, homeOption))
            std::cerr << *note << '\n';
        return kExitFailed;
    }

    fleet::FleetSettings settings;
    settings.operation = &fleet::fleetOperation(operation);
    settings.storePath = storePath;
    settings.ledgerPath = fleet::guardLedgerPath(programFolder);
    settings.jobs = options.jobs;
    settings.commandLine = commandLine;
    settings.lowerGuardCommand = [homeOption](const fleet::Target& target) {
        return lowerGuardCommand(target, homeOption);
    };
    try {
        if (options.results) {
            settings.resultsFolder = *options.results;
            if (std::filesystem::exists(*options.results) && !std::filesystem::is_empty(*options.results)) {
                std::cerr << "sqlupgrade-cli " << operation << ": --results " << options.results->string()
                          << " is not empty; name a new or empty folder, so that two runs' results never mix\n";
                return kExitUsage;
            }
            std::filesystem::create_directories(*options.results);
        } else {
            settings.resultsFolder = newResultsFolder(programFolder, operation);
        }
    } catch (const std::filesystem::filesystem_error& e) {
        std::cerr << "sqlupgrade-cli " << operation << ": cannot make the results folder: " << e.what() << '\n';
        return kExitFailed;
    }

    const bool live = isatty(STDERR_FILENO) != 0;
    FleetConsole console(file, std::cerr, live, terminalWidth());
    std::signal(SIGINT, onFleetSignal);
    std::signal(SIGTERM, onFleetSignal);
    const fleet::FleetResult result = fleet::runFleet(file, settings, console);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    console.close();
    std::cerr << std::endl;
    std::cout << fleetSummaryTable(file, settings, result) << std::flush;
    return result.exitCode();
}

}  // namespace cli
