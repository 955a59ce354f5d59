#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/program_folder.h"

namespace cli {

// One line of the `where` report: what it names, and where that is.
struct WhereLine {
    std::string label;
    std::string value;
};

// The files a run of this program would use, in the order `where` prints them: the
// program folder and why it was chosen, the store, Defs.ini. Looks at the files, changes
// nothing.
std::vector<WhereLine> whereLines(const app::ProgramFolder& folder);

// `sqlupgrade-cli where`: prints whereLines as "Label: value" lines with the values
// aligned, e.g. "Store:          /home/ana/.local/share/sqlupgrade/SQL.mdb". Returns the
// exit code (always success).
int runWhere(const app::ProgramFolder& folder, std::ostream& out);

}  // namespace cli
