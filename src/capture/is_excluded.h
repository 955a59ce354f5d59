#pragma once

#include <string>

#include "db/connection.h"
#include "app/host.h"

namespace capture {

// Whether the reference's rules table tbSQLUpdate leaves `name` out of the structure
// capture: false when the table has no row or no column named exactly "exclude",
// otherwise whether a row with that `descrit` has a non-zero `exclude`. Both queries run
// on every call. Its own error exit shows the error (when it has a description) and
// answers false, so a reference without tbSQLUpdate shows one message per call.
bool IsExcluded(const std::string& name, db::Connection& server, app::Host& host);

}  // namespace capture
