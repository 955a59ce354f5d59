#pragma once

// Many targets in one run.
//
// Each target runs in a process of its own, forked from the fleet's process when its turn
// comes, at most `jobs` at once. That process is the single-threaded program the
// operations were written for: its own window state, host, server connection and guard,
// and the shared store opened read-only beside a statement log of its own in the target's
// results folder (store::openStoreWithPrivateLog), so the store is never written and no
// two targets share a log. Processes rather than threads, because:
// - a fault that ends a process (a crash in a driver, an abort) ends that target only;
//   the others complete, and the fleet still writes the crashed target's report;
// - cancelling is what it is for one target: the fleet passes each Ctrl-C (SIGINT) or
//   SIGTERM on to every running target, which cancels at its next row and releases its
//   guard; a second one ends them at once. The fleet itself stops starting targets.
//   Target processes leave the terminal's process group, so that a Ctrl-C reaches them
//   once, through the fleet; and they cancel by themselves if the fleet dies;
// - memory is that of a single upgrade per job, with the code pages shared, and it all
//   returns to the system when a target ends;
// - the core needs no locks, and a target's messages and everything a library prints go
//   to its own file.
// The targets report to the fleet through a pipe each (target_events.h); the fleet's
// process runs no thread, so forking it stays safe. Call run() from a single-threaded
// process.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fleet/fleet_operation.h"
#include "fleet/guard_watch.h"
#include "fleet/run_options.h"
#include "fleet/targets_file.h"

namespace fleet {

// How a target of the fleet ended.
enum class TargetOutcome {
    Completed,
    Failed,     // through its error exit, or its process ended without saying how
    Refused,    // a start check refused it (e.g. its guard was raised and not overridden)
    Cancelled,  // cancelled while it ran
    NotStarted  // the fleet was cancelled before its turn
};

// The name in reports and on the screen: "completed", ..., "not started".
const char* outcomeName(TargetOutcome outcome);

// What the fleet knows of one target.
struct TargetResult {
    TargetOutcome outcome = TargetOutcome::NotStarted;
    int exitCode = 3;    // as `sqlupgrade-cli upgrade` of it alone would give
    std::string error;   // the message it failed or was refused with; empty otherwise
    std::string phase;   // the last progress text it showed
    std::optional<StatementCounts> counts;  // none when it never said
    bool guardRaisedByRun = false;  // it raised its guard and has not released it
    bool guardFoundRaised = false;  // it found the guard raised and left it so
    std::chrono::system_clock::time_point start{}, end{};
    double seconds = 0;
    std::filesystem::path folder;  // its results folder

    bool guardLeftRaised() const { return guardRaisedByRun || guardFoundRaised; }
};

// What the fleet tells the front end while it runs, all on the caller's thread.
class FleetObserver {
public:
    virtual ~FleetObserver() = default;
    virtual void started(std::size_t /*index*/) {}
    virtual void phase(std::size_t /*index*/, const std::string& /*text*/) {}
    virtual void progress(std::size_t /*index*/, long /*value*/, long /*max*/) {}
    virtual void finished(std::size_t /*index*/, const TargetResult& /*result*/) {}
    // About ten times a second while targets run: time to redraw.
    virtual void tick() {}
};

struct FleetSettings {
    const FleetOperation* operation = nullptr;
    std::filesystem::path storePath;
    std::filesystem::path ledgerPath;
    std::filesystem::path resultsFolder;  // exists; each target gets a folder in it
    int jobs = 4;
    RunOptions commandLine;  // over every target's own options
    // The command that lowers a target's guard, for the reports: "sqlupgrade-cli guard
    // clear -S db1 -d shop07 -U sa".
    std::function<std::string(const Target&)> lowerGuardCommand;
};

struct FleetResult {
    std::vector<TargetResult> targets;  // in the file's order
    bool cancelled = false;
    std::chrono::system_clock::time_point start{}, end{};
    double seconds = 0;

    // 0 when every target completed; 3 when the fleet was cancelled; 1 otherwise.
    int exitCode() const;
};

// The cancel requests of this process: a signal handler adds one for each Ctrl-C or
// SIGTERM (an atomic, so safe in a handler). A running fleet passes each on to its targets.
std::atomic<int>& fleetCancelRequests();

// Runs every target of `file`, in the file's order, writes each one's report into its
// folder as it ends (for targets never started too) and the summary into the results
// folder at the end (target_report.h).
FleetResult runFleet(const TargetsFile& file, const FleetSettings& settings, FleetObserver& observer);

// The folder name for a target's results: its name with every ASCII character but letters,
// digits, '.', '-' and '_' as '_', made unique among `taken` (which it joins).
// Example: "db1,1433/shop" -> "db1_1433_shop"; again -> "db1_1433_shop-2"; "Loja Três" ->
// "Loja_Três".
std::string resultsFolderName(const std::string& targetName, std::vector<std::string>& taken);

}  // namespace fleet
