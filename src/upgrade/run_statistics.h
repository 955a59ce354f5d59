#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace upgrade {

// What one step of an upgrade did, in numbers: a phase of the phase list, or the backup.
// Filled while the step runs, by the run loop (name, duration), the statement runner
// (statements, failures, rows) and the phases themselves (what they created or altered).
struct PhaseStatistics {
    std::string name;                       // the phase list's name, e.g. "indexes"
    std::chrono::milliseconds duration{0};  // from the step's start to its end
    long statementsSent = 0;                // statements sent to the target by the step
    long statementsFailed = 0;   // of those, the ones that failed where a failure counts (the
                                 // question, the notice or the end of the run)
    long failuresIgnored = 0;    // failures of statements sent to be let fail (roles, logins,
                                 // removals), which the run passes over by design
    long rowsTouched = 0;                   // rows the server counted as inserted, updated or deleted
    long tablesCreated = 0;
    long tablesAltered = 0;     // existing tables given a column, a changed column or a rebuild
    long objectsRecreated = 0;  // functions, views and procedures created from the store
};

// What one upgrade did: a record per step that ran, in order, and the backup file. Owned
// by the run; the front ends read it as each step ends and when the run is over, to say
// what happened in numbers.
struct RunStatistics {
    std::vector<PhaseStatistics> phases;
    std::optional<std::string> backupFile;  // the file the server wrote, as it was named to it
    std::chrono::milliseconds duration{0};  // the whole run, from the press to its end

    // The step running now. Before any step has begun (a phase driven on its own, as
    // tests do) an unnamed record is begun for it.
    PhaseStatistics& current();

    // The sums over every step; the name stays empty and the duration is the run's.
    // Example: steps {sent 3, failed 1} and {sent 2} -> {sent 5, failed 1}.
    PhaseStatistics totals() const;
};

}  // namespace upgrade
