#include "shell/cli/guard_command.h"

#include <map>
#include <memory>
#include <ostream>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "fleet/guard_ledger.h"
#include "fleet/upgrade_guard.h"
#include "shell/cli/command_line.h"

namespace cli {
namespace {

// Connects and reads the guard; on failure says why on `err` and gives none.
std::unique_ptr<db::Connection> connectAndRead(const db::ServerSettings& settings, const char* command,
                                               fleet::GuardReading& reading, std::ostream& err) {
    try {
        auto target = db::odbc::openServer(settings);
        reading = fleet::readGuard(*target);
        return target;
    } catch (const db::Error& e) {
        err << "sqlupgrade-cli guard " << command << ": cannot tell whether the upgrade guard of "
            << settings.database << " on " << settings.server << " is raised: " << e.description() << '\n';
        return nullptr;
    }
}

std::string statusLine(const db::ServerSettings& settings, const fleet::GuardReading& reading,
                       const fleet::GuardLedger& ledger) {
    return fleet::guardStatusLine(reading, settings.server, settings.database,
                                  ledger.last(settings.server, settings.database), ledger.file().string());
}

}  // namespace

void addGuardCommands(CLI::App& app, GuardCommands& commands) {
    CLI::App* guard = app.add_subcommand(
        "guard", "See or lower a target's upgrade guard (upgrading in its tbVersao)");
    guard->require_subcommand(1);
    commands.status = guard->add_subcommand(
        "status", "Say whether the target's upgrade guard is raised and who raised it");
    commands.clear = guard->add_subcommand(
        "clear", "Lower the target's upgrade guard after asking; do it only when no upgrade of it runs");
    const std::map<std::string, AnswerPolicy> policies{
        {"default", AnswerPolicy::Default}, {"yes", AnswerPolicy::Yes}, {"no", AnswerPolicy::No}};
    commands.clear->add_option("--answer", commands.answer,
                     "Answer the question without asking: yes lowers the guard, no and default leave it "
                     "(default: ask on a terminal, else leave it)")
        ->transform(CLI::CheckedTransformer(policies, CLI::ignore_case))
        ->option_text("default|yes|no");
}

int runGuardStatus(const db::ServerSettings& settings, const std::filesystem::path& ledger,
                   std::ostream& out, std::ostream& err) {
    fleet::GuardReading reading;
    if (!connectAndRead(settings, "status", reading, err)) return kExitFailed;
    out << statusLine(settings, reading, fleet::GuardLedger(ledger)) << '\n';
    return kExitCompleted;
}

int runGuardClear(const db::ServerSettings& settings, const std::filesystem::path& ledgerPath,
                  ConsoleHost& host, std::ostream& out, std::ostream& err) {
    fleet::GuardReading reading;
    const auto target = connectAndRead(settings, "clear", reading, err);
    if (!target) return kExitFailed;
    const fleet::GuardLedger ledger(ledgerPath);
    out << statusLine(settings, reading, ledger) << '\n' << std::flush;
    if (reading.state != fleet::GuardState::Raised) return kExitCompleted;
    const int answer = host.messageBox(
        "Lower the upgrade guard of " + settings.database + " on " + settings.server +
            "? Do it only when no upgrade of it is running.",
        app::mb::kYesNo | app::mb::kQuestion | app::mb::kDefaultButton2, "sqlupgrade-cli guard clear");
    host.finishOutput();
    if (answer != app::mb::kAnswerYes) {
        out << "left raised\n";
        return kExitRefused;
    }
    try {
        fleet::lowerGuard(*target);
    } catch (const db::Error& e) {
        err << "sqlupgrade-cli guard clear: " << e.description() << '\n';
        return kExitFailed;
    }
    ledger.record(fleet::GuardEvent::Cleared, settings.server, settings.database);
    out << "lowered: upgrading = 0 in tbVersao of " << settings.database << " on " << settings.server << '\n';
    return kExitCompleted;
}

}  // namespace cli
