// The system data phase of the upgrade (UpdateSystemData) applying the rows captured from a
// generated reference in the sandbox: 50 system tables holding 100,000 rows, among them 200
// images of 20 KB and 500 texts of 9,000 characters. Two targets: (a) an empty one (the
// tables without rows), which gets every row, its images and texts written whole; (b) an
// identical one (the reference's script), where every row is looked up and left alone.
// Reports the wall time, rows per second, the server batches and store statements of the
// run, the peak resident memory of the process during the phase, and the ratio to its
// floor: the run's server batches (read back from the sandbox's trace) sent by a bare ODBC
// loop to the target as it was, plus the run's store statements replayed, in the same
// process. Best of three runs each side. A second measure: how much the process grows while
// the phase writes one image of 20 MB.
//
//   cmake --preset release && cmake --build --preset release --target bench_system_data
//   build/release/bin/bench_system_data
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "capture/capture_run.h"
#include "capture/capture_system_data.h"
#include "db/odbc/odbc_connection.h"
#include "generated_system_data.h"
#include "phase_figures.h"
#include "replay.h"
#include "sandbox_server.h"
#include "store/definitions_store.h"
#include "sysdata/update_system_data.h"
#include "temp_dir.h"
#include "upgrade/upgrade_run.h"

namespace {

using benchsupport::Measurement;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The reference's script without its rows: every table made, none filled.
void writeSchemaOnly(const std::filesystem::path& script, const std::filesystem::path& schema) {
    std::ifstream in(script, std::ios::binary);
    std::ofstream out(schema, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("INSERT INTO ", 0) != 0) out << line << '\n';
    }
}

// The sandbox with the generated reference, an identical target (the reference's script)
// and an empty one (its tables only), and a store holding the reference's system data.
struct Fixture {
    explicit Fixture(const benchsupport::SystemDataShape& dataShape = {})
        : shape(dataShape), folder("system-data-bench") {
        const auto start = Clock::now();
        benchsupport::writeGeneratedSystemData(folder / "reference.sql", shape);
        writeSchemaOnly(folder / "reference.sql", folder / "schema.sql");
        testsupport::SandboxOptions options;
        options.loads = {{"reference", folder / "reference.sql"},
                         {"identical", folder / "reference.sql"},
                         {"empty", folder / "schema.sql"}};
        options.traceFile = folder / "trace.log";
        options.startTimeout = std::chrono::seconds(3600);
        server = std::make_unique<testsupport::SandboxServer>(options);
        std::filesystem::create_directories(folder / "home");
        store::createEmptyStore(storePath());
        capture();
        std::printf("reference generated, loaded and captured in %.1f s\n", secondsSince(start));
    }

    std::filesystem::path storePath() const { return store::storePath(folder / "home"); }

    db::ServerSettings settings(const std::string& database) const {
        db::ServerSettings s{"127.0.0.1," + std::to_string(server->port()), database, "sa",
                             server->password()};
        s.commandTimeoutSeconds = 180;
        s.connectTimeoutSeconds = 30;
        return s;
    }

    // The reference's system data into the store, as the capture keeps it.
    void capture() {
        auto reference = db::odbc::openServer(settings("reference"));
        auto storeConnection = store::openStore(storePath());
        app::MainForm form;
        benchsupport::NullHost host;
        capture::CaptureRun run{form, host, *reference, *storeConnection, {}, {}};
        db::Transaction transaction(*storeConnection);
        capture::runCatalogPhase(run, capture::systemDataPhase());
        transaction.commit();
        if (host.messages != 0) throw std::runtime_error("the capture showed a message");
    }

    // The empty target emptied again after a run filled it.
    void emptyTarget() const {
        auto target = db::odbc::openServer(settings("empty"));
        std::vector<std::string> tables;
        {
            db::Recordset rs = target->open(
                "SELECT name FROM sysobjects WHERE xtype = 'U' AND name <> 'tbSQLUpdate'",
                db::CursorType::Static);
            for (; !rs.eof(); rs.moveNext()) tables.push_back(rs.field(0).value().toText());
        }
        for (const std::string& table : tables) target->execute("DELETE FROM " + table);
    }

    benchsupport::SystemDataShape shape;
    testsupport::TempDir folder;
    std::unique_ptr<testsupport::SandboxServer> server;
};

// One run of the phase into `database`, with the statement log emptied first as the upgrade
// empties it; the store statements recorded (into a file, so that the memory measured is
// the phase's own) when `recordInto` is given.
struct ProductRun {
    Measurement measurement;
    std::uintmax_t traceOffset = 0;
};

