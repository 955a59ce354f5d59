#pragma once

// The reports a fleet writes: one JSON file per target, "report.json" in its results
// folder, and "summary.json" in the results folder naming every target. Their fields are
// documented, with their schema versions, in docs/fleet-reports.md.
//
// The target report holds what the fleet itself knows of a run (outcome, exit code,
// times, the error, the statements sent and failed, the guard). It is the part of a full
// run report that a fleet can give for a target that was never reached too; a fuller run
// report can take its place or add to it under the same file name and a later schema
// version.

#include <chrono>
#include <filesystem>
#include <string>

#include "fleet/fleet_run.h"

namespace fleet {

inline constexpr int kTargetReportVersion = 1;
inline constexpr int kFleetSummaryVersion = 1;

// A time as ISO 8601 local time with its offset. Example: "2024-05-02T10:14:03+01:00".
std::string isoTime(std::chrono::system_clock::time_point time);

// The target report of one target as JSON text (target_report.h says what it holds).
std::string targetReportJson(const Target& target, const TargetResult& result, const FleetSettings& settings);

// Writes targetReportJson into result.folder/report.json (created when missing). Best
// effort: a folder that cannot be written loses the report, not the run.
void writeTargetReport(const Target& target, const TargetResult& result, const FleetSettings& settings);

// The summary of a fleet as JSON text.
std::string fleetSummaryJson(const TargetsFile& file, const FleetSettings& settings, const FleetResult& result);

// Writes fleetSummaryJson into folder/summary.json. Best effort, as above.
void writeFleetSummary(const std::filesystem::path& folder, const TargetsFile& file,
                       const FleetSettings& settings, const FleetResult& result);

}  // namespace fleet
