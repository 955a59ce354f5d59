// Round trips over one connection to the sandbox server: the floor that later measurements
// of capture and upgrade are compared with.
//
//   cmake --preset release && cmake --build --preset release --target roundtrip_bench
//   build/release/bin/roundtrip_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "db/odbc/odbc_connection.h"
#include "sandbox_server.h"
#include "temp_dir.h"

namespace {

constexpr int kTables = 1000;
constexpr int kColumnsPerTable = 20;

std::string tableName(int t) {
    char name[16];
    std::snprintf(name, sizeof(name), "tbBench%04d", t);
    return name;
}

std::string columnName(int c) {
    char name[8];
    std::snprintf(name, sizeof(name), "c%02d", c);
    return name;
}

// 1,000 tables of 20 columns of the usual types, a default on every fourth column.
void writeCatalog(const std::filesystem::path& file) {
    static const char* const kTypes[] = {
        "int", "varchar(50)", "nvarchar(100)", "decimal(18,4)", "datetime", "bit", "money", "text"};
    std::ofstream out(file);
    for (int t = 0; t < kTables; ++t) {
        out << "CREATE TABLE " << tableName(t) << " (id int IDENTITY (1, 1) NOT NULL";
        for (int c = 1; c < kColumnsPerTable; ++c) {
            const char* type = kTypes[c % 8];
            out << ", " << columnName(c) << ' ' << type;
            if (c % 4 == 0 && std::string(type) != "text") {
                out << " NOT NULL DEFAULT (" << (type[0] == 'v' || type[0] == 'n' ? "''" : "0")
                    << ")";
            } else {
                out << " NULL";
            }
        }
        out << ")\nGO\n";
    }
}

// The target column query of the table structure update, per-column form.
std::string targetColumnQuery(const std::string& table, const std::string& column) {
    return " SELECT SOURCE_sysobjects.name as tabela, SOURCE_syscolumns.name as campo, "
           "systypes.name as tipo, SOURCE_syscolumns.length as tamanho, SOURCE_syscolumns.xprec, "
           "SOURCE_syscolumns.xscale, SOURCE_syscolumns.isnullable, SOURCE_syscolumns.colstat as "
           "isidentity, SOURCE_syscomments.text as cdefault, SOURCE_syscolumns.collation "
           " FROM syscolumns AS SOURCE_syscolumns JOIN sysobjects AS SOURCE_sysobjects ON "
           "(SOURCE_syscolumns.ID = SOURCE_sysobjects.ID AND SOURCE_sysobjects.xtype = 'U' AND "
           "SOURCE_sysobjects.name <> 'dtproperties') JOIN systypes ON SOURCE_syscolumns.xtype = "
           "systypes.xusertype LEFT JOIN syscomments AS SOURCE_syscomments ON "
           "SOURCE_syscolumns.cdefault = SOURCE_syscomments.id "
           " WHERE SOURCE_sysobjects.name = '" +
           table + "' AND SOURCE_syscolumns.name = '" + column + "'";
}

// One sandbox with the generated catalog and one connection, for the whole run.
struct Bench {
    Bench() : folder("roundtrip-bench") {
        const auto catalog = folder / "catalog.sql";
        writeCatalog(catalog);
        testsupport::SandboxOptions options;
        options.loads.emplace_back("bench", catalog);
        server = std::make_unique<testsupport::SandboxServer>(options);
        db::ServerSettings settings{"127.0.0.1," + std::to_string(server->port()), "bench", "sa",
                                    server->password()};
        connection = db::odbc::openServer(settings);
    }
    testsupport::TempDir folder;
    std::unique_ptr<testsupport::SandboxServer> server;
    std::unique_ptr<db::Connection> connection;
};

Bench& bench() {
    static Bench instance;
    return instance;
}

void BM_SelectOne(benchmark::State& state) {
    db::Connection& connection = *bench().connection;
    for (auto _ : state) {
        db::Recordset rs = connection.open("SELECT 1", db::CursorType::Static);
        benchmark::DoNotOptimize(rs.field(0).value());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SelectOne)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_TargetColumnQuery(benchmark::State& state) {
    db::Connection& connection = *bench().connection;
    int i = 0;
    for (auto _ : state) {
        const int table = (i * 7919) % kTables;
        const int column = i % kColumnsPerTable;
        ++i;
        db::Recordset rs = connection.open(
            targetColumnQuery(tableName(table), column == 0 ? "id" : columnName(column)),
            db::CursorType::Static);
        if (rs.recordCount() != 1) {
            state.SkipWithError("the column was not found");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TargetColumnQuery)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