ProductRun runPhase(const Fixture& fixture, const std::string& database,
                    const std::filesystem::path& recordInto = {}) {
    ProductRun product;
    Measurement& m = product.measurement;
    auto storeConnection = store::openStore(fixture.storePath());
    storeConnection->execute("DELETE FROM tbLogs");
    std::optional<benchsupport::RecordingConnection> recorder;
    if (!recordInto.empty()) recorder.emplace(*storeConnection, recordInto);
    db::Connection& store = recorder ? static_cast<db::Connection&>(*recorder) : *storeConnection;
    auto target = db::odbc::openServer(fixture.settings(database));
    app::MainForm form;
    benchsupport::NullHost host;
    upgrade::UpgradeRun run{form, host, *target, store,
                            upgrade::StatementRunner(*target, store, form, host,
                                                     upgrade::ExecutionMode::AbortOnError),
                            {}, {}, {}, false};
    product.traceOffset = std::filesystem::file_size(fixture.folder / "trace.log");

    bool completed = false;
    benchsupport::timeWithMemory(m, [&] { completed = sysdata::UpdateSystemData(run); });
    if (!completed || host.messages != 0) {
        throw std::runtime_error("the system data of " + database + " did not complete silently");
    }
    if (recorder) m.storeStatements = recorder->count;
    return product;
}

// A first run, not measured, records the store statements (the same in every run from the
// same target state); then three measured runs, each from the target's state, so that none
// carries the recording or the floor's statements in its memory; then their floors, each
// on the target as it was before its run: the run's server batches (read back from the
// trace) sent by a bare ODBC loop, plus the recorded store statements replayed. `reset`
// brings the target back to its state.
Measurement measure(const Fixture& fixture, const std::string& database,
                    const std::function<void()>& reset) {
    const auto recorded = fixture.folder / (database + "-store-statements.log");
    reset();
    const std::size_t storeStatements =
        runPhase(fixture, database, recorded).measurement.storeStatements;
    std::vector<ProductRun> products;
    for (int round = 0; round < 3; ++round) {
        reset();
        products.push_back(runPhase(fixture, database));
    }
    const std::vector<benchsupport::SentStatement> statements = benchsupport::readSpilled(recorded);
    const std::string connectionString = fixture.server->odbcConnectionString(database);

    Measurement best = benchsupport::bestOfThree(database.c_str(), [&](int round) {
        const ProductRun& product = products[static_cast<std::size_t>(round)];
        Measurement m = product.measurement;
        const auto batches =
            benchsupport::readTrace(fixture.folder / "trace.log", product.traceOffset);
        m.serverBatches = batches.size();
        reset();
        auto floorStore = store::openStore(fixture.storePath());
        floorStore->execute("DELETE FROM tbLogs");
        m.floorSeconds = benchsupport::replayOverOdbc(connectionString, batches) +
                         benchsupport::replayOnStore(*floorStore, statements, false);
        return m;
    });
    best.storeStatements = storeStatements;
    return best;
}

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_SystemDataEmptyTarget(benchmark::State& state) {
    Fixture& f = fixture();
    Measurement m;
    for (auto _ : state) {
        m = measure(f, "empty", [&f] { f.emptyTarget(); });
        state.SetIterationTime(m.wallSeconds);
    }
    benchsupport::reportRows(state, "empty target", m, f.shape.rows);
}
BENCHMARK(BM_SystemDataEmptyTarget)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A run changes nothing in the identical target, which serves as its own fresh copy.
void BM_SystemDataIdenticalTarget(benchmark::State& state) {
    Fixture& f = fixture();
    Measurement m;
    for (auto _ : state) {
        m = measure(f, "identical", [] {});
        state.SetIterationTime(m.wallSeconds);
    }
    benchsupport::reportRows(state, "identical target", m, f.shape.rows);
}
BENCHMARK(BM_SystemDataIdenticalTarget)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// One table holding one image of 20 MB, into the empty target: how much the process grows
// while the phase reads the image from the store and writes it into the target.
void BM_SystemDataOneLargeImage(benchmark::State& state) {
    const benchsupport::SystemDataShape shape = benchsupport::oneLargeImage();
    Measurement m;
    for (auto _ : state) {
        Fixture f(shape);
        m = runPhase(f, "empty").measurement;
        auto target = db::odbc::openServer(f.settings("empty"));
        db::Recordset written =
            target->open("SELECT DATALENGTH(imagem) FROM tbGenImagens", db::CursorType::Static);
        if (written.eof() || written.field(0).value().asDouble() != shape.imageBytes) {
            throw std::runtime_error("the image did not arrive whole");
        }
        state.SetIterationTime(m.wallSeconds);
    }
    benchsupport::reportImageGrowth(state, m, shape.imageBytes);
}
BENCHMARK(BM_SystemDataOneLargeImage)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
