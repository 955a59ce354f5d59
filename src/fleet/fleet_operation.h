#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/connection_openers.h"
#include "app/host.h"
#include "app/main_form.h"
#include "app/operation_outcome.h"

namespace fleet {

// An operation a fleet makes on each of its targets: its command's name and the press
// that starts it, which is also the press that cancels it while it runs (none returned
// then), as the window's button does.
struct FleetOperation {
    std::string name;
    std::function<std::optional<app::OperationOutcome>(app::MainForm&, app::Host&,
                                                       const app::ConnectionOpeners&)>
        press;
};

// The operations a targets file can be run with, by command name. A new one is one line
// here (and the option on its command).
const std::vector<FleetOperation>& fleetOperations();

// The operation of that name; throws std::out_of_range for a name that is not one.
const FleetOperation& fleetOperation(const std::string& name);

}  // namespace fleet
