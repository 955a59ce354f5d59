#include "upgrade/run_statistics.h"

namespace upgrade {

PhaseStatistics& RunStatistics::current() {
    if (phases.empty()) phases.emplace_back();
    return phases.back();
}

PhaseStatistics RunStatistics::totals() const {
    PhaseStatistics sum;
    for (const PhaseStatistics& phase : phases) {
        sum.statementsSent += phase.statementsSent;
        sum.statementsFailed += phase.statementsFailed;
        sum.failuresIgnored += phase.failuresIgnored;
        sum.rowsTouched += phase.rowsTouched;
        sum.tablesCreated += phase.tablesCreated;
        sum.tablesAltered += phase.tablesAltered;
        sum.objectsRecreated += phase.objectsRecreated;
    }
    sum.duration = duration;
    return sum;
}

}  // namespace upgrade
