#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace benchsupport {
namespace {

std::vector<char*> argumentPointers(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Waits for `pid`, through interruptions; the status and the child's resources.
int waitFor(pid_t pid, rusage* usage) {
    int status = 0;
    while (::wait4(pid, &status, 0, usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    return status;
}

}  // namespace

ChildFigures runMeasuredChild(const std::filesystem::path& measureChild,
                              const std::vector<std::string>& argv,
                              const std::filesystem::path& logBase) {
    const std::string figuresFile = logBase.string() + ".figures";
    const std::string out = logBase.string() + ".out";
    const std::string err = logBase.string() + ".err";
    std::vector<std::string> launcher = {measureChild.string(), figuresFile};
    launcher.insert(launcher.end(), argv.begin(), argv.end());
    std::filesystem::remove(figuresFile);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    std::vector<char*> pointers = argumentPointers(launcher);
    const int spawned = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + measureChild.string());
    waitFor(pid, nullptr);

    ChildFigures figures;
    std::ifstream in(figuresFile);
    if (!(in >> figures.exitCode >> figures.peakKilobytes >> figures.wallSeconds)) {
        throw std::runtime_error(measureChild.string() + " reported nothing for " + argv.at(0));
    }
    return figures;
}

int measureChild(const std::filesystem::path& figuresFile, const std::vector<std::string>& argv) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> pointers = argumentPointers(argv);
        ::execv(pointers[0], pointers.data());
        _exit(127);
    }
    if (pid < 0) return 1;
    rusage usage{};
    const int status = waitFor(pid, &usage);
    const double wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ofstream(figuresFile) << exitCode << ' ' << usage.ru_maxrss << ' ' << wallSeconds << '\n';
    return exitCode < 0 ? 1 : exitCode;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(in >> one >> five >> fifteen)) return {};
    return one + " " + five + " " + fifteen;
}

}  // namespace benchsupport
