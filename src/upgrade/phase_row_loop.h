#pragma once

#include <functional>
#include <string>

#include "db/recordset.h"
#include "upgrade/upgrade_run.h"

namespace upgrade {

// Where the record set stands after a phase's work for a row.
enum class AfterRow {
    MoveNext,      // still on the row worked: the loop moves past it and advances the bar
    AlreadyMoved,  // the work moved past every row it consumed (a group of rows, a skipped
                   // table) with consumeRow(), so the record set stands on the next row
};

// A phase that walks a record set row by row.
struct RowPhase {
    std::string progressText;
    // Opens the phase's record set (static, read-only); a failure ends the run.
    std::function<db::Recordset(UpgradeRun&)> open;
    // Does the phase's work for the current row (and for the rows it consumes with it).
    std::function<AfterRow(UpgradeRun&, db::Recordset&)> handleRow;
};

// Thrown after a cancel press was honoured: the button is restored, the guard released
// and both connections closed; the run ends without a message.
struct RunCancelled {};

// The shared row loop: with no rows the progress text and bar are left as they are;
// otherwise the progress text is shown and the bar sized; per row: repaint, pump, the
// cancel check, the work, move next and advance the bar (never past its maximum).
void runPhaseRowLoop(UpgradeRun& run, const RowPhase& phase);

// Moves to the next row and advances the bar, for phases that group rows.
void consumeRow(UpgradeRun& run, db::Recordset& rows);

// The cancellation: caption and button restored, the phase's record set closed, the
// guard released, both connections closed. Throws RunCancelled.
[[noreturn]] void cancelRun(UpgradeRun& run, db::Recordset* phaseRecordset);

}  // namespace upgrade
