#include "phase_list/upgrade_phases.h"

#include "structure/update_table_structure.h"

namespace phase_list {
namespace {

// Between the object phases and the system data: the progress text cleared and the
// capture button hidden.
bool betweenPhases(upgrade::UpgradeRun& run) {
    run.form.FXEvolucao.caption.clear();
    run.form.Command1.visible = false;
    return true;
}

}  // namespace

std::vector<upgrade::UpgradePhase> upgradePhases() {
    return {
        structure::tableStructurePhase(),
        {"between phases", nullptr, betweenPhases},
    };
}

std::optional<app::OperationOutcome> pressUpgradeButton(app::MainForm& form, app::Host& host,
                                                        const app::ConnectionOpeners& openers) {
    return upgrade::pressUpgradeButton(form, host, openers, upgradePhases());
}

}  // namespace phase_list
