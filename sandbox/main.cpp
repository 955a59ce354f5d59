// sqlupgrade-sandbox: a SQL Server stand-in for tests, the demo and benchmarks. Listens on
// 127.0.0.1, prints the port on the first line of standard output, serves TDS until
// SIGTERM or SIGINT, then lets batches in flight finish and closes its databases.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tsql/server_engine.h"
#include "wire/batch_trace.h"
#include "wire/tds_server.h"

namespace {

constexpr int kExitStartFailed = 1;

struct LoadRequest {
    std::string database;
    std::filesystem::path file;
};

// "app=tests/fixtures/app.sql" -> {"app", "tests/fixtures/app.sql"}; throws
// std::runtime_error without a database name or file.
LoadRequest parseLoad(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw std::runtime_error("--load expects DB=FILE.sql, not '" + text + "'");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"SQL Server 2000 stand-in speaking TDS on 127.0.0.1, backed by SQLite"};
    std::filesystem::path dataDir;
    int port = 0;
    std::vector<std::string> loads;
    std::string saPassword;
    bool windowsPaths = false;
    std::filesystem::path traceFile;
    std::uint64_t cutAt = 0;
    int latencyMs = 0;
    app.add_option("--data", dataDir, "Folder holding one SQLite file per database")->required();
    app.add_option("--port", port, "TCP port on 127.0.0.1; 0 picks a free one")->check(CLI::Range(0, 65535));
    app.add_option("--load", loads, "Run a T-SQL script into a database at start (DB=FILE.sql), repeatable");
    CLI::Option* password = app.add_option("--sa-password", saPassword, "Password of sa (any password when absent)");
    app.add_flag("--windows-paths", windowsPaths, "Show Windows-style file paths in sysfiles");
    app.add_option("--trace", traceFile, "Append every batch received to this file");
    app.add_option("--cut-at", cutAt,
                   "Fault injection: close the client's connection when the server receives its N-th "
                   "SQL batch (counted over all connections since start; the batch is neither run nor "
                   "traced, an open transaction is rolled back)")
        ->check(CLI::PositiveNumber);
    app.add_option("--latency-ms", latencyMs,
                   "A slow link, for tests and benchmarks: hold every response back N milliseconds "
                   "before it is sent (default: 0, none)")
        ->check(CLI::NonNegativeNumber)
        ->option_text("N");
    CLI11_PARSE(app, argc, argv);

    // SIGTERM and SIGINT are taken by sigwait below; every thread started from here on
    // inherits the blocked mask, so no thread is interrupted by them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        sandbox::EngineOptions options;
        options.dataDir = dataDir;
        if (password->count() > 0) options.saPassword = saPassword;
        options.windowsPaths = windowsPaths;
        auto engine = sandbox::makeEngine(options);

        for (const std::string& text : loads) {
            const LoadRequest load = parseLoad(text);
            try {
                engine->loadScript(load.database, load.file);
            } catch (const sandbox::ScriptError& e) {
                std::cerr << "sqlupgrade-sandbox: " << e.file << ": batch " << e.batch << ", line " << e.line
                          << ": " << e.message << std::endl;
                engine->shutdown();
                return kExitStartFailed;
            }
        }

        std::unique_ptr<sandbox::wire::BatchTrace> trace;
        if (!traceFile.empty()) trace = std::make_unique<sandbox::wire::BatchTrace>(traceFile);
        sandbox::wire::TdsServer server(*engine, {static_cast<std::uint16_t>(port), "SANDBOX", trace.get(), cutAt,
                                                  std::chrono::milliseconds(latencyMs)});
        server.start();
        std::cout << server.port() << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
        engine->shutdown();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "sqlupgrade-sandbox: " << e.what() << std::endl;
        return kExitStartFailed;
    }
}
