#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "api/engine.h"
#include "wire/fault_plan.h"

namespace sandbox::wire {

class BatchTrace;

struct ServerOptions {
    std::uint16_t port = 0;              // 0 picks a free port
    std::string serverName = "SANDBOX";  // server name in ERROR and INFO tokens
    BatchTrace* trace = nullptr;         // records every batch when set
    // Fault injection: when the server receives its N-th SQL batch (counted over all
    // connections since start), it closes that client's connection without running the
    // batch, as a failed network would. 0: never.
    std::uint64_t cutAt = 0;
    // A slow link: every response is held back this long before it is sent.
    std::chrono::milliseconds latency{0};
};

// A TDS listener on 127.0.0.1 with one thread per client connection, each connection
// with its own engine session. The engine and trace must outlive the server.
// Construction binds and listens (throws std::system_error when it cannot); start()
// accepts in the background; stop() stops accepting, lets batches in flight finish and
// their answers go out, closes every connection and waits for their threads.
class TdsServer {
public:
    TdsServer(Engine& engine, ServerOptions options);
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // The port listened on (the one picked when the options said 0).
    std::uint16_t port() const { return m_port; }

    void start();
    // Idempotent; returns once every connection thread has ended.
    void stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void acceptLoop();
    void reapFinishedWorkers();

    Engine& m_engine;
    ServerOptions m_options;
    int m_listenFd = -1;
    int m_stopFd = -1;
    std::uint16_t m_port = 0;
    std::uint16_t m_nextSpid = 51;
    FaultPlan m_faults;  // batches cut or held, the --cut-at one and those control batches ask for
    std::thread m_acceptThread;
    std::mutex m_stopMutex;
    bool m_stopped = false;
    std::list<Worker> m_workers;  // touched by the accept thread, then by stop() after it ends
};

}  // namespace sandbox::wire
