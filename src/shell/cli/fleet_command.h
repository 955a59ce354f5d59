#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>

#include "fleet/run_options.h"

namespace cli {

// The options of a command run over a targets file.
struct FleetOptions {
    std::optional<std::filesystem::path> targets;  // --targets FILE
    std::optional<std::filesystem::path> results;  // --results DIR
    int jobs = 4;                                  // --jobs N
    CLI::Option* targetsOption = nullptr;
};

// Adds --targets, --jobs and --results to `command`, whose connection options (added
// before) --targets excludes: the file names the databases.
void addFleetOptions(CLI::App& command, FleetOptions& options);

// `sqlupgrade-cli OPERATION --targets FILE`: reads the file (exit 64 naming the line of
// a fault, before anything starts), checks the store, makes the results folder, runs
// the targets `options.jobs` at once with `commandLine` over each one's options, shows
// them on standard error and the summary table on standard output. Ctrl-C (or SIGTERM)
// stops starting targets and cancels the running ones; two signals within a second
// count as one. Returns 0 when every target completed, 1 when any did not, 3 when
// cancelled, 64 for a bad file or results folder.
int runFleetCommand(const std::string& operation, const FleetOptions& options,
                    const fleet::RunOptions& commandLine, const std::filesystem::path& programFolder,
                    const std::optional<std::filesystem::path>& homeOption);

}  // namespace cli
