// Builds a large catalog through the sandbox engine by script (1,000 tables x 20 columns,
// each with a primary key, an IX index and defaults) and reports the time, the database
// file size and the process's peak resident memory. Then measures the round trip of a
// trivial batch against the per-column catalog query the structure update sends, and the
// load of the public pubs and Northwind install scripts into a new server (keys, checks,
// triggers, views, procedures and 3,000 rows checked against their foreign keys).
//
// Run: build/release/bin/bench_sandbox_load [--tables N] [--samples DIR]
// (DIR holds instpubs.sql and instnwnd.sql; scripts/fetch-sample-databases DIR puts them
// there; by default the build folder's sample-databases/, where the tests find them.)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "tsql/server_engine.h"

namespace {

constexpr int kColumns = 20;
int g_tables = 1000;
std::filesystem::path g_samples = SQLUPGRADE_SAMPLE_DATABASES_DIR;

// CREATE TABLE tbBench0001 ([id] [int] IDENTITY (1, 1) NOT NULL, [c01] [varchar] (50) NULL
// DEFAULT (''), ..., CONSTRAINT [PK_tbBench0001] PRIMARY KEY CLUSTERED ([id])) + an IX index.
std::string schemaScript(int tables) {
    std::string script;
    char name[32];
    for (int t = 1; t <= tables; ++t) {
        std::snprintf(name, sizeof name, "tbBench%04d", t);
        script += "CREATE TABLE [dbo].[" + std::string(name) + "] (\n    [id] [int] IDENTITY (1, 1) NOT NULL ,\n";
        for (int c = 1; c < kColumns; ++c) {
            char col[8];
            std::snprintf(col, sizeof col, "c%02d", c);
            switch (c % 4) {
                case 0: script += "    [" + std::string(col) + "] [int] NOT NULL DEFAULT (0),\n"; break;
                case 1: script += "    [" + std::string(col) + "] [varchar] (50) NULL DEFAULT (''),\n"; break;
                case 2: script += "    [" + std::string(col) + "] [datetime] NULL DEFAULT (getdate()),\n"; break;
                default: script += "    [" + std::string(col) + "] [nvarchar] (100) NULL ,\n"; break;
            }
        }
        script += "    CONSTRAINT [PK_" + std::string(name) + "] PRIMARY KEY CLUSTERED ([id]) ON [PRIMARY]\n) ON [PRIMARY]\nGO\n";
        script += "CREATE INDEX IX_" + std::string(name) + "_c01 ON [dbo].[" + name + "] ([c01]) ON [PRIMARY]\nGO\n";
    }
    return script;
}

long peakRssKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct LoadedServer {
    std::filesystem::path dir;
    std::unique_ptr<sandbox::ServerEngine> engine;
    std::unique_ptr<sandbox::Session> session;
    double loadSeconds = 0;
    double sizeMegabytes = 0;
    long rssKilobytes = 0;
};

bool g_serverMade = false;  // server() ran: main() shuts it down

LoadedServer& server() {
    static LoadedServer s = [] {
        g_serverMade = true;
        LoadedServer l;
        l.dir = std::filesystem::temp_directory_path() / ("bench-sandbox-load-" + std::to_string(::getpid()));
        std::filesystem::remove_all(l.dir);
        std::filesystem::create_directories(l.dir);
        auto scriptPath = l.dir / "schema.sql";
        std::ofstream(scriptPath) << schemaScript(g_tables);
        l.engine = sandbox::makeEngine(sandbox::EngineOptions{l.dir / "data", std::nullopt, false});
        auto start = std::chrono::steady_clock::now();
        l.engine->loadScript("bench", scriptPath);
        l.loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sandbox::LoginRequest request;
        request.user = "sa";
        request.database = "bench";
        l.session = l.engine->login(request).session;
        l.rssKilobytes = peakRssKilobytes();
        for (const auto& entry : std::filesystem::directory_iterator(l.dir / "data"))
            if (entry.path().filename().string().rfind("bench.sqlite", 0) == 0)
                l.sizeMegabytes += static_cast<double>(entry.file_size()) / (1024.0 * 1024.0);
        return l;
    }();
    return s;
}

void BM_LoadCatalogByScript(benchmark::State& state) {
    LoadedServer& s = server();
    // The load happens once, in server(); this iteration only reports it.
    for (auto _ : state) benchmark::ClobberMemory();
    state.counters["tables"] = g_tables;
    state.counters["columns"] = g_tables * kColumns;
    state.counters["load_seconds"] = s.loadSeconds;
    state.counters["database_MB"] = s.sizeMegabytes;
    state.counters["peak_rss_MB"] = static_cast<double>(s.rssKilobytes) / 1024.0;
}
BENCHMARK(BM_LoadCatalogByScript)->Iterations(1)->Unit(benchmark::kSecond);

void BM_SelectOne(benchmark::State& state) {
    LoadedServer& s = server();
    for (auto _ : state) benchmark::DoNotOptimize(s.session->executeBatch("SELECT 1"));
}
BENCHMARK(BM_SelectOne)->Unit(benchmark::kMicrosecond);

void BM_PerColumnCatalogQuery(benchmark::State& state) {
    LoadedServer& s = server();
    int n = 0;
    for (auto _ : state) {
        char table[32];
        std::snprintf(table, sizeof table, "tbBench%04d", n++ % g_tables + 1);
        std::string sql =
            " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, systypes.name as tipo, "
            "SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, SOURCE_syscolumns.xscale, "
            "SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as isidentity, SOURCE_syscomments.text as cdefault, "
            "SOURCE_syscolumns.collation  FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON "
            "(SOURCE_syscolumns.ID = SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND SOURCE_sysobjects.name <> "
            "'dtproperties') JOIN systypes ON SOURCE_syscolumns.xtype = systypes.xusertype LEFT JOIN syscomments AS "
            "SOURCE_syscomments ON SOURCE_syscolumns.cdefault = SOURCE_syscomments.id  WHERE SOURCE_sysobjects.name = '" +
            std::string(table) + "' AND SOURCE_syscolumns.name = 'c07'";
        benchmark::DoNotOptimize(s.session->executeBatch(sql));
    }
}
BENCHMARK(BM_PerColumnCatalogQuery)->Unit(benchmark::kMicrosecond);

// One whole load of pubs (its script creates its database from master) and Northwind
// (its script fills the database it runs in) into a new server, on a new data folder.
void BM_LoadSampleDatabases(benchmark::State& state) {
    const auto pubs = g_samples / "instpubs.sql";
    const auto northwind = g_samples / "instnwnd.sql";
    if (!std::filesystem::exists(pubs) || !std::filesystem::exists(northwind)) {
        state.SkipWithError(("no instpubs.sql and instnwnd.sql in " + g_samples.string() +
                             ": run scripts/fetch-sample-databases " + g_samples.string())
                                .c_str());
        return;
    }
    const auto dir = std::filesystem::temp_directory_path() / ("bench-sample-load-" + std::to_string(::getpid()));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(dir);
        state.ResumeTiming();
        auto engine = sandbox::makeEngine(sandbox::EngineOptions{dir, std::nullopt, false});
        engine->loadScript("master", pubs);
        engine->loadScript("Northwind", northwind);
        engine->shutdown();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadSampleDatabases)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--tables") g_tables = std::stoi(argv[i + 1]);
        if (std::string(argv[i]) == "--samples") g_samples = argv[i + 1];
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (g_serverMade) {
        LoadedServer& s = server();
        s.session.reset();
        s.engine->shutdown();
        std::filesystem::remove_all(s.dir);
    }
    return 0;
}
