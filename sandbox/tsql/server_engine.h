#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "api/engine.h"

namespace sandbox {

// How the sandbox server is started.
struct EngineOptions {
    std::filesystem::path dataDir;           // one <name>.sqlite file per database
    std::optional<std::string> saPassword;   // none: any password is accepted for sa
    bool windowsPaths = false;               // sysfiles shows C:\MSSQL\Data\<db>_Data.MDF
};

// A --load script failed: which file, which batch (1-based), which line of the file, and
// the server's error text.
class ScriptError : public std::runtime_error {
public:
    ScriptError(std::string file, int batch, int line, std::string message);
    std::string file;
    int batch;
    int line;
    std::string message;
};

// The T-SQL engine behind the sandbox's wire protocol: databases in a data folder, logins,
// sessions. Batches are executed one at a time across all sessions (one engine-wide lock),
// which keeps the behaviour deterministic; while a session has a transaction open, other
// sessions' batches wait for it to end (at most their SET LOCK_TIMEOUT, then 1222). Every
// session must end before the engine does.
class ServerEngine : public Engine {
public:
    // Creates the database when missing and runs the script in it: batches separated by
    // lines holding only GO (any letter case), UTF-8 or UTF-16 with a byte-order mark,
    // with the session settings of an ODBC connection. Throws ScriptError at the first
    // error.
    virtual void loadScript(const std::string& database, const std::filesystem::path& file) = 0;
    // Finishes and closes every database cleanly; later calls fail.
    virtual void shutdown() = 0;
};

// Opens (creating when needed) the data folder and master. Throws std::runtime_error when
// the folder or a database file cannot be opened.
std::unique_ptr<ServerEngine> makeEngine(const EngineOptions& options);

namespace tsql {
struct Batch {
    std::string text;
    int firstLine = 1;  // line of the file where the batch starts
};
// Splits a script into batches at lines holding only GO. Example: "a\nGO\nb" -> {"a", 1}, {"b", 3}.
std::vector<Batch> splitBatches(const std::string& script);
// Decodes a script file's bytes to UTF-8: UTF-8 (with or without BOM), UTF-16 LE/BE with BOM.
std::string decodeScript(const std::string& bytes);
}  // namespace tsql

}  // namespace sandbox
