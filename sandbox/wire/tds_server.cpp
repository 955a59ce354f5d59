#include "wire/tds_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "wire/client_connection.h"

namespace sandbox::wire {
namespace {

[[noreturn]] void throwSystemError(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TdsServer::TdsServer(Engine& engine, ServerOptions options)
    : m_engine(engine), m_options(std::move(options)), m_faults(m_options.cutAt) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) throwSystemError("socket");
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_options.port);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(m_listenFd, 64) < 0) {
        const int error = errno;
        ::close(m_listenFd);
        errno = error;
        throwSystemError(("cannot listen on 127.0.0.1:" + std::to_string(m_options.port)).c_str());
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (m_stopFd < 0) {
        ::close(m_listenFd);
        throwSystemError("eventfd");
    }
}

TdsServer::~TdsServer() {
    stop();
    ::close(m_stopFd);
}

void TdsServer::start() {
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

void TdsServer::stop() {
    std::lock_guard lock(m_stopMutex);
    if (m_stopped) return;
    m_stopped = true;
    const std::uint64_t one = 1;
    // The counter stays non-zero, so the descriptor stays readable for every poller.
    [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
    if (m_acceptThread.joinable()) m_acceptThread.join();
    ::close(m_listenFd);
    m_listenFd = -1;
    for (auto& worker : m_workers) worker.thread.join();
    m_workers.clear();
}

void TdsServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        reapFinishedWorkers();
        ConnectionContext context{&m_engine, m_nextSpid, m_options.serverName, m_options.trace,
                                  m_stopFd, &m_faults, m_options.latency};
        m_nextSpid = m_nextSpid == 0xFFFF ? 51 : static_cast<std::uint16_t>(m_nextSpid + 1);
        auto finished = std::make_shared<std::atomic<bool>>(false);
        try {
            std::thread thread([fd, context, finished] {
                ClientConnection(fd, context).serve();
                finished->store(true);
            });
            m_workers.push_back({std::move(thread), finished});
        } catch (const std::system_error&) {
            ::close(fd);  // no thread for it: the client sees the connection close
        }
    }
}

void TdsServer::reapFinishedWorkers() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->finished->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace sandbox::wire
