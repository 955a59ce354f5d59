#pragma once

namespace app {

// How a capture or an upgrade ended; the command line maps it onto its exit codes.
enum class OperationOutcome {
    Completed,  // ran to its end
    Failed,     // ended through its error exit, or a connection did not open
    Refused,    // stopped by a start check before anything was touched (no database
                // name, the upgrade guard declined)
    Cancelled,  // the user pressed cancel
};

// The outcome as the run's records and reports name it: "completed", "failed", "refused"
// or "cancelled".
const char* outcomeWord(OperationOutcome outcome);

}  // namespace app
