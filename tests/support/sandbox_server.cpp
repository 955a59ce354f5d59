#include "sandbox_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

using namespace std::chrono_literals;

constexpr const char* kOdbcDriver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

// Starts argv with stdin/stdout/stderr redirected to the given files; the child gets
// SIGTERM should this process die first.
pid_t spawn(const std::vector<std::string>& argv, const std::filesystem::path& in,
            const std::filesystem::path& out, const std::filesystem::path& err,
            const std::vector<std::string>& environment) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The child's environment is built before fork: only async-signal-safe calls may
    // follow a fork in a multi-threaded process.
    std::vector<std::string> entries = environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool overridden = false;
        for (const auto& extra : environment) overridden = overridden || extra.rfind(name, 0) == 0;
        if (!overridden) entries.push_back(entry);
    }
    std::vector<char*> envp;
    for (const auto& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int inFd = ::open(in.c_str(), O_RDONLY);
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (inFd < 0 || outFd < 0 || errFd < 0) ::_exit(127);
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::execvpe(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for the child up to the time-out; then kills it. Returns the exit code, or -1.
int waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::string firstLine(const std::string& text) {
    const auto end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

}  // namespace

BackgroundCommand::BackgroundCommand(const std::vector<std::string>& argv, const std::string& input,
                                     const std::vector<std::string>& environment) {
    writeFile(m_io / "in", input);
    m_pid = spawn(argv, m_io / "in", m_io / "out", m_io / "err", environment);
}

BackgroundCommand::~BackgroundCommand() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

void BackgroundCommand::kill(int signal) {
    if (m_pid > 0) ::kill(m_pid, signal);
}

CommandResult BackgroundCommand::wait(std::chrono::seconds timeout) {
    CommandResult result;
    result.exitCode = waitFor(m_pid, timeout);
    m_pid = -1;
    result.out = readFile(m_io / "out");
    result.err = readFile(m_io / "err");
    return result;
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& environment, std::chrono::seconds timeout) {
    return BackgroundCommand(argv, input, environment).wait(timeout);
}

std::filesystem::path SandboxServer::programPath() {
    return std::filesystem::path(SQLUPGRADE_BIN_DIR) / "sqlupgrade-sandbox";
}

SandboxServer::SandboxServer(SandboxOptions options) {
    m_dataDir = options.dataDir ? *options.dataDir : m_scratch / "data";
    std::filesystem::create_directories(m_dataDir);
    m_password = options.saPassword.value_or("sandbox");
    std::vector<std::string> argv = {programPath().string(), "--data", m_dataDir.string(), "--port", "0"};
    for (const auto& [database, file] : options.loads) {
        const std::filesystem::path path = file.is_absolute() ? file : std::filesystem::path(SQLUPGRADE_SOURCE_DIR) / file;
        argv.push_back("--load");
        argv.push_back(database + "=" + path.string());
    }
    if (options.saPassword) {
        argv.push_back("--sa-password");
        argv.push_back(*options.saPassword);
    }
    if (options.windowsPaths) argv.push_back("--windows-paths");
    if (options.traceFile) {
        argv.push_back("--trace");
        argv.push_back(options.traceFile->string());
    }
    if (options.cutAt) {
        argv.push_back("--cut-at");
        argv.push_back(std::to_string(*options.cutAt));
    }
    if (options.latencyMs > 0) {
        argv.push_back("--latency-ms");
        argv.push_back(std::to_string(options.latencyMs));
    }
    writeFile(m_scratch / "stdin", "");
    m_pid = spawn(argv, m_scratch / "stdin", m_scratch / "stdout", m_scratch / "stderr", {});

    const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
    for (;;) {
        const std::string line = firstLine(readFile(m_scratch / "stdout"));
        if (!line.empty()) {
            m_port = static_cast<std::uint16_t>(std::stoi(line));
            return;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            m_pid = -1;
            throw std::runtime_error("sqlupgrade-sandbox exited with code " + std::to_string(*m_exitCode) +
                                     " before reporting its port; its standard error:\n" + stderrText());
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            const std::string err = stderrText();
            stop();
            throw std::runtime_error("sqlupgrade-sandbox did not report its port within " +
                                     std::to_string(options.startTimeout.count()) + " s; its standard error:\n" + err);
        }
        std::this_thread::sleep_for(10ms);
    }
}

SandboxServer::~SandboxServer() { stop(); }

void SandboxServer::freeze() {
    if (m_pid <= 0 || ::kill(m_pid, SIGSTOP) != 0) return;
    m_frozen = true;
    // The signal is delivered asynchronously: a batch sent right away could still be
    // answered. Returns once the process has stopped.
    int status = 0;
    while (::waitpid(m_pid, &status, WUNTRACED) == -1 && errno == EINTR) {
    }
}

void SandboxServer::thaw() {
    if (m_pid > 0 && m_frozen) ::kill(m_pid, SIGCONT);
    m_frozen = false;
}

int SandboxServer::stop() {
    if (m_pid > 0) {
        thaw();  // a stopped process would never see the SIGTERM
        ::kill(m_pid, SIGTERM);
        m_exitCode = waitFor(m_pid, 30s);
        m_pid = -1;
    }
    return m_exitCode.value_or(-1);
}

std::string SandboxServer::stderrText() const { return readFile(m_scratch / "stderr"); }

CommandResult SandboxServer::tsql(const std::string& script, const std::string& database) const {
    std::vector<std::string> argv = {"tsql", "-S", "127.0.0.1:" + std::to_string(m_port), "-U", "sa", "-P", m_password,
                                     "-o", "q"};
    if (!database.empty()) {
        argv.push_back("-D");
        argv.push_back(database);
    }
    return runCommand(argv, script, {"TDSVER=7.1"});
}

CommandResult SandboxServer::bsqldb(const std::string& script, const std::string& database,
                                    const std::vector<std::string>& extraArgs) const {
    std::vector<std::string> argv = {"bsqldb", "-S", "127.0.0.1:" + std::to_string(m_port), "-U", "sa", "-P", m_password};
    if (!database.empty()) {
        argv.push_back("-D");
        argv.push_back(database);
    }
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    return runCommand(argv, script, {"TDSVER=7.1"});
}

namespace {

// An ODBC attribute value in braces with its ';'. tdsodbc 1.3.17 reads a braced value up
// to the first "};" and keeps "}}" as it is, so nothing is doubled: "p;w}x" -> "{p;w}x};".
std::string braced(const std::string& value) { return "{" + value + "};"; }

}  // namespace

std::string SandboxServer::odbcConnectionString(const std::string& database) const {
    std::string text = std::string("Driver=") + kOdbcDriver + ";Server=127.0.0.1;Port=" + std::to_string(m_port) +
                       ";TDS_Version=7.1;ClientCharset=UTF-8;UID=sa;PWD=" + braced(m_password);
    if (!database.empty()) text += "Database=" + braced(database);
    return text;
}

}  // namespace testsupport
