#include "fleet/fleet_operation.h"

#include <algorithm>
#include <stdexcept>

#include "phase_list/upgrade_phases.h"

namespace fleet {

const std::vector<FleetOperation>& fleetOperations() {
    static const std::vector<FleetOperation> operations{
        {"upgrade",
         [](app::MainForm& form, app::Host& host, const app::ConnectionOpeners& openers) {
             return phase_list::pressUpgradeButton(form, host, openers);
         }},
    };
    return operations;
}

const FleetOperation& fleetOperation(const std::string& name) {
    const auto& operations = fleetOperations();
    const auto found = std::find_if(operations.begin(), operations.end(),
                                    [&name](const FleetOperation& o) { return o.name == name; });
    if (found == operations.end()) throw std::out_of_range("no fleet operation " + name);
    return *found;
}

}  // namespace fleet
