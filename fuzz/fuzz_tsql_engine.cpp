// The sandbox's T-SQL engine in-process: each input is one batch, run in the database
// "app" of an engine on a fresh data folder, after the first byte chooses the session's
// ODBC defaults (bit 0) and whether the batch runs inside a transaction rolled back
// after it (bit 1). The data folder is $FUZZ_ENGINE_DATA (scripts/fuzz puts it on a
// tmpfs of a private mount namespace, since BACKUP and sp_dropdevice write and delete
// files where the batch says) or a folder under the system's temporary folder.
// Findings: crashes, hangs (a batch is stopped after its step limit), leaks, UB, and the
// engine's internal failure ("The sandbox server failed to run the statement: ..."),
// which means a statement let an unexpected exception out.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "tsql/server_engine.h"

namespace {

using namespace sandbox;

std::filesystem::path dataFolder() {
    static const std::filesystem::path folder = [] {
        const char* given = std::getenv("FUZZ_ENGINE_DATA");
        std::filesystem::path base = given && *given ? std::filesystem::path(given)
                                                     : std::filesystem::temp_directory_path();
        return base / ("fuzz-engine-" + std::to_string(::getpid()));
    }();
    return folder;
}

std::unique_ptr<Session> login(ServerEngine& engine, const std::string& database, bool odbc) {
    LoginRequest request;
    request.user = "sa";
    request.password = "secret";
    request.database = database;
    request.odbcDefaults = odbc;
    LoginResult result = engine.login(request);
    FUZZ_CHECK(result.session != nullptr, "login to " + database);
    return std::move(result.session);
}

void checkResponse(const Response& response, std::string_view batch) {
    for (const ResponseItem& item : response.items) {
        if (const auto* message = std::get_if<Message>(&item)) {
            FUZZ_CHECK(message->text.rfind("The sandbox server failed to run the statement", 0) != 0,
                       message->text + "\n  batch: " + std::string(batch));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool odbc = (data[0] & 1) != 0;
    const bool rolledBack = (data[0] & 2) != 0;
    const std::string batch(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::error_code ignored;
    std::filesystem::remove_all(dataFolder(), ignored);
    {
        std::unique_ptr<ServerEngine> engine = makeEngine(EngineOptions{dataFolder(), std::nullopt, false});
        login(*engine, "master", true)->executeBatch("CREATE DATABASE app");
        std::unique_ptr<Session> session = login(*engine, "app", odbc);
        if (rolledBack) session->executeBatch("BEGIN TRANSACTION");
        checkResponse(session->executeBatch(batch), batch);
        if (rolledBack) session->executeBatch("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
        session.reset();
        engine->shutdown();
    }
    std::filesystem::remove_all(dataFolder(), ignored);
    return 0;
}
