#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "sandbox_server.h"
#include "temp_dir.h"

namespace e2e {

// One sandbox serving the odd-names reference ("faultref"), where each test makes fresh
// copies of the older target from its script, a program folder with an empty store, and
// a control connection that steers the sandbox's cuts and holds. The command line runs
// against them as a separate process.
class FaultBench {
public:
    FaultBench();

    // The command line with the bench's program folder, registry and shadow folder.
    std::vector<std::string> cliArguments(const std::string& command, const std::string& database,
                                          const std::vector<std::string>& more = {}) const;
    std::vector<std::string> cliEnvironment() const;
    testsupport::CommandResult cli(const std::string& command, const std::string& database,
                                   const std::vector<std::string>& more = {}) const;

    // A new database of that name holding the older target.
    void makeTarget(const std::string& database);

    // Control batches: the n-th batch from now on is cut / held (0: none); the batches
    // the server received since the last of these.
    void cutAt(std::uint64_t n);
    void holdAt(std::uint64_t n);
    std::uint64_t batches();

    // The target's catalog (objects, columns, keys and indexes, module texts, users and
    // their roles) and the rows of its tables, one line each.
    std::vector<std::string> targetDump(const std::string& database) const;
    // Every row of every store table, one line each, prefixed by its table's name.
    std::vector<std::string> storeDump() const;
    // The result of SQLite's integrity check of the store file, "ok" when sound.
    std::string storeIntegrity() const;

    std::filesystem::path storeFile() const;
    // The server as -S takes it: "127.0.0.1,PORT".
    std::string serverName() const { return "127.0.0.1," + std::to_string(m_server.port()); }
    const std::string& password() const { return m_server.password(); }
    const testsupport::TempDir& home() const { return m_home; }
    std::unique_ptr<db::Connection> openServer(const std::string& database) const;

private:
    testsupport::TempDir m_home{"faults"};
    testsupport::SandboxServer m_server;
    std::unique_ptr<db::Connection> m_control;
};

}  // namespace e2e
