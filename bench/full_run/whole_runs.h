#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "generated_database.h"

namespace fullrun {

// What one measured round of a whole run took.
struct RoundFigures {
    double wallSeconds = 0;   // the product's process, from its start to its end
    double floorSeconds = 0;  // the same traffic replayed by bare loops, in the same round
    long peakKilobytes = 0;   // the product's process's peak resident memory
    std::size_t serverBatches = 0;
    double ratio() const { return wallSeconds / floorSeconds; }
};

// The rounds of one whole run and their medians.
struct RunFigures {
    std::string name;
    std::vector<RoundFigures> rounds;
    std::size_t storeStatements = 0;  // the same in every round
    std::string loadBefore;           // the machine's load averages before the first round
    std::string loadAfter;            // and after the last

    double medianWallSeconds() const;
    double medianFloorSeconds() const;
    double medianRatio() const;
    double medianPeakMegabytes() const;
    double maxPeakMegabytes() const;
    std::size_t serverBatches() const;  // of the last round
};

// How the runs are made.
struct Settings {
    std::filesystem::path binaryDir;  // holding sqlupgrade-cli and bench_measure_child
    int rounds = 3;
    int latencyMs = 0;     // the sandbox's --latency-ms
    bool upgrades = true;  // false: the capture alone (no target is loaded)
    bool systemData = true;  // false: the upgrades leave the system data out
};

// The three whole runs at one scale: the capture of the reference, the upgrade of an
// older target and the upgrade of an identical target (the no-op run), each made by the
// real sqlupgrade-cli as a child process against a sandbox server. The constructor writes
// the scale's scripts, starts the sandbox (with --trace, and the latency asked for) with
// the reference and a fresh copy of each target for every round and every floor loaded,
// and makes one capture in-process that records the store statements and leaves the
// store the upgrades start from. Throws std::runtime_error when a step or a run fails.
class ScaleRuns {
public:
    ScaleRuns(const benchsupport::GeneratedScale& scale, const Settings& settings);
    ~ScaleRuns();
    ScaleRuns(const ScaleRuns&) = delete;
    ScaleRuns& operator=(const ScaleRuns&) = delete;

    // Each round: the product's run (wall time, peak memory, the batches it sent as the
    // server's trace shows them), then its floor: those batches sent again by a bare ODBC
    // loop to an untouched copy of the same database, plus the store statements replayed
    // on a store as the run found it (in one transaction for the capture, which runs in
    // one; one by one for the upgrade).
    RunFigures measureCapture();
    RunFigures measureUpgrade(bool identicalTarget);

    double loadSeconds() const;  // writing and loading the scripts

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace fullrun
