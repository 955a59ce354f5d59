#include "whole_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "child_process.h"
#include "db/odbc/odbc_connection.h"
#include "fake_connection.h"
#include "phase_list/upgrade_phases.h"
#include "replay.h"
#include "sandbox_server.h"
#include "store/definitions_store.h"
#include "temp_dir.h"

namespace fullrun {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Value>
double median(std::vector<Value> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2
               ? static_cast<double>(values[middle])
               : (static_cast<double>(values[middle - 1]) + static_cast<double>(values[middle])) /
                     2;
}

template <typename Field>
std::vector<double> each(const std::vector<RoundFigures>& rounds, Field field) {
    std::vector<double> values;
    for (const RoundFigures& round : rounds) values.push_back(field(round));
    return values;
}

std::string targetName(bool identical, const std::string& role) {
    std::string name = identical ? "identical_" : "older_";
    name += role;
    return name;
}

}  // namespace

double RunFigures::medianWallSeconds() const {
    return median(each(rounds, [](const RoundFigures& r) { return r.wallSeconds; }));
}
double RunFigures::medianFloorSeconds() const {
    return median(each(rounds, [](const RoundFigures& r) { return r.floorSeconds; }));
}
double RunFigures::medianRatio() const {
    return median(each(rounds, [](const RoundFigures& r) { return r.ratio(); }));
}
double RunFigures::medianPeakMegabytes() const {
    return median(
               each(rounds,
                    [](const RoundFigures& r) { return static_cast<double>(r.peakKilobytes); })) /
           1024;
}
double RunFigures::maxPeakMegabytes() const {
    const auto peaks =
        each(rounds, [](const RoundFigures& r) { return static_cast<double>(r.peakKilobytes); });
    return peaks.empty() ? 0 : *std::max_element(peaks.begin(), peaks.end()) / 1024;
}
std::size_t RunFigures::serverBatches() const {
    return rounds.empty() ? 0 : rounds.back().serverBatches;
}

struct ScaleRuns::State {
    State(const benchsupport::GeneratedScale& generatedScale, const Settings& runSettings)
        : scale(generatedScale), settings(runSettings), folder("full-run-" + generatedScale.name) {}

    // The scripts written, then the measuring sandbox started (with --trace, and the
    // latency asked for) with every database the rounds need loaded: the reference, and
    // per target one for the recording run, one per round and one per round's floor
    // (no target when the capture is measured alone).
    void startServer() {
        const auto start = Clock::now();
        using benchsupport::GeneratedVersion;
        benchsupport::writeGeneratedDatabase(folder / "reference.sql", scale,
                                             GeneratedVersion::Reference, false);
        benchsupport::writeGeneratedDatabase(folder / "identical.sql", scale,
                                             GeneratedVersion::Reference, true);
        benchsupport::writeGeneratedDatabase(folder / "older.sql", scale, GeneratedVersion::Older,
                                             true);
        testsupport::SandboxOptions options;
        options.loads = {{"reference", folder / "reference.sql"}};
        for (const bool identical : {false, true}) {
            if (!settings.upgrades) break;
            const auto script = folder / (identical ? "identical.sql" : "older.sql");
            options.loads.emplace_back(targetName(identical, "record"), script);
            for (int round = 0; round < settings.rounds; ++round) {
                options.loads.emplace_back(targetName(identical, "r" + std::to_string(round)),
                                           script);
                options.loads.emplace_back(targetName(identical, "floor" + std::to_string(round)),
                                           script);
            }
        }
        options.traceFile = trace;
        options.latencyMs = settings.latencyMs;
        options.startTimeout = std::chrono::seconds(3600);
        server = std::make_unique<testsupport::SandboxServer>(options);
        serverAddress = "127.0.0.1," + std::to_string(server->port());
        loadSeconds = secondsSince(start);
    }

    void pointAt(app::MainForm& form, const std::string& database) const {
        form.FXServer.text = serverAddress;
        form.FXDatabase.text = database;
        form.FXUsername.text = "sa";
        form.FXPassword.text = server->password();
        form.FXBackup.value = 0;
    }

