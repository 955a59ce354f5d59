#include "shell/cli/cancel_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <future>
#include <memory>

namespace cli {
namespace {

// Shared with the signal handler, which may only touch lock-free atomics and write(2).
std::atomic<long long> g_firstSignalMs{0};  // monotonic time of the first signal; 0: none
std::atomic<bool> g_pressDue{false};
std::atomic<int> g_endNowFd{-1};

constexpr long long kSameSignalMs = 1000;  // signals this close to the first are the same press
constexpr char kEndNow = 'e';
constexpr char kStopWatching = 'q';

long long monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

extern "C" void onCancelSignal(int) {
    const int savedErrno = errno;
    const long long now = monotonicMs();
    long long first = 0;
    if (g_firstSignalMs.compare_exchange_strong(first, now)) {
        g_pressDue = true;
    } else if (now - first >= kSameSignalMs) {
        const int fd = g_endNowFd.load();
        if (fd >= 0) {
            const char byte = kEndNow;
            [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
        }
    }
    errno = savedErrno;
}

}  // namespace

std::string withinTimeLimit(std::function<std::string()> attempt, std::chrono::milliseconds limit,
                            const std::string& late) {
    auto promise = std::make_shared<std::promise<std::string>>();
    std::future<std::string> result = promise->get_future();
    std::thread([promise, attempt = std::move(attempt)] {
        try {
            promise->set_value(attempt());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    }).detach();
    if (result.wait_for(limit) != std::future_status::ready) return late;
    return result.get();
}

CancelSignals::CancelSignals(std::function<std::string()> endNow, int exitCode)
    : m_endNow(std::move(endNow)), m_exitCode(exitCode) {
    g_firstSignalMs = 0;
    g_pressDue = false;
    if (pipe2(m_pipe, O_CLOEXEC) == 0) {
        g_endNowFd = m_pipe[1];
        m_watcher = std::thread([this] { watch(); });
    }
    struct sigaction action {};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

CancelSignals::~CancelSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_endNowFd = -1;
    if (m_watcher.joinable()) {
        const char byte = kStopWatching;
        [[maybe_unused]] const ssize_t written = write(m_pipe[1], &byte, 1);
        m_watcher.join();
    }
    for (int fd : m_pipe) {
        if (fd >= 0) close(fd);
    }
}

bool CancelSignals::takePress() { return g_pressDue.exchange(false); }

void CancelSignals::watch() {
    char byte = 0;
    while (read(m_pipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    if (byte != kEndNow) return;
    std::string line = m_endNow ? m_endNow() : std::string();
    if (!line.empty()) {
        line += '\n';
        [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    }
    _exit(m_exitCode);
}

}  // namespace cli
