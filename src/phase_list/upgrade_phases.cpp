#include "phase_list/upgrade_phases.h"

#include "objects/keys_indexes_defaults.h"
#include "objects/maintenance_commands.h"
#include "objects/recreate_modules.h"
#include "objects/remove_indexes_defaults.h"
#include "objects/roles_and_users.h"
#include "structure/update_table_structure.h"
#include "sysdata/update_system_data.h"

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
        objects::indexRemovalPhase(),
        objects::defaultRemovalPhase(),
        objects::rolesPhase(),
        objects::usersPhase(),
        structure::tableStructurePhase(),
        objects::primaryKeysPhase(),
        objects::indexesPhase(),
        objects::defaultsPhase(),
        objects::functionsPhase(),
        objects::viewsPhase(),
        objects::proceduresPhase(),
        {"", nullptr, betweenPhases},
        sysdata::systemDataPhase(),
        objects::maintenancePhase(),
    };
}

std::optional<app::OperationOutcome> pressUpgradeButton(app::MainForm& form, app::Host& host,
                                                        const app::ConnectionOpeners& openers,
                                                        upgrade::RunStatistics* statistics,
                                                        const upgrade::StepEnded& stepEnded) {
    return upgrade::pressUpgradeButton(form, host, openers, upgradePhases(), statistics, stepEnded);
}

}  // namespace phase_list
