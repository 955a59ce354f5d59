#include "fleet/fleet_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "fleet/target_events.h"
#include "fleet/target_process.h"
#include "fleet/target_report.h"

namespace fleet {
namespace {

using Clock = std::chrono::steady_clock;

// One target whose process runs.
struct Running {
    std::size_t index = 0;
    pid_t pid = -1;
    int fd = -1;  // the read end of its event pipe
    std::string pending;  // an event line not yet complete
    bool ended = false;   // its "end" event arrived
    Clock::time_point started{};
};

std::string signalText(int status) {
    const int number = WTERMSIG(status);
    const char* name = ::strsignal(number);
    return "the process of this target ended by signal " + std::to_string(number) +
           (name ? std::string(" (") + name + ")" : std::string());
}

TargetOutcome outcomeNamed(const std::string& name) {
    if (name == "completed") return TargetOutcome::Completed;
    if (name == "refused") return TargetOutcome::Refused;
    if (name == "cancelled") return TargetOutcome::Cancelled;
    return TargetOutcome::Failed;
}

class Fleet {
public:
    Fleet(const TargetsFile& file, const FleetSettings& settings, FleetObserver& observer)
        : m_file(file), m_settings(settings), m_observer(observer) {
        m_result.targets.resize(file.targets.size());
        std::vector<std::string> taken;
        for (std::size_t i = 0; i < file.targets.size(); ++i) {
            m_result.targets[i].folder =
                settings.resultsFolder / resultsFolderName(file.targets[i].name, taken);
        }
    }

    FleetResult run() {
        m_result.start = std::chrono::system_clock::now();
        const Clock::time_point began = Clock::now();
        const int cancelsBefore = fleetCancelRequests().load();
        int forwarded = cancelsBefore;
        std::size_t next = 0;
        while (next < m_file.targets.size() || !m_running.empty()) {
            const int cancels = fleetCancelRequests().load();
            if (cancels > cancelsBefore) m_result.cancelled = true;
            for (; forwarded < cancels; ++forwarded) {
                for (const Running& running : m_running) ::kill(running.pid, SIGTERM);
            }
            while (!m_result.cancelled && next < m_file.targets.size() &&
                   m_running.size() < static_cast<std::size_t>(std::max(1, m_settings.jobs))) {
                start(next++);
            }
            if (m_result.cancelled) {
                for (; next < m_file.targets.size(); ++next) finish(next, m_result.targets[next]);
            }
            if (!m_running.empty()) listen();
            m_observer.tick();
        }
        m_result.end = std::chrono::system_clock::now();
        m_result.seconds = std::chrono::duration<double>(Clock::now() - began).count();
        writeFleetSummary(m_settings.resultsFolder, m_file, m_settings, m_result);
        return m_result;
    }

private:
    void start(std::size_t index) {
        TargetResult& result = m_result.targets[index];
        result.start = std::chrono::system_clock::now();
        std::error_code ec;
        std::filesystem::create_directories(result.folder, ec);
        int fds[2];
        if (ec || ::pipe2(fds, O_CLOEXEC) != 0) {
            result.outcome = TargetOutcome::Failed;
            result.exitCode = 1;
            result.error = "could not prepare " + result.folder.string() + ": " +
                           (ec ? ec.message() : std::string(std::strerror(errno)));
            finish(index, result);
            return;
        }
        // A cancel that comes while the target's process starts waits until the process
        // has made it a cancel press.
        sigset_t cancels, before;
        sigemptyset(&cancels);
        sigaddset(&cancels, SIGINT);
        sigaddset(&cancels, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &cancels, &before);
        const pid_t pid = ::fork();
        if (pid == 0) {
            takeCancelSignals();
            ::sigprocmask(SIG_SETMASK, &before, nullptr);
            runChild(index, fds);
        }
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            result.outcome = TargetOutcome::Failed;
            result.exitCode = 1;
            result.error = std::string("could not start a process for this target: ") + std::strerror(errno);
            finish(index, result);
            return;
        }
        m_running.push_back({index, pid, fds[0], {}, false, Clock::now()});
        m_observer.started(index);
    }

    [[noreturn]] void runChild(std::size_t index, const int fds[2]) {
        ::close(fds[0]);
        for (const Running& running : m_running) ::close(running.fd);
        // Out of the terminal's process group, so that a Ctrl-C reaches the target once,
        // through the fleet; and cancelled, as by a Ctrl-C, if the fleet dies.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() == 1) ::raise(SIGTERM);
        int code = 1;
        try {
            const TargetJob job{m_settings.operation, m_settings.storePath, m_settings.ledgerPath,
                                m_result.targets[index].folder, m_settings.commandLine};
            code = runTargetHere(m_file.targets[index], job, fds[1]);
        } catch (...) {
            code = 1;
        }
        std::fflush(nullptr);
        ::_exit(code);
    }

