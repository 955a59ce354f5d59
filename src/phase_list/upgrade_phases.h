#pragma once

#include <optional>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace upgrade {

// The phases of the upgrade in their fixed order, each skipped as a whole where its
// condition is false. Each phase plugs in here from its own file.
std::vector<UpgradePhase> upgradePhases();

// The press of Command2 with the product's phases.
std::optional<shell::OperationOutcome> pressUpgradeButton(shell::MainForm& form, shell::Host& host,
                                                          const shell::ConnectionOpeners& openers);

}  // namespace upgrade
