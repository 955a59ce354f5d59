// The structure phases of the capture (tables, functions, views, procedures, indexes,
// primary keys, defaults), and the system data phase over tables none of whose rows a
// rule selects (its own measure is bench_capture_data), against a generated reference in
// the sandbox: 1,000 tables x 20 columns with 1,000 keys, 2,000 IX indexes and 3,000
// defaults, and 300 functions, 300 views and 300 procedures, a tenth of them over 4,000
// characters. Compared with its
// floor: the same server batches (read back from the sandbox's trace) sent by a bare ODBC
// loop, plus the same store statements, in the same run. The ratio wall / floor is what
// the product's own work costs on top of the traffic it cannot avoid.
//
//   cmake --preset release && cmake --build --preset release --target capture_bench
//   build/release/bin/capture_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "capture/capture_run.h"
#include "db/odbc/driver_choice.h"
#include "db/odbc/odbc_connection.h"
#include "generated_schema.h"
#include "replay.h"
#include "sandbox_server.h"
#include "store/definitions_store.h"
#include "temp_dir.h"

namespace {

constexpr int kTables = 1000;
constexpr int kColumns = 20;
constexpr int kObjectsPerKind = 300;

struct Fixture {
    Fixture() : folder("capture-bench") {
        benchsupport::writeGeneratedSchema(folder / "reference.sql", kTables, kColumns, kObjectsPerKind);
        testsupport::SandboxOptions options;
        options.loads.emplace_back("reference", folder / "reference.sql");
        options.traceFile = folder / "trace.log";
        server = std::make_unique<testsupport::SandboxServer>(options);
        settings = {"127.0.0.1," + std::to_string(server->port()), "reference", "sa", server->password()};
    }

    std::unique_ptr<db::Connection> freshStore(const char* name) {
        const auto path = folder / name / "SQL.mdb";
        std::filesystem::create_directories(path.parent_path());
        store::createEmptyStore(path);
        return store::openStore(path);
    }

    testsupport::TempDir folder;
    std::unique_ptr<testsupport::SandboxServer> server;
    db::ServerSettings settings;
};

// One product run and its floor.
benchsupport::Measurement measureRound(Fixture& fixture, int round) {
    benchsupport::Measurement m;
    using Clock = std::chrono::steady_clock;
    const std::string name = "round" + std::to_string(round);

    auto storeConnection = fixture.freshStore((name + "-product").c_str());
    benchsupport::RecordingConnection store(*storeConnection);
    auto serverConnection = db::odbc::openServer(fixture.settings);
    app::MainForm form;
    benchsupport::NullHost host;
    const auto traceOffset = std::filesystem::file_size(fixture.folder / "trace.log");
    const auto start = Clock::now();
    {
        capture::CaptureRun run{form, host, *serverConnection, store, {}, {}};
        db::Transaction transaction(store);
        capture::runCapturePhases(run);
        transaction.commit();
    }
    m.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    serverConnection->close();

    const auto batches = benchsupport::readTrace(fixture.folder / "trace.log", traceOffset);
    m.serverBatches = batches.size();
    m.storeStatements = store.sent.size();
    auto floorStore = fixture.freshStore((name + "-floor").c_str());
    m.floorSeconds = benchsupport::replayOverOdbc(
                         db::odbc::connectionString(fixture.settings, db::odbc::chooseDriver()),
                         batches) +
                     benchsupport::replayOnStore(*floorStore, store.sent, true);
    return m;
}

void BM_CaptureStructurePhases(benchmark::State& state) {
    benchsupport::Measurement m;
    for (auto _ : state) {
        Fixture fixture;
        m = benchsupport::bestOfThree("capture", [&fixture](int round) { return measureRound(fixture, round); });
        state.SetIterationTime(m.wallSeconds);
    }
    state.counters["wall_s"] = m.wallSeconds;
    state.counters["floor_s"] = m.floorSeconds;
    state.counters["ratio"] = m.wallSeconds / m.floorSeconds;
    state.counters["server_batches"] = static_cast<double>(m.serverBatches);
    state.counters["store_statements"] = static_cast<double>(m.storeStatements);
    std::printf("phases 1-8: wall %.2f s, floor %.2f s, ratio %.3f (target <= 1.25), %zu server batches, "
                "%zu store statements\n",
                m.wallSeconds, m.floorSeconds, m.wallSeconds / m.floorSeconds, m.serverBatches,
                m.storeStatements);
}
BENCHMARK(BM_CaptureStructurePhases)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