    // Waits up to a tenth of a second for events and ends, and handles what came.
    void listen() {
        std::vector<pollfd> fds;
        for (const Running& running : m_running) fds.push_back({running.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 100) <= 0) return;  // a signal, or nothing yet
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                receive(m_running[i], std::string_view(buffer, static_cast<std::size_t>(n)));
            } else {
                reap(i);
            }
        }
    }

    void receive(Running& running, std::string_view bytes) {
        running.pending.append(bytes);
        std::size_t lineEnd;
        while ((lineEnd = running.pending.find('\n')) != std::string::npos) {
            const std::optional<TargetEvent> event = decodeEvent(std::string_view(running.pending).substr(0, lineEnd));
            running.pending.erase(0, lineEnd + 1);
            if (event) apply(running, *event);
        }
    }

    void apply(Running& running, const TargetEvent& event) {
        TargetResult& result = m_result.targets[running.index];
        switch (event.kind) {
            case TargetEvent::Kind::Phase:
                result.phase = event.text;
                m_observer.phase(running.index, event.text);
                break;
            case TargetEvent::Kind::Progress:
                m_observer.progress(running.index, event.first, event.second);
                break;
            case TargetEvent::Kind::Guard:
                if (event.text == "raised") result.guardRaisedByRun = true;
                if (event.text == "released") result.guardRaisedByRun = false;
                if (event.text == "found") result.guardFoundRaised = true;
                break;
            case TargetEvent::Kind::Counts:
                result.counts = StatementCounts{event.first, event.second};
                break;
            case TargetEvent::Kind::End:
                running.ended = true;
                result.outcome = outcomeNamed(event.text);
                result.error = event.detail;
                break;
        }
    }

    // The target's pipe closed: its process has ended or is ending.
    void reap(std::size_t position) {
        Running running = m_running[position];
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(position));
        ::close(running.fd);
        int status = 0;
        while (::waitpid(running.pid, &status, 0) < 0 && errno == EINTR) {
        }
        TargetResult& result = m_result.targets[running.index];
        if (WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
            if (!running.ended) {
                // Ended at once by a second cancel, or by a fault before it could say.
                result.outcome = result.exitCode == 3 ? TargetOutcome::Cancelled : TargetOutcome::Failed;
                if (result.outcome == TargetOutcome::Failed)
                    result.error = "the process of this target ended with exit code " +
                                   std::to_string(result.exitCode) + " before it reported an outcome";
            }
        } else {
            result.outcome = TargetOutcome::Failed;
            result.exitCode = 1;
            result.error = signalText(status);
        }
        result.seconds = std::chrono::duration<double>(Clock::now() - running.started).count();
        finish(running.index, result);
    }

    void finish(std::size_t index, TargetResult& result) {
        result.end = std::chrono::system_clock::now();
        if (result.start == std::chrono::system_clock::time_point{}) result.start = result.end;
        writeTargetReport(m_file.targets[index], result, m_settings);
        m_observer.finished(index, result);
    }

    const TargetsFile& m_file;
    const FleetSettings& m_settings;
    FleetObserver& m_observer;
    FleetResult m_result;
    std::vector<Running> m_running;
};

}  // namespace

const char* outcomeName(TargetOutcome outcome) {
    switch (outcome) {
        case TargetOutcome::Completed:
            return "completed";
        case TargetOutcome::Failed:
            return "failed";
        case TargetOutcome::Refused:
            return "refused";
        case TargetOutcome::Cancelled:
            return "cancelled";
        case TargetOutcome::NotStarted:
            break;
    }
    return "not started";
}

int FleetResult::exitCode() const {
    if (cancelled) return 3;
    for (const TargetResult& target : targets) {
        if (target.outcome != TargetOutcome::Completed) return 1;
    }
    return 0;
}

std::atomic<int>& fleetCancelRequests() {
    static std::atomic<int> requests{0};
    return requests;
}

FleetResult runFleet(const TargetsFile& file, const FleetSettings& settings, FleetObserver& observer) {
    return Fleet(file, settings, observer).run();
}

std::string resultsFolderName(const std::string& targetName, std::vector<std::string>& taken) {
    std::string base;
    for (const char c : targetName) {
        // Bytes of UTF-8 sequences stay: they are letters of names such as "Loja Três".
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
        base += plain ? c : '_';
    }
    if (base.empty() || base.find_first_not_of('.') == std::string::npos) base = "_" + base;
    std::string name = base;
    for (int n = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++n)
        name = base + "-" + std::to_string(n);
    taken.push_back(name);
    return name;
}

}  // namespace fleet
