#include "fleet/target_report.h"

#include <cmath>
#include <ctime>
#include <fstream>
#include <string_view>
#include <nlohmann/json.hpp>

#include "fleet/target_process.h"

namespace fleet {
namespace {

// Ordered, so that a report reads in the order its fields are documented.
using json = nlohmann::ordered_json;

json program() { return {{"name", "sqlupgrade-cli"}, {"version", SQLUPGRADE_VERSION}}; }

json nullable(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

// The check boxes the target ran with, by their names in a targets file, and the
// time-outs and answer given (null: the operation's own).
json optionsOf(const Target& target, const FleetSettings& settings) {
    const RunOptions options = overlay(target.options, settings.commandLine);
    app::MainForm form;
    applyRunOptions(options, form);
    json out = json::object();
    for (const SwitchKey& key : switchKeys()) out[std::string(key.key)] = (form.*key.box).ticked();
    auto seconds = [](const std::optional<int>& value) { return value ? json(*value) : json(nullptr); };
    out["command_timeout"] = seconds(options.commandTimeoutSeconds);
    out["login_timeout"] = seconds(options.loginTimeoutSeconds);
    const Answer answer = options.answer.value_or(Answer::Default);
    out["answer"] = answer == Answer::Yes ? "yes" : answer == Answer::No ? "no" : "default";
    return out;
}

std::string lowerGuardCommand(const Target& target, const TargetResult& result, const FleetSettings& settings) {
    return result.guardLeftRaised() && settings.lowerGuardCommand ? settings.lowerGuardCommand(target)
                                                                  : std::string();
}

// Seconds to the millisecond.
double seconds(double value) { return std::round(value * 1000) / 1000; }

// A file of the target's folder by its name there, when the run made it.
json fileIn(const TargetResult& result, const char* name) {
    std::error_code ec;
    return std::filesystem::exists(result.folder / name, ec) ? json(name) : json(nullptr);
}

json countsOf(const TargetResult& result, long StatementCounts::*field) {
    return result.counts ? json((*result.counts).*field) : json(nullptr);
}

// Writes through a file beside it, so that a reader never meets half a report.
void writeWhole(const std::filesystem::path& file, const std::string& text) {
    const std::filesystem::path partial = file.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text << '\n';
        if (!out.flush()) return;
    }
    std::error_code ec;
    std::filesystem::rename(partial, file, ec);
}

}  // namespace

std::string isoTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    const std::string_view written = text;
    if (written.size() < 5) return std::string(written);
    // +0100 -> +01:00
    std::string out(written.substr(0, written.size() - 2));
    out += ':';
    out += written.substr(written.size() - 2);
    return out;
}

std::string targetReportJson(const Target& target, const TargetResult& result, const FleetSettings& settings) {
    const bool started = result.outcome != TargetOutcome::NotStarted;
    const json report{
        {"schema", "sqlupgrade-fleet-target"},
        {"schemaVersion", kTargetReportVersion},
        {"program", program()},
        {"operation", settings.operation ? settings.operation->name : std::string()},
        {"target",
         {{"name", target.name}, {"server", target.server}, {"database", target.database}, {"user", target.user}}},
        {"options", optionsOf(target, settings)},
        {"start", started ? json(isoTime(result.start)) : json(nullptr)},
        {"end", started ? json(isoTime(result.end)) : json(nullptr)},
        {"durationSeconds", seconds(result.seconds)},
        {"outcome", outcomeName(result.outcome)},
        {"exitCode", result.exitCode},
        {"error", nullable(result.error)},
        {"lastPhase", nullable(result.phase)},
        {"statements", countsOf(result, &StatementCounts::statements)},
        {"failedStatements", countsOf(result, &StatementCounts::failures)},
        {"guardLeftRaised", result.guardLeftRaised()},
        {"guardRaisedBy", result.guardRaisedByRun    ? json("this run")
                          : result.guardFoundRaised ? json("before this run")
                                                    : json(nullptr)},
        {"lowerGuardCommand", nullable(lowerGuardCommand(target, result, settings))},
        {"files", {{"messages", fileIn(result, kMessagesFile)}, {"statementLog", fileIn(result, kStatementLogFile)}}},
    };
    return report.dump(2);
}

void writeTargetReport(const Target& target, const TargetResult& result, const FleetSettings& settings) {
    std::error_code ec;
    std::filesystem::create_directories(result.folder, ec);
    writeWhole(result.folder / kReportFile, targetReportJson(target, result, settings));
}

std::string fleetSummaryJson(const TargetsFile& file, const FleetSettings& settings, const FleetResult& result) {
    json counts = json::object();
    for (TargetOutcome outcome : {TargetOutcome::Completed, TargetOutcome::Failed, TargetOutcome::Refused,
                                  TargetOutcome::Cancelled, TargetOutcome::NotStarted}) {
        counts[outcomeName(outcome)] = 0;
    }
    json targets = json::array();
    json guards = json::array();
    for (std::size_t i = 0; i < file.targets.size(); ++i) {
        const Target& target = file.targets[i];
        const TargetResult& done = result.targets[i];
        counts[outcomeName(done.outcome)] = counts[outcomeName(done.outcome)].get<int>() + 1;
        const std::string lower = lowerGuardCommand(target, done, settings);
        targets.push_back({
            {"name", target.name},
            {"server", target.server},
            {"database", target.database},
            {"line", target.line},
            {"outcome", outcomeName(done.outcome)},
            {"exitCode", done.exitCode},
            {"durationSeconds", seconds(done.seconds)},
            {"statements", countsOf(done, &StatementCounts::statements)},
            {"failedStatements", countsOf(done, &StatementCounts::failures)},
            {"guardLeftRaised", done.guardLeftRaised()},
            {"error", nullable(done.error)},
            {"report", (done.folder.filename() / kReportFile).string()},
        });
        if (done.guardLeftRaised()) guards.push_back({{"name", target.name}, {"command", nullable(lower)}});
    }
    const json summary{
        {"schema", "sqlupgrade-fleet-summary"},
        {"schemaVersion", kFleetSummaryVersion},
        {"program", program()},
        {"operation", settings.operation ? settings.operation->name : std::string()},
        {"targetsFile", std::filesystem::absolute(file.path).string()},
        {"jobs", settings.jobs},
        {"start", isoTime(result.start)},
        {"end", isoTime(result.end)},
        {"durationSeconds", seconds(result.seconds)},
        {"cancelled", result.cancelled},
        {"exitCode", result.exitCode()},
        {"counts", counts},
        {"targets", targets},
        {"guardsLeftRaised", guards},
    };
    return summary.dump(2);
}

void writeFleetSummary(const std::filesystem::path& folder, const TargetsFile& file,
                       const FleetSettings& settings, const FleetResult& result) {
    writeWhole(folder / "summary.json", fleetSummaryJson(file, settings, result));
}

}  // namespace fleet
