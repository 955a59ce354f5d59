// bench_full_run: the whole runs at scale, each made by the real sqlupgrade-cli against a
// sandbox server: the capture of the generated reference, the upgrade of an older target
// and the upgrade of an identical target (the no-op run), at L/10 and at L. For each run
// the median over the rounds of the wall time, of its floor and of the ratio of the two
// (every floor measured in the same round as its run: the run's batches, read back from
// the sandbox's trace, sent by a bare ODBC loop to an untouched copy of the database, plus
// the run's store statements replayed), the server batches and store statements, and the
// peak resident memory of the product's process; then the L run against the L/10 run.
// Targets: every ratio <= 1.25, peak RSS <= 150 MB, L within 12 times L/10; at L, server
// batches (round trips) <= 2,000 for the capture, 3,000 for the upgrade of the identical
// target and 15,000 for the older one, and with --latency-ms 1 a wall time of at most 5 s,
// 5 s and 30 s. --no-system-data leaves the system data out of the upgrades, to see the
// share of the other phases.
//
//   cmake --preset release && cmake --build --preset release --target bench_full_run
//   build/release/bin/bench_full_run [--scale L|L10|both] [--rounds N] [--latency-ms N]
//       [--capture-only] [--no-system-data]
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "whole_runs.h"

namespace {

constexpr double kTargetRatio = 1.25;
constexpr double kTargetPeakMegabytes = 150;
constexpr double kTargetScaleFactor = 12;

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// The round trips and the wall time at a 1 ms link that a run of scale L may take.
struct LinkTargets {
    std::size_t batches;
    double wallSecondsAt1Ms;
};

LinkTargets linkTargets(const std::string& run) {
    if (run == "capture") return {2000, 5};
    if (run == "upgrade of the identical target") return {3000, 5};
    return {15000, 30};
}

// At scale L: the batches against their target, and at a 1 ms link the wall time too.
void printLinkTargets(const std::string& scale, const fullrun::RunFigures& run, int latencyMs) {
    if (scale != "L") return;
    const LinkTargets targets = linkTargets(run.name);
    std::printf("L %s: %zu server batches (target <= %zu: %s)", run.name.c_str(), run.serverBatches(),
                targets.batches, verdict(run.serverBatches() <= targets.batches));
    if (latencyMs == 1) {
        std::printf(", wall %.2f s at 1 ms (target <= %.0f s: %s)", run.medianWallSeconds(),
                    targets.wallSecondsAt1Ms, verdict(run.medianWallSeconds() <= targets.wallSecondsAt1Ms));
    }
    std::printf("\n");
}

void printRun(const std::string& scale, const fullrun::RunFigures& run) {
    const double ratio = run.medianRatio();
    const double peak = run.maxPeakMegabytes();
    std::printf(
        "%s %s: wall %.2f s, floor %.2f s, ratio %.3f (target <= %.2f: %s), %zu server batches, "
        "%zu "
        "store statements, peak RSS %.1f MB median, %.1f MB highest (target <= %.0f MB: %s); "
        "medians of %zu rounds; load average %s before, %s after\n",
        scale.c_str(), run.name.c_str(), run.medianWallSeconds(), run.medianFloorSeconds(), ratio,
        kTargetRatio, verdict(ratio <= kTargetRatio), run.serverBatches(), run.storeStatements,
        run.medianPeakMegabytes(), peak, kTargetPeakMegabytes,
        verdict(peak <= kTargetPeakMegabytes), run.rounds.size(), run.loadBefore.c_str(),
        run.loadAfter.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Whole capture and upgrade runs of sqlupgrade-cli at scale, against their floor"};
    std::string scaleChoice = "both";
    fullrun::Settings settings;
    app.add_option("--scale", scaleChoice, "L, L10 or both (default: both, L10 first)")
        ->check(CLI::IsMember({"L", "L10", "both"}));
    app.add_option("--rounds", settings.rounds, "Measured rounds of each run (default: 3)")
        ->check(CLI::PositiveNumber);
    app.add_option(
           "--latency-ms", settings.latencyMs,
           "Hold each of the sandbox's responses back N ms, as over a slower link (default: 0)")
        ->check(CLI::NonNegativeNumber);
    bool captureOnly = false;
    app.add_flag("--capture-only", captureOnly, "Measure the capture alone, without the upgrades");
    bool noSystemData = false;
    app.add_flag("--no-system-data", noSystemData, "Upgrade without the system data phase");
    CLI11_PARSE(app, argc, argv);
    settings.upgrades = !captureOnly;
    settings.systemData = !noSystemData;
    settings.binaryDir = std::filesystem::canonical("/proc/self/exe").parent_path();

    const std::vector<std::string> scales = scaleChoice == "both"
                                                ? std::vector<std::string>{"L10", "L"}
                                                : std::vector<std::string>{scaleChoice};
    std::map<std::string, std::vector<fullrun::RunFigures>> results;
    try {
        for (const std::string& name : scales) {
            std::printf("scale %s: load average %s; generating and loading...\n", name.c_str(),
                        benchsupport::loadAverage().c_str());
            std::fflush(stdout);
            fullrun::ScaleRuns runs(benchsupport::generatedScale(name), settings);
            std::printf("scale %s: scripts written and loaded in %.1f s\n", name.c_str(),
                        runs.loadSeconds());
            std::vector<fullrun::RunFigures>& figures = results[name];
            figures.push_back(runs.measureCapture());
            printRun(name, figures.back());
            if (!settings.upgrades) continue;
            figures.push_back(runs.measureUpgrade(false));
            printRun(name, figures.back());
            figures.push_back(runs.measureUpgrade(true));
            printRun(name, figures.back());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_full_run: %s\n", e.what());
        return 1;
    }

    std::printf("\nsummary (latency %d ms):\n", settings.latencyMs);
    for (const std::string& name : scales) {
        for (const fullrun::RunFigures& run : results[name]) printRun(name, run);
    }
    for (const std::string& name : scales) {
        for (const fullrun::RunFigures& run : results[name]) printLinkTargets(name, run, settings.latencyMs);
    }
    if (results.count("L") && results.count("L10")) {
        for (std::size_t i = 0; i < results["L"].size(); ++i) {
            const fullrun::RunFigures& large = results["L"][i];
            const fullrun::RunFigures& small = results["L10"][i];
            const double factor = large.medianWallSeconds() / small.medianWallSeconds();
            // The floor's own growth is the server's; the time over the floor is the
            // product's.
            const double floorFactor = large.medianFloorSeconds() / small.medianFloorSeconds();
            const double largeOver = large.medianWallSeconds() - large.medianFloorSeconds();
            const double smallOver = small.medianWallSeconds() - small.medianFloorSeconds();
            char overFloor[32] = "none at L10";
            if (largeOver <= 0)
                std::snprintf(overFloor, sizeof overFloor, "none at L");
            else if (smallOver > 0)
                std::snprintf(overFloor, sizeof overFloor, "%.2f times", largeOver / smallOver);
            std::printf(
                "L / L10 %s: %.2f times (target <= %.0f: %s); the floor %.2f times, the time over "
                "the floor %s\n",
                large.name.c_str(), factor, kTargetScaleFactor,
                verdict(factor <= kTargetScaleFactor), floorFactor, overFloor);
        }
    }
    return 0;
}
