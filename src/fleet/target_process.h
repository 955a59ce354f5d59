#pragma once

#include <filesystem>

#include "fleet/fleet_operation.h"
#include "fleet/run_options.h"
#include "fleet/targets_file.h"

namespace fleet {

// What the process of one target needs besides the target.
struct TargetJob {
    const FleetOperation* operation = nullptr;
    std::filesystem::path storePath;   // the shared definitions store, only read
    std::filesystem::path ledgerPath;  // the guard ledger (guard_ledger.h)
    std::filesystem::path folder;      // the target's results folder, existing
    RunOptions commandLine;            // over the target's own options
};

// The files of a target's results folder.
inline constexpr const char* kMessagesFile = "messages.txt";
inline constexpr const char* kStatementLogFile = "statements.db";
inline constexpr const char* kReportFile = "report.json";

// The exit code the command line gives for one run ending so.
int exitCodeOf(app::OperationOutcome outcome);

// The outcome's name in reports and on the screen: "completed", "failed", "refused",
// "cancelled".
const char* outcomeName(app::OperationOutcome outcome);

// Makes SIGINT and SIGTERM the cancel press of the target this process runs: the first
// one is honoured at the run's next row, a second one ends the process at once with exit
// code 3, as on the command line.
void takeCancelSignals();

// Runs one target in this process, which the fleet forked for it: the operation with its
// own window state and host, its own server connection (guard changes written to the
// ledger and reported) and the shared store read-only beside its own statement log in
// job.folder. Messages go to job.folder/messages.txt, as does anything written on
// standard output or error; events go to `eventFd` (target_events.h), the last being
// "end". Call takeCancelSignals() first. Returns the exit code for the process.
int runTargetHere(const Target& target, const TargetJob& job, int eventFd);

}  // namespace fleet
