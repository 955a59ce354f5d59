// Inserts 100,000 captured data rows into a fresh store three ways and prints rows per
// second: the Jet SQL statements the capture sends (inside one transaction, then in
// autocommit) and the same values through one prepared SQLite insert.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/value.h"
#include "store/definitions_store.h"
#include "store/sql_value.h"

namespace {

constexpr int kRows = 100000;

// One captured row as the capture stores it: the values and the Jet statement.
struct CapturedRow {
    std::string table;
    std::string keyColumn;
    std::string keyValue;
    std::string command;  // the data command with !39! markers
    int onlyIfEmpty;
    int forceUpdate;
    int deleteFirst;
    std::string jetInsert;  // the INSERT INTO tbDados statement for the store
};

// Data commands of about 300 characters with apostrophes in their text values, built
// with Transform and SQLValue as the capture builds them.
std::vector<CapturedRow> makeRows() {
    static const char* const kWords[] = {"d'utilizador", "Gestão",       "O'Neil", "menu",
                                         "pesquisa",     "configuração", "it's",   "relatório",
                                         "Sinistros",    "entrada"};
    std::vector<CapturedRow> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        std::string description;
        while (description.size() < 150) {
            description += kWords[(i + description.size()) % 10];
            description += ' ';
        }
        const db::Value id = db::Value::integer(i + 1);
        const std::string command =
            "INSERT INTO tbMenu_Main_Items (ID, IDMenu, Descricao, Comando, Activo, Valor, "
            "DataCriacao) VALUES (" +
            store::SQLValue(id, store::kSqlNumber) + ", " +
            store::SQLValue(db::Value::integer(i % 97), store::kSqlNumber) + ", " +
            store::Transform(db::Value::text(description)) + ", " +
            store::Transform(db::Value::text("frmMenu'" + std::to_string(i % 13) + "'.Show")) +
            ", " + store::SQLValue(db::Value::boolean(i % 2 == 0), store::kSqlNumber) + ", " +
            store::SQLValue(db::Value::real(i * 0.25), store::kSqlNumber) + ", " +
            store::SQLValue(db::Value::dateTime({2004, 3, 7, 14, 5, i % 60, 0}), store::kSqlDate) +
            ")";
        CapturedRow row{"tbMenu_Main_Items", "ID", id.toText(), command, 0,
                        i % 3 == 0 ? -1 : 0, 0,    {}};
        const std::string keyLiteral = store::IsNumeric(id) ? store::SQLValue(id, store::kSqlNumber)
                                                            : store::SQLValue(id, store::kSqlText);
        row.jetInsert =
            "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
            "force_update, "
            "delete_first) VALUES (" +
            store::SQLValue(row.table, store::kSqlText) + "," +
            store::SQLValue(row.keyColumn, store::kSqlText) + "," + keyLiteral + "," +
            store::SQLValue(command, store::kSqlText) + "," + std::to_string(row.onlyIfEmpty) +
            ", " + std::to_string(row.forceUpdate) + ", " + std::to_string(row.deleteFirst) + " )";
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<CapturedRow>& capturedRows() {
    static const std::vector<CapturedRow> rows = makeRows();
    return rows;
}

// A new empty store in its own folder, removed again at the end.
class FreshStore {
public:
    explicit FreshStore(const char* name)
        : m_folder(std::filesystem::temp_directory_path() /
                   ("sqlupgrade-bench-" + std::string(name) + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        store::createEmptyStore(path());
    }
    ~FreshStore() { std::filesystem::remove_all(m_folder); }
    std::filesystem::path path() const { return store::storePath(m_folder); }

private:
    std::filesystem::path m_folder;
};

std::map<std::string, double> g_rowsPerSecond;

void record(benchmark::State& state, const std::string& name,
            std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double rate = kRows / seconds;
    state.SetIterationTime(seconds);
    state.counters["rows_per_second"] = rate;
    g_rowsPerSecond[name] = rate;
}

void insertJet(benchmark::State& state, bool oneTransaction, const std::string& name) {
    const auto& rows = capturedRows();
    for (auto _ : state) {
        FreshStore fresh(name.c_str());
        auto connection = store::openStore(fresh.path());
        const auto start = std::chrono::steady_clock::now();
        if (oneTransaction) connection->beginTransaction();
        for (const CapturedRow& row : rows) connection->execute(row.jetInsert);
        if (oneTransaction) connection->commitTransaction();
        record(state, name, std::chrono::steady_clock::now() - start);
        connection->close();
    }
}

void BM_JetSqlOneTransaction(benchmark::State& state) { insertJet(state, true, "jet_transaction"); }
void BM_JetSqlAutocommit(benchmark::State& state) { insertJet(state, false, "jet_autocommit"); }

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

// The same rows through one prepared statement with bound values, in one transaction,
// on a store opened the same way (WAL, synchronous=NORMAL).
void BM_RawPreparedInsert(benchmark::State& state) {
    const auto& rows = capturedRows();
    for (auto _ : state) {
        FreshStore fresh("raw");
        store::openStore(fresh.path())->close();  // the store's own settings on the file
        sqlite3* db = nullptr;
        sqlite3_open_v2(fresh.path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                     nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
            "force_update, delete_first) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
            -1, &insert, nullptr);
        const auto start = std::chrono::steady_clock::now();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (const CapturedRow& row : rows) {
            bindText(insert, 1, row.table);
            bindText(insert, 2, row.keyColumn);
            bindText(insert, 3, row.keyValue);
            bindText(insert, 4, row.command);
            sqlite3_bind_int(insert, 5, row.onlyIfEmpty);
            sqlite3_bind_int(insert, 6, row.forceUpdate);
            sqlite3_bind_int(insert, 7, row.deleteFirst);
            if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        record(state, "raw_prepared", std::chrono::steady_clock::now() - start);
        sqlite3_finalize(insert);
        sqlite3_close_v2(db);
    }
}

BENCHMARK(BM_JetSqlOneTransaction)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JetSqlAutocommit)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawPreparedInsert)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void printSummary() {
    const auto rate = [](const char* name) {
        auto found = g_rowsPerSecond.find(name);
        return found == g_rowsPerSecond.end() ? 0.0 : found->second;
    };
    const double transaction = rate("jet_transaction");
    const double autocommit = rate("jet_autocommit");
    const double raw = rate("raw_prepared");
    std::size_t statementBytes = 0;
    for (const CapturedRow& row : capturedRows()) statementBytes += row.jetInsert.size();
    std::printf(
        "\nstore_insert: %d tbDados rows, data commands of about %zu characters, store statements "
        "of "
        "about %zu\n",
        kRows, capturedRows().front().command.size(), statementBytes / capturedRows().size());
    std::printf("  Jet SQL, one transaction   %10.0f rows/s\n", transaction);
    std::printf("  Jet SQL, autocommit        %10.0f rows/s   (target >= 10000)\n", autocommit);
    std::printf("  raw prepared insert        %10.0f rows/s\n", raw);
    if (raw > 0) {
        std::printf("  one transaction / raw      %9.1f %%        (target >= 25 %%)\n",
                    100.0 * transaction / raw);
        std::printf("  autocommit / raw           %9.1f %%\n", 100.0 * autocommit / raw);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
