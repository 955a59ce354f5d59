#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/program_folder.h"
#include "registry/registry_locations.h"

namespace cli {

// One line of the `where` report: what it names, and where that is.
struct WhereLine {
    std::string label;
    std::string value;
};

// The files a run of this program would use, in the order `where` prints them: the
// program folder and why it was chosen, the store, Defs.ini, the registry's two files and
// its shadow file. A file that is not there says so and what follows from it. Looks at
// the files, changes nothing.
std::vector<WhereLine> whereLines(const app::ProgramFolder& folder,
                                  const registry::RegistryLocations& registry);

// `sqlupgrade-cli where`: prints whereLines for the registry locations of the environment
// as "Label: value" lines with the values aligned, e.g.
// "Store:              /home/ana/.local/share/sqlupgrade/SQL.mdb". Returns the exit code
// (always success).
int runWhere(const app::ProgramFolder& folder, std::ostream& out);

}  // namespace cli
