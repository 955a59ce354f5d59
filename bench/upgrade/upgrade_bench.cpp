// The whole upgrade, every phase of the product's list, from the capture of a generated
// reference (1,000 tables x 20 columns with 1,000 keys, 2,000 IX indexes and 3,000
// defaults, and 100 functions, 100 views and 100 procedures, a tenth of them over 4,000
// characters) into (a) an empty target, which gets every table, key, index, default and
// object, and (b) an identical target, where the run reads the catalog and re-creates the
// 300 objects. Compared with its floor: the run's server batches (read back from the
// sandbox's trace) sent by a bare ODBC loop to a fresh copy of the target as it was, plus
// the run's store statements, in the same round. Best of three rounds each side.
//
//   cmake --preset release && cmake --build --preset release --target upgrade_bench
//   build/release/bin/upgrade_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "db/odbc/driver_choice.h"
#include "db/odbc/odbc_connection.h"
#include "fake_connection.h"
#include "generated_schema.h"
#include "phase_list/upgrade_phases.h"
#include "replay.h"
#include "sandbox_server.h"
#include "store/definitions_store.h"
#include "temp_dir.h"

namespace {

constexpr int kTables = 1000;
constexpr int kColumns = 20;
constexpr int kObjectsPerKind = 100;
constexpr const char* kVersao =
    "CREATE TABLE tbVersao (versao varchar(20) NOT NULL, upgrading int NULL)\nGO\n"
    "INSERT INTO tbVersao (versao, upgrading) VALUES ('1.0', 0)\nGO\n";

using benchsupport::Measurement;

// The sandbox with the reference and an identical target (the reference's script, run
// after the database took the collation the upgrade gives it, plus tbVersao), and a store
// with the reference captured.
struct Fixture {
    Fixture() : folder("upgrade-bench") {
        benchsupport::writeGeneratedSchema(folder / "reference.sql", kTables, kColumns,
                                           kObjectsPerKind);
        std::ofstream(folder / "versao.sql") << kVersao;
        std::ofstream(folder / "collation.sql")
            << "ALTER DATABASE identical COLLATE Latin1_General_CI_AI\nGO\n";
        testsupport::SandboxOptions options;
        options.loads = {{"reference", folder / "reference.sql"},
                         {"identical", folder / "collation.sql"},
                         {"identical", folder / "reference.sql"},
                         {"identical", folder / "versao.sql"}};
        options.traceFile = folder / "trace.log";
        options.startTimeout = std::chrono::seconds(600);
        server = std::make_unique<testsupport::SandboxServer>(options);
        std::filesystem::create_directories(folder / "home");
        store::createEmptyStore(store::storePath(folder / "home"));

        app::MainForm form;
        pointAt(form, "reference");
        benchsupport::NullHost host;
        if (capture::runCapture(form, host, openers()) != app::OperationOutcome::Completed) {
            throw std::runtime_error("the capture of the reference failed");
        }
    }

    void pointAt(app::MainForm& form, const std::string& database) const {
        form.FXServer.text = "127.0.0.1," + std::to_string(server->port());
        form.FXDatabase.text = database;
        form.FXUsername.text = "sa";
        form.FXPassword.text = server->password();
        form.FXBackup.value = 0;
    }

    app::ConnectionOpeners openers(db::Connection* storeConnection = nullptr) const {
        const std::filesystem::path home = folder / "home";
        return {[](const db::ServerSettings& settings) { return db::odbc::openServer(settings); },
                [home, storeConnection]() -> std::unique_ptr<db::Connection> {
                    if (storeConnection) return testing_support::borrowConnection(*storeConnection);
                    return store::openStore(store::storePath(home));
                }};
    }

    // A new database holding only tbVersao.
    void createEmptyTarget(const std::string& name) const {
        benchsupport::BareOdbc master(server->odbcConnectionString());
        master.run("CREATE DATABASE " + name);
        benchsupport::BareOdbc target(server->odbcConnectionString(name));
        target.run("CREATE TABLE tbVersao (versao varchar(20) NOT NULL, upgrading int NULL)");
        target.run("INSERT INTO tbVersao (versao, upgrading) VALUES ('1.0', 0)");
    }

    testsupport::TempDir folder;
    std::unique_ptr<testsupport::SandboxServer> server;
};

// One whole upgrade of `database`, then its floor on `floorDatabase`.
Measurement measureRun(const Fixture& fixture, const std::string& database,
                       const std::string& floorDatabase) {
    Measurement m;
    auto storeConnection = store::openStore(store::storePath(fixture.folder / "home"));
    benchsupport::RecordingConnection store(*storeConnection);
    app::MainForm form;
    fixture.pointAt(form, database);
    benchsupport::NullHost host;
    const auto traceOffset = std::filesystem::file_size(fixture.folder / "trace.log");

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto outcome = phase_list::pressUpgradeButton(form, host, fixture.openers(&store));
    m.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (outcome != app::OperationOutcome::Completed || host.messages != 1) {
        throw std::runtime_error("the upgrade of " + database + " did not complete silently");
    }

    const auto batches = benchsupport::readTrace(fixture.folder / "trace.log", traceOffset);
    m.serverBatches = batches.size();
    m.storeStatements = store.sent.size();
    auto floorStore = store::openStore(store::storePath(fixture.folder / "home"));
    m.floorSeconds =
        benchsupport::replayOverOdbc(fixture.server->odbcConnectionString(floorDatabase), batches) +
        benchsupport::replayOnStore(*floorStore, store.sent, false);
    return m;
}

Fixture& fixture() {
    static Fixture f;
    return f;
}

void report(benchmark::State& state, const char* name, const Measurement& m) {
    state.counters["wall_s"] = m.wallSeconds;
    state.counters["floor_s"] = m.floorSeconds;
    state.counters["ratio"] = m.wallSeconds / m.floorSeconds;
    state.counters["server_batches"] = static_cast<double>(m.serverBatches);
    state.counters["store_statements"] = static_cast<double>(m.storeStatements);
    std::printf(
        "%s: wall %.2f s, floor %.2f s, ratio %.3f (target <= 1.25), %zu server batches, "
        "%zu store statements\n",
        name, m.wallSeconds, m.floorSeconds, m.wallSeconds / m.floorSeconds, m.serverBatches,
        m.storeStatements);
}

void BM_UpgradeEmptyTarget(benchmark::State& state) {
    Fixture& f = fixture();
    Measurement m;
    for (auto _ : state) {
        m = benchsupport::bestOfThree("empty target", [&f](int round) {
            const std::string target = "empty" + std::to_string(round);
            const std::string floor = "emptyfloor" + std::to_string(round);
            f.createEmptyTarget(target);
            f.createEmptyTarget(floor);
            return measureRun(f, target, floor);
        });
        state.SetIterationTime(m.wallSeconds);
    }
    report(state, "empty target", m);
}

// A run changes nothing in the identical target but the re-created objects (and the
// guard's mark, set and released), so the target serves as its own fresh copy for the
// floor. A first run, not measured, warms the server's caches.
void BM_UpgradeIdenticalTarget(benchmark::State& state) {
    Fixture& f = fixture();
    measureRun(f, "identical", "identical");
    Measurement m;
    for (auto _ : state) {
        m = benchsupport::bestOfThree(
            "identical target", [&f](int) { return measureRun(f, "identical", "identical"); });
        state.SetIterationTime(m.wallSeconds);
    }
    report(state, "identical target", m);
}

}  // namespace

BENCHMARK(BM_UpgradeEmptyTarget)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_UpgradeIdenticalTarget)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
