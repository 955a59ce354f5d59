#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace testsupport {

// What a finished command printed and how it ended.
struct CommandResult {
    int exitCode = -1;  // -1 when killed after its time-out or by a signal
    std::string out;
    std::string err;
};

// Runs a program (found on PATH) with the given arguments, standard input and extra
// environment entries ("NAME=value"), capturing both outputs; kills it after the
// time-out.
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::vector<std::string>& environment = {},
                         std::chrono::seconds timeout = std::chrono::seconds(60));

// A program (found on PATH) started in the background with the given arguments, standard
// input and extra environment entries ("NAME=value"), both outputs captured; killed with
// SIGKILL if it is still running when the object goes away.
class BackgroundCommand {
public:
    explicit BackgroundCommand(const std::vector<std::string>& argv, const std::string& input = "",
                               const std::vector<std::string>& environment = {});
    ~BackgroundCommand();
    BackgroundCommand(const BackgroundCommand&) = delete;
    BackgroundCommand& operator=(const BackgroundCommand&) = delete;

    // Sends the signal to the program, if it is still running.
    void kill(int signal);
    // Waits for the program's end (killing it after the time-out) and returns what it
    // printed. Call once.
    CommandResult wait(std::chrono::seconds timeout = std::chrono::seconds(60));

private:
    TempDir m_io{"command"};
    pid_t m_pid = -1;
};

// How a test's sandbox server is started.
struct SandboxOptions {
    // --load DB=FILE; a relative FILE is taken from the source tree
    // (e.g. "tests/fixtures/reference.sql").
    std::vector<std::pair<std::string, std::filesystem::path>> loads;
    std::optional<std::string> saPassword;
    bool windowsPaths = false;
    std::optional<std::filesystem::path> traceFile;
    // --cut-at N: the connection that sends the server's N-th batch is closed unrun.
    std::optional<std::uint64_t> cutAt;
    // --latency-ms N: each response held back N ms, as over a slower link.
    int latencyMs = 0;
    // Serve an existing data folder instead of a fresh one (restart tests).
    std::optional<std::filesystem::path> dataDir;
    std::chrono::seconds startTimeout{60};
};

// One sqlupgrade-sandbox process for a test: started on a free port with its own fresh
// data folder, stopped with SIGTERM (SIGKILL if it does not end) when the object goes
// away, and killed too if the test process itself dies. The constructor throws
// std::runtime_error, with the server's standard error, when the server does not report
// its port in time or exits.
class SandboxServer {
public:
    explicit SandboxServer(SandboxOptions options = {});
    ~SandboxServer();
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;

    std::uint16_t port() const { return m_port; }
    const std::filesystem::path& dataDir() const { return m_dataDir; }
    const std::string& password() const { return m_password; }

    // Sends SIGTERM and waits; returns the exit code (-1 when killed by a signal).
    // Idempotent: later calls return the same code.
    int stop();
    // Stops the server process (SIGSTOP), so that it accepts connections and reads
    // nothing: a server that stopped answering. stop() and the destructor resume it.
    void freeze();
    // Lets a frozen server run again (SIGCONT).
    void thaw();
    // What the server has written to standard error so far.
    std::string stderrText() const;

    // Runs a T-SQL script with FreeTDS tsql (TDSVER=7.1) as sa; batches end with "go".
    CommandResult tsql(const std::string& script, const std::string& database = "") const;
    // Runs a script with FreeTDS bsqldb as sa; extraArgs are added (e.g. {"-q"}).
    CommandResult bsqldb(const std::string& script, const std::string& database = "",
                         const std::vector<std::string>& extraArgs = {}) const;
    // DSN-less connection string for the FreeTDS ODBC driver at this server.
    std::string odbcConnectionString(const std::string& database = "") const;

    // The path of the sandbox program that tests start.
    static std::filesystem::path programPath();

private:
    TempDir m_scratch{"sandbox"};
    std::filesystem::path m_dataDir;
    std::string m_password;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::optional<int> m_exitCode;
    bool m_frozen = false;
};

}  // namespace testsupport
