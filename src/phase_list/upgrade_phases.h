#pragma once

#include <optional>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace phase_list {

// The product's phase list: the only place that knows every phase of the upgrade. The
// phases in their fixed order, each skipped as a whole where its condition is false.
std::vector<upgrade::UpgradePhase> upgradePhases();

// The press of Command2 with the product's phases (see upgrade::pressUpgradeButton for
// `statistics` and `stepEnded`).
std::optional<app::OperationOutcome> pressUpgradeButton(app::MainForm& form, app::Host& host,
                                                        const app::ConnectionOpeners& openers,
                                                        upgrade::RunStatistics* statistics = nullptr,
                                                        const upgrade::StepEnded& stepEnded = {});

}  // namespace phase_list
