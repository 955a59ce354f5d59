#include "upgrade/run_record.h"

#include <cstdio>
#include <vector>


namespace upgrade {
namespace {

// "1 table" / "3 tables".
std::string counted(long count, const std::string& one, const std::string& many) {
    return groupedCount(count) + " " + (count == 1 ? one : many);
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

// The step's name with a capital, as the first word of its line: "table structure" ->
// "Table structure".
std::string capitalised(std::string name) {
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

}  // namespace

std::string groupedCount(long count) {
    const std::string digits = std::to_string(count < 0 ? -count : count);
    std::string out = count < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string endedText(app::OperationOutcome outcome) { return app::outcomeWord(outcome); }

std::string durationText(std::chrono::milliseconds duration) {
    const long long ms = duration.count();
    if (ms < 60'000) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%lld.%lld s", ms / 1000, (ms % 1000) / 100);
        return buffer;
    }
    const long long seconds = ms / 1000;
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

std::string stepLine(const PhaseStatistics& step, const RunStatistics& run) {
    const std::string took = " (" + durationText(step.duration) + ")";
    if (step.name == "backup" && run.backupFile) return "Backup: " + *run.backupFile + took;

    std::vector<std::string> made;
    if (step.tablesCreated > 0) made.push_back(counted(step.tablesCreated, "table created", "tables created"));
    if (step.tablesAltered > 0) {
        made.push_back(step.tablesCreated > 0 ? groupedCount(step.tablesAltered) + " altered"
                                              : counted(step.tablesAltered, "table altered", "tables altered"));
    }
    if (step.objectsRecreated > 0) made.push_back(groupedCount(step.objectsRecreated) + " re-created");
    if (step.rowsTouched > 0) made.push_back(counted(step.rowsTouched, "row", "rows"));

    std::vector<std::string> sent;
    sent.push_back(step.statementsSent == 0 ? std::string("nothing to send")
                                            : counted(step.statementsSent, "statement", "statements"));
    if (step.statementsFailed > 0) sent.push_back(groupedCount(step.statementsFailed) + " failed");
    if (step.failuresIgnored > 0) {
        sent.push_back(counted(step.failuresIgnored, "failure passed over", "failures passed over"));
    }

    std::string line = capitalised(step.name) + ": ";
    if (!made.empty()) line += joined(made, ", ") + "; ";
    return line + joined(sent, ", ") + took;
}

std::string summaryLine(const std::string& database, const std::string& howItEnded,
                        const RunStatistics& run) {
    const PhaseStatistics total = run.totals();
    return "Upgrade of " + database + " " + howItEnded + ": " +
           counted(total.tablesCreated, "table created", "tables created") + ", " +
           groupedCount(total.tablesAltered) + " altered, " +
           counted(total.objectsRecreated, "object re-created", "objects re-created") + ", " +
           counted(total.rowsTouched, "row applied", "rows applied") + ", " +
           counted(total.statementsFailed, "statement failed", "statements failed") + ", in " +
           durationText(run.duration);
}

}  // namespace upgrade