    // The product's operation in this process on a store that records what it is sent;
    // the statements go to `spill`. Returns how many there were.
    template <typename Operation>
    std::size_t recordedRun(const std::filesystem::path& storeFile,
                            const std::filesystem::path& spill, Operation&& operation) {
        auto storeConnection = store::openStore(storeFile);
        benchsupport::RecordingConnection recorder(*storeConnection, spill);
        const app::ConnectionOpeners openers{
            [](const db::ServerSettings& s) { return db::odbc::openServer(s); },
            [&recorder]() -> std::unique_ptr<db::Connection> {
                return testing_support::borrowConnection(recorder);
            }};
        app::MainForm form;
        benchsupport::NullHost host;
        if (operation(form, host, openers) != app::OperationOutcome::Completed) {
            throw std::runtime_error("the recorded run on " + storeFile.string() +
                                     " did not complete; its last message: " + host.lastText);
        }
        return recorder.count;
    }

    // The in-process capture whose store every upgrade starts from.
    void recordCapture() {
        const auto home = folder / "capture_record";
        std::filesystem::create_directories(home);
        store::createEmptyStore(store::storePath(home));
        captureStatements = recordedRun(
            store::storePath(home), folder / "capture.statements",
            [this](app::MainForm& form, app::Host& host, const app::ConnectionOpeners& o) {
                pointAt(form, "reference");
                return capture::runCapture(form, host, o);
            });
        std::filesystem::copy_file(store::storePath(home), capturedStore);
    }

    // A home folder holding a copy of the captured store, or an empty store.
    std::filesystem::path homeWithStore(const std::string& name, bool captured) const {
        const auto home = folder / name;
        std::filesystem::create_directories(home);
        if (captured) {
            std::filesystem::copy_file(capturedStore, store::storePath(home),
                                       std::filesystem::copy_options::overwrite_existing);
        } else {
            store::createEmptyStore(store::storePath(home));
        }
        return home;
    }

    // One run of sqlupgrade-cli, measured, with the batches it sent.
    RoundFigures productRun(const std::string& name, std::vector<std::string> arguments,
                            std::vector<std::string>& batches) const {
        arguments.insert(arguments.begin(), (settings.binaryDir / "sqlupgrade-cli").string());
        const auto traceOffset = std::filesystem::file_size(trace);
        const benchsupport::ChildFigures child = benchsupport::runMeasuredChild(
            settings.binaryDir / "bench_measure_child", arguments, folder / name);
        if (child.exitCode != 0) {
            throw std::runtime_error(name + ": sqlupgrade-cli ended with " +
                                     std::to_string(child.exitCode) + "; its standard error:\n" +
                                     testsupport::readFile(folder / (name + ".err")));
        }
        batches = benchsupport::readTrace(trace, traceOffset);
        RoundFigures figures;
        figures.wallSeconds = child.wallSeconds;
        figures.peakKilobytes = child.peakKilobytes;
        figures.serverBatches = batches.size();
        return figures;
    }

    std::vector<std::string> connectionArguments(const std::string& database) const {
        return {"-S", serverAddress, "-d", database, "-U", "sa", "-P", server->password()};
    }

    void printRound(const RunFigures& run, int round) const {
        const RoundFigures& r = run.rounds.back();
        std::printf(
            "  %s %s round %d: wall %.2f s, floor %.2f s, ratio %.3f, peak RSS %.1f MB, %zu "
            "batches\n",
            scale.name.c_str(), run.name.c_str(), round, r.wallSeconds, r.floorSeconds, r.ratio(),
            static_cast<double>(r.peakKilobytes) / 1024, r.serverBatches);
        std::fflush(stdout);
    }

    benchsupport::GeneratedScale scale;
    Settings settings;
    testsupport::TempDir folder;
    std::filesystem::path trace = folder / "trace.log";
    std::filesystem::path capturedStore = folder / "captured.mdb";
    std::unique_ptr<testsupport::SandboxServer> server;
    std::string serverAddress;
    std::size_t captureStatements = 0;
    double loadSeconds = 0;
};

