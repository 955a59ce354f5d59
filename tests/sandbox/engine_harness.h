#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tsql/server_engine.h"

namespace sandbox::testing {

// A sandbox engine on a fresh data folder, with one session logged in as sa, for tests
// that call the engine in-process. The folder is removed at the end.
class EngineHarness {
public:
    explicit EngineHarness(std::string database = "app", bool odbcDefaults = true);
    ~EngineHarness();

    // Runs a batch on the session.
    Response run(const std::string& sql);
    // Runs a batch that must succeed; returns the rows of its last row set as text
    // ("NULL" for nulls, numbers and dates in their text form).
    std::vector<std::vector<std::string>> rows(const std::string& sql);
    // The first error message of a batch (number 0 when there is none).
    Message firstError(const std::string& sql);

    ServerEngine& engine() { return *m_engine; }
    Session& session() { return *m_session; }
    const std::filesystem::path& dataDir() const { return m_dir; }
    // Closes the engine and opens a new one on the same folder (a restart).
    void restart(std::optional<std::string> saPassword = std::nullopt, bool windowsPaths = false);
    std::unique_ptr<Session> login(const std::string& database, bool odbcDefaults = true);

private:
    std::filesystem::path m_dir;
    std::string m_database;
    std::unique_ptr<ServerEngine> m_engine;
    std::unique_ptr<Session> m_session;
};

// Text form of one wire value, as the tests compare them.
std::string valueText(const db::Value& value);

// The rows of every row set of a response, one after the other, as text (valueText).
std::vector<std::vector<std::string>> rowsOf(const Response& response);

// All messages of a response, as "number: text" lines (for failure output).
std::string describe(const Response& response);

// All messages of a response with their severity, as "number/severity: text" lines.
// Example: "547/16: INSERT statement conflicted with ...\n3621/0: The statement has been terminated.\n".
std::string messageLines(const Response& response);

}  // namespace sandbox::testing
