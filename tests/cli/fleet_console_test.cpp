// How a fleet looks on a terminal: live lines redrawn in place, each cut to the
// terminal's width, the end lines above them, and the summary table.
#include "shell/cli/fleet_console.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using ::testing::HasSubstr;

fleet::TargetsFile twoTargets() {
    fleet::TargetsFile file;
    file.targets.resize(2);
    file.targets[0].name = "Loja Três";
    file.targets[0].server = "db1";
    file.targets[0].database = "shop01";
    file.targets[1].name = "north";
    return file;
}

TEST(FleetConsole, OnATerminalRedrawsTheRunningLinesInPlaceWithinTheWidth) {
    const fleet::TargetsFile file = twoTargets();
    std::ostringstream out;
    cli::FleetConsole console(file, out, true, 60);
    console.started(0);
    console.started(1);
    console.phase(0, "A carregar definições: Indexes ...");
    console.progress(0, 120, 400);
    console.tick();
    const std::string first = out.str();
    EXPECT_EQ(first,
              "Loja Três    0.0 s  [######..............] 120/400  A carre\x1b[K\n"
              "north        0.0 s  connecting ...\x1b[K\n");

    fleet::TargetResult failed;
    failed.outcome = fleet::TargetOutcome::Failed;
    failed.seconds = 3.14;
    failed.error = "Login failed for user 'sa'.\n\nObjecto: ";
    failed.guardRaisedByRun = true;
    console.finished(1, failed);
    console.close();
    const std::string rest = out.str().substr(first.size());
    // Up over the two live lines, cleared, then the end line (cut to the width); nothing
    // runs any more.
    EXPECT_EQ(rest.substr(0, 8), "\r\x1b[2A\x1b[J");
    EXPECT_EQ(rest.substr(8), "north      failed       3.1 s  (guard left raised)  Login f\n");
}

TEST(FleetConsole, SummaryTableAlignsItsColumnsAndListsTheGuardsLeftRaised) {
    const fleet::TargetsFile file = twoTargets();
    fleet::FleetSettings settings;
    settings.resultsFolder = "/tmp/results";
    settings.lowerGuardCommand = [](const fleet::Target& t) { return "sqlupgrade-cli guard clear -d " + t.database; };
    fleet::FleetResult result;
    result.targets.resize(2);
    result.targets[0].outcome = fleet::TargetOutcome::Completed;
    result.targets[0].seconds = 75;
    result.targets[0].counts = fleet::StatementCounts{1203, 0};
    result.targets[1].outcome = fleet::TargetOutcome::Refused;
    result.targets[1].seconds = 0.1;
    result.targets[1].counts = fleet::StatementCounts{1, 0};
    result.targets[1].guardFoundRaised = true;
    result.seconds = 75.2;
    EXPECT_EQ(cli::fleetSummaryTable(file, settings, result),
              "Target     Outcome    Duration  Statements  Failures  Guard\n"
              "Loja Três  completed      1:15       1,203         0\n"
              "north      refused       0.1 s           1         0  left raised\n"
              "\n"
              "1 completed, 1 refused in 1:15. Results: /tmp/results\n"
              "\n"
              "Guards left raised; check each database, then lower its guard with:\n"
              "  north: sqlupgrade-cli guard clear -d \n");
}

}  // namespace
