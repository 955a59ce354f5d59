#pragma once

#include <chrono>
#include <string>

#include "app/operation_outcome.h"
#include "upgrade/run_statistics.h"

namespace upgrade {

// The lines that say what an upgrade did, read off its RunStatistics: one as each step
// ends and one summary at the end. The command line leaves them on standard error, the
// window shows the summary under its buttons. The texts of this record are gathered here.

// A count with its thousands grouped by commas. Example: 2099 -> "2,099".
std::string groupedCount(long count);

// The line of a step that ended. Examples:
//   "Backup: /var/opt/mssql/data/shop_20240307140509.BAK (2.1 s)"
//   "Table structure: 3 tables created, 2 altered; 41 statements, 1 failed (0.8 s)"
//   "System data: 1,204 rows; 1,310 statements, 12 failures passed over (4.2 s)"
std::string stepLine(const PhaseStatistics& step, const RunStatistics& run);

// The summary of a run. Example:
//   "Upgrade of shop completed: 3 tables created, 2 altered, 17 objects re-created,
//    1,204 rows applied, 0 statements failed, in 1 min 4 s" (one line)
std::string summaryLine(const std::string& database, const std::string& howItEnded,
                        const RunStatistics& run);

// How a run ended, as the summary says it: "completed", "failed", "cancelled", "refused".
std::string endedText(app::OperationOutcome outcome);

// A duration as a person reads it. Examples: 340 ms -> "0.3 s"; 64,200 ms -> "1 min 4 s".
std::string durationText(std::chrono::milliseconds duration);

}  // namespace upgrade
