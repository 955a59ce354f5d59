#pragma once

#include <functional>
#include <string>
#include <vector>

#include "capture/capture_run.h"
#include "db/recordset.h"

namespace capture {

// One capture phase that follows the common pattern: its catalog query, its progress
// text, the store table(s) it rewrites, and what it does with each record.
struct CatalogPhase {
    std::string progressText;
    std::string catalogQuery;
    std::vector<std::string> storeTables;  // emptied in this order
    // Handles the current record. It may move the record set further itself (a phase
    // whose list holds several records per object); the pattern then moves once more.
    std::function<void(CaptureRun&, db::Recordset&)> handleRecord;
};

// Runs the common pattern: open the query static and read-only and count its records;
// with none, leave the store table as it is; otherwise show the progress text, size the
// bar, repaint and pump, empty the store table(s), handle every record advancing the bar.
// Errors propagate to the run's error exit.
void runCatalogPhase(CaptureRun& run, const CatalogPhase& phase);

}  // namespace capture