ScaleRuns::ScaleRuns(const benchsupport::GeneratedScale& scale, const Settings& settings)
    : m_state(std::make_unique<State>(scale, settings)) {
    m_state->startServer();
    m_state->recordCapture();
}

ScaleRuns::~ScaleRuns() = default;

double ScaleRuns::loadSeconds() const { return m_state->loadSeconds; }

RunFigures ScaleRuns::measureCapture() {
    State& s = *m_state;
    RunFigures run;
    run.name = "capture";
    run.storeStatements = s.captureStatements;
    const std::vector<benchsupport::SentStatement> statements =
        benchsupport::readSpilled(s.folder / "capture.statements");
    run.loadBefore = benchsupport::loadAverage();
    for (int round = 0; round < s.settings.rounds; ++round) {
        const std::string name = "capture_r" + std::to_string(round);
        const auto home = s.homeWithStore(name, false);
        std::vector<std::string> arguments = {"--home", home.string(), "capture"};
        const auto connection = s.connectionArguments("reference");
        arguments.insert(arguments.end(), connection.begin(), connection.end());
        std::vector<std::string> batches;
        RoundFigures figures = s.productRun(name, arguments, batches);

        // The capture only reads the reference, which therefore serves its floor as it is.
        const auto floorHome = s.homeWithStore("capture_floor" + std::to_string(round), false);
        figures.floorSeconds = benchsupport::replayWholeRun(
            s.server->odbcConnectionString("reference"), batches, store::storePath(floorHome),
            statements, true);
        run.rounds.push_back(figures);
        s.printRound(run, round);
    }
    run.loadAfter = benchsupport::loadAverage();
    return run;
}

RunFigures ScaleRuns::measureUpgrade(bool identicalTarget) {
    State& s = *m_state;
    RunFigures run;
    run.name = identicalTarget ? "upgrade of the identical target" : "upgrade of the older target";
    const auto spill = s.folder / (targetName(identicalTarget, "upgrade.statements"));
    {
        const auto home = s.homeWithStore(targetName(identicalTarget, "record"), true);
        const std::string database = targetName(identicalTarget, "record");
        run.storeStatements = s.recordedRun(
            store::storePath(home), spill,
            [&](app::MainForm& form, app::Host& host, const app::ConnectionOpeners& openers) {
                s.pointAt(form, database);
                if (!s.settings.systemData) form.FXDadosUpdate.value = 0;
                return phase_list::pressUpgradeButton(form, host, openers)
                    .value_or(app::OperationOutcome::Failed);
            });
    }
    const std::vector<benchsupport::SentStatement> statements = benchsupport::readSpilled(spill);
    run.loadBefore = benchsupport::loadAverage();
    for (int round = 0; round < s.settings.rounds; ++round) {
        const std::string database = targetName(identicalTarget, "r" + std::to_string(round));
        const auto home = s.homeWithStore(database, true);
        std::vector<std::string> arguments = {"--home", home.string(), "upgrade"};
        const auto connection = s.connectionArguments(database);
        arguments.insert(arguments.end(), connection.begin(), connection.end());
        arguments.insert(arguments.end(), {"--no-backup", "--answer", "default"});
        if (!s.settings.systemData) arguments.push_back("--no-system-data");
        std::vector<std::string> batches;
        RoundFigures figures = s.productRun(database, arguments, batches);

        const std::string floorDatabase =
            targetName(identicalTarget, "floor" + std::to_string(round));
        const auto floorHome = s.homeWithStore(floorDatabase, true);
        figures.floorSeconds = benchsupport::replayWholeRun(
            s.server->odbcConnectionString(floorDatabase), batches, store::storePath(floorHome),
            statements, false);
        run.rounds.push_back(figures);
        s.printRound(run, round);
    }
    run.loadAfter = benchsupport::loadAverage();
    return run;
}

}  // namespace fullrun
