#include "upgrade/upgrade_sequence.h"

#include "structure/update_table_structure.h"

namespace upgrade {
namespace {

// Between the object phases and the system data: the progress text cleared and the
// capture button hidden.
bool betweenPhases(UpgradeRun& run) {
    run.form.FXEvolucao.caption.clear();
    run.form.Command1.visible = false;
    return true;
}

}  // namespace

std::vector<UpgradePhase> upgradePhases() {
    return {
        structure::tableStructurePhase(),
        {"between phases", nullptr, betweenPhases},
    };
}

std::optional<shell::OperationOutcome> pressUpgradeButton(shell::MainForm& form, shell::Host& host,
                                                          const shell::ConnectionOpeners& openers) {
    return pressUpgradeButton(form, host, openers, upgradePhases());
}

}  // namespace upgrade
