// UpdateTableStructure from a generated store of 1,000 tables x 20 columns into (a) an
// empty target and (b) an identical target, on a sandbox server started with --trace.
// Besides the wall time it reports the server batches and store statements of the run
// and the floor: the run's batches, taken from the trace, replayed by a bare ODBC loop
// against a fresh copy of the same target, plus the run's store statements replayed on
// the store connection. Run from the build folder:
//   bin/bench_structure --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/odbc/odbc_connection.h"
#include "replay.h"
#include "sandbox_server.h"
#include "app/host.h"
#include "app/main_form.h"
#include "store/definitions_store.h"
#include "store/sql_value.h"
#include "structure/update_table_structure.h"
#include "temp_dir.h"
#include "upgrade/upgrade_run.h"

namespace {

constexpr int kTables = 1000;
constexpr int kColumnsPerTable = 20;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The twenty columns of every generated table, in the mix of an application of that era.
struct GeneratedColumn {
    const char* name;
    const char* tipo;
    int tamanho, xprec, xscale, isnullable, isidentity;
    const char* cdefault;
};
constexpr GeneratedColumn kColumns[kColumnsPerTable] = {
    {"id", "int", 4, 10, 0, 0, 1, nullptr},         {"codigo", "varchar", 20, 0, 0, 0, 0, "('')"},
    {"descricao", "varchar", 100, 0, 0, 1, 0, nullptr}, {"nome", "nvarchar", 100, 0, 0, 1, 0, nullptr},
    {"valor", "decimal", 9, 18, 2, 1, 0, "(0)"},    {"quantidade", "int", 4, 10, 0, 0, 0, "(0)"},
    {"activo", "bit", 1, 1, 0, 0, 0, "(1)"},        {"criado", "datetime", 8, 23, 3, 1, 0, "(getdate())"},
    {"tipo", "char", 1, 0, 0, 1, 0, nullptr},       {"obs", "text", 16, 0, 0, 1, 0, nullptr},
    {"preco", "money", 8, 19, 4, 1, 0, nullptr},    {"ordem", "smallint", 2, 5, 0, 1, 0, nullptr},
    {"nivel", "tinyint", 1, 3, 0, 1, 0, nullptr},   {"total", "bigint", 8, 19, 0, 1, 0, nullptr},
    {"taxa", "float", 8, 53, 0, 1, 0, nullptr},     {"sigla", "nchar", 6, 0, 0, 1, 0, nullptr},
    {"chave", "uniqueidentifier", 16, 0, 0, 1, 0, nullptr}, {"dia", "smalldatetime", 4, 16, 0, 1, 0, nullptr},
    {"percent", "numeric", 5, 5, 2, 1, 0, nullptr}, {"ref", "varchar", 255, 0, 0, 1, 0, nullptr}};

// A store whose tbObjects holds the generated tables, written in one transaction.
void generateStore(const std::filesystem::path& path) {
    store::createEmptyStore(path);
    auto connection = store::openStore(path);
    db::Transaction transaction(*connection);
    for (int t = 0; t < kTables; ++t) {
        const std::string table = "tbGerada" + std::to_string(t);
        for (const GeneratedColumn& c : kColumns) {
            auto text = [](const char* v) { return store::SQLValue(v ? db::Value::text(v) : db::Value(), 3); };
            auto number = [](int v) { return std::to_string(v); };
            connection->execute("INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, isnullable, "
                                "isidentity, cdefault) VALUES (" +
                                text(table.c_str()) + ", " + text(c.name) + ", " + text(c.tipo) + ", " +
                                number(c.tamanho) + ", " + number(c.xprec) + ", " + number(c.xscale) + ", " +
                                number(c.isnullable) + ", " + number(c.isidentity) + ", " + text(c.cdefault) + ")");
        }
    }
    transaction.commit();
}

// The sandbox, the generated store, and the databases the cases need.
struct Environment {
    Environment() {
        testsupport::SandboxOptions options;
        options.traceFile = folder.path() / "trace.txt";
        server = std::make_unique<testsupport::SandboxServer>(options);
        trace = *options.traceFile;
        storePath = folder.path() / "SQL.mdb";
        generateStore(storePath);
    }

    void createDatabase(const std::string& name) {
        benchsupport::BareOdbc master(server->odbcConnectionString());
        master.run("CREATE DATABASE " + name);
    }

