#pragma once

#include <functional>
#include <string>
#include <thread>

namespace cli {

// SIGINT and SIGTERM during an upgrade, as a person, `timeout` or a service manager sends
// them. The first signal is a press of the cancel button, honoured at the run's next row;
// signals within a second of it are the same press (timeout signals the program and its
// process group, so two arrive at once). A signal after that ends the program at once:
// a watcher thread runs `endNow` (which tries to release what the run holds and returns
// the line saying how that went), writes its line on standard error and exits with
// `exitCode`. While an object lives it owns both signals; its end gives them back to the
// system's default.
class CancelSignals {
public:
    CancelSignals(std::function<std::string()> endNow, int exitCode);
    ~CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

    // True once after the first signal: the cancel press is due.
    bool takePress();

private:
    void watch();

    std::function<std::string()> m_endNow;
    int m_exitCode;
    int m_pipe[2] = {-1, -1};
    std::thread m_watcher;
};

// Runs `attempt` on a thread of its own and waits for it at most `limit`: its line, or
// `late` when it has not finished by then (the thread is left to the process's end).
std::string withinTimeLimit(std::function<std::string()> attempt, std::chrono::milliseconds limit,
                            const std::string& late);

}  // namespace cli