    std::unique_ptr<db::Connection> openTarget(const std::string& database) {
        db::ServerSettings settings{"127.0.0.1," + std::to_string(server->port()), database, "sa",
                                    server->password(), 30, 180};
        return db::odbc::openServer(settings);
    }

    testsupport::TempDir folder{"bench-structure"};
    std::unique_ptr<testsupport::SandboxServer> server;
    std::filesystem::path trace;
    std::filesystem::path storePath;
    int databases = 0;
};

Environment& environment() {
    static Environment env;
    return env;
}

struct RunFigures {
    double wallSeconds = 0;
    double floorSeconds = 0;
    std::size_t batches = 0;
    std::size_t storeStatements = 0;
};

// What one run sent: the batches as the server received them and the store statements.
struct SentByRun {
    std::vector<std::string> batches;
    std::vector<benchsupport::SentStatement> storeStatements;
};

// One timed UpdateTableStructure into `database`.
SentByRun timedRun(const std::string& database, RunFigures& figures) {
    Environment& env = environment();
    auto targetConnection = env.openTarget(database);
    auto storeOwner = store::openStore(env.storePath);
    auto target = std::make_unique<benchsupport::RecordingConnection>(*targetConnection);
    auto storeConnection = std::make_unique<benchsupport::RecordingConnection>(*storeOwner);
    storeConnection->execute("DELETE FROM tbLogs");
    storeConnection->sent.clear();
    app::MainForm form;
    benchsupport::NullHost host;
    upgrade::UpgradeRun run{form, host, *target, *storeConnection,
                            upgrade::StatementRunner(*target, *storeConnection, form, host,
                                                     upgrade::ExecutionMode::AbortOnError),
                            {}, {}, {}, false};
    const std::uintmax_t traceOffset = std::filesystem::file_size(env.trace);

    const auto start = Clock::now();
    if (!structure::UpdateTableStructure(run)) throw std::runtime_error("UpdateTableStructure returned False");
    figures.wallSeconds = secondsSince(start);
    figures.batches = target->sent.size();
    figures.storeStatements = storeConnection->sent.size();
    if (host.messages != 0) throw std::runtime_error("the run showed a message");
    return {benchsupport::readTrace(env.trace, traceOffset), storeConnection->sent};
}

// The floor: the run's batches replayed by a bare ODBC loop against `floorDatabase` (a
// fresh copy of the target as it was before the run), plus its store statements.
void measureFloor(SentByRun& sent, const std::string& floorDatabase, RunFigures& figures) {
    Environment& env = environment();
    auto replayStore = store::openStore(env.storePath);
    replayStore->execute("DELETE FROM tbLogs");
    figures.floorSeconds =
        benchsupport::replayOverOdbc(env.server->odbcConnectionString(floorDatabase), sent.batches) +
        benchsupport::replayOnStore(*replayStore, sent.storeStatements, false);
}

void report(benchmark::State& state, const RunFigures& f) {
    state.SetIterationTime(f.wallSeconds);
    state.counters["batches"] = static_cast<double>(f.batches);
    state.counters["store_stmts"] = static_cast<double>(f.storeStatements);
    state.counters["wall_s"] = f.wallSeconds;
    state.counters["floor_s"] = f.floorSeconds;
    state.counters["ratio"] = f.wallSeconds / f.floorSeconds;
}

// (a) every table is created.
void BM_EmptyTarget(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        const std::string database = "empty" + std::to_string(++env.databases);
        const std::string floorDatabase = "emptyfloor" + std::to_string(env.databases);
        env.createDatabase(database);
        env.createDatabase(floorDatabase);
        RunFigures figures;
        SentByRun sent = timedRun(database, figures);
        measureFloor(sent, floorDatabase, figures);
        report(state, figures);
    }
}

// (b) every table and column is already there: the run only reads the catalog. Its
// batches change nothing, so the target serves as its own fresh copy for the floor.
void BM_IdenticalTarget(benchmark::State& state) {
    static const bool prepared = [] {
        environment().createDatabase("identical");
        RunFigures ignored;
        timedRun("identical", ignored);
        return true;
    }();
    (void)prepared;
    for (auto _ : state) {
        RunFigures figures;
        SentByRun sent = timedRun("identical", figures);
        measureFloor(sent, "identical", figures);
        report(state, figures);
    }
}

}  // namespace

BENCHMARK(BM_EmptyTarget)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK(BM_IdenticalTarget)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK_MAIN();
