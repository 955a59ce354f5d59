#include "wire/client_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "wire/batch_trace.h"
#include "wire/byte_buffer.h"
#include "wire/fault_plan.h"
#include "wire/login.h"
#include "wire/request_decoder.h"
#include "wire/token_writer.h"

namespace sandbox::wire {
namespace {

// A request larger than this ends the connection instead of exhausting memory.
constexpr std::size_t kMaxRequestBytes = 256u << 20;

// Raised inside the connection when the client goes away or the server stops mid-write.
struct ConnectionLost {};

Message sqlError(std::int32_t number, std::uint8_t severity, std::string text) {
    return Message{number, 1, severity, std::move(text), "", 1};
}

}  // namespace

ClientConnection::ClientConnection(int socketFd, ConnectionContext context)
    : m_fd(socketFd), m_context(std::move(context)) {}

ClientConnection::~ClientConnection() {
    if (m_fd >= 0) ::close(m_fd);
}

void ClientConnection::serve() {
    try {
        while (auto request = readRequest()) {
            if (request->status & kStatusIgnore) {
                // The client abandoned a partly sent request: SQL Server answers a lone
                // DONE with DONE_ERROR.
                ByteWriter done;
                writeDone(done, kDoneError, 0, 0);
                send(PacketType::TabularResult, done.data(), m_packetSize);
                continue;
            }
            if (!m_session) {
                if (request->type == PacketType::PreLogin)
                    send(PacketType::TabularResult, preloginReply(), kDefaultPacketSize);
                else if (request->type == PacketType::Login7)
                    handleLogin(*request);
                else
                    return;  // pre-7.0 logins and anything else before a login
                if (request->type == PacketType::Login7 && !m_session) return;
                continue;
            }
            switch (request->type) {
                case PacketType::SqlBatch: handleBatch(std::move(*request)); break;
                case PacketType::Attention: sendAttentionAck(); break;
                case PacketType::Rpc: {
                    std::string name = rpcProcedureName(request->payload);
                    refuseRequest("Remote procedure calls are not supported: the sandbox accepts SQL "
                                  "batches only (the call of '" + name + "' was refused).");
                    break;
                }
                case PacketType::BulkLoad:
                    refuseRequest("Bulk load is not supported: the sandbox accepts SQL batches only.");
                    break;
                case PacketType::TransactionManager:
                    refuseRequest("Transaction manager requests are not supported: the sandbox accepts "
                                  "SQL batches only.");
                    break;
                default: return;
            }
        }
    } catch (const ConnectionLost&) {
    } catch (const ProtocolError&) {
    }
}

std::optional<ClientConnection::Request> ClientConnection::readRequest() {
    if (m_pending) {
        std::optional<Request> request = std::move(m_pending);
        m_pending.reset();
        return request;
    }
    if (stopping()) return std::nullopt;
    Request request{};
    bool first = true;
    for (;;) {
        std::uint8_t header[kHeaderSize];
        if (!readExact(header, sizeof header)) return std::nullopt;
        const PacketHeader h = PacketHeader::parse(header);
        if (h.length < kHeaderSize) throw ProtocolError("packet shorter than its header");
        if (first) request.type = static_cast<PacketType>(h.type);
        else if (h.type != static_cast<std::uint8_t>(request.type)) throw ProtocolError("packet type changed inside a message");
        first = false;
        const std::size_t size = h.length - kHeaderSize;
        if (request.payload.size() + size > kMaxRequestBytes) throw ProtocolError("request too large");
        const std::size_t at = request.payload.size();
        request.payload.resize(at + size);
        if (size > 0 && !readExact(request.payload.data() + at, size)) return std::nullopt;
        request.status = h.status;
        if (h.endOfMessage() || (h.status & kStatusIgnore)) return request;
    }
}

bool ClientConnection::stopping() const {
    if (m_context.stopFd < 0) return false;
    pollfd fd{m_context.stopFd, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
}

bool ClientConnection::readExact(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_context.stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_context.stopFd >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (m_context.stopFd >= 0 && (fds[1].revents & POLLIN) && !(fds[0].revents & POLLIN))
            return false;  // the server stops; a half-read request is dropped
        const ssize_t n = ::recv(m_fd, data + done, size - done, 0);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ClientConnection::attentionArrived() {
    pollfd fd{m_fd, POLLIN, 0};
    if (m_pending || ::poll(&fd, 1, 0) <= 0 || !(fd.revents & (POLLIN | POLLHUP))) return false;
    std::optional<Request> request = readRequest();
    if (!request) throw ConnectionLost{};
    if (request->type == PacketType::Attention) return true;
    m_pending = std::move(request);  // a client that did not wait for the answer
    return false;
}

void ClientConnection::writeAll(const Bytes& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_context.stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_context.stopFd >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw ConnectionLost{};
        }
        if (!(fds[0].revents & POLLOUT)) {
            // A client that stopped reading must not hold up the server's stop.
            if (fds[0].revents & (POLLERR | POLLHUP)) throw ConnectionLost{};
            if (m_context.stopFd >= 0 && (fds[1].revents & POLLIN)) throw ConnectionLost{};
            continue;
        }
        const ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            throw ConnectionLost{};
        }
        done += static_cast<std::size_t>(n);
    }
}

// The time a response would take to cross a slower link than the loopback.
void ClientConnection::holdBack() const {
    if (m_context.latency.count() > 0) std::this_thread::sleep_for(m_context.latency);
}

void ClientConnection::send(PacketType type, const Bytes& payload, std::size_t packetSize) {
    holdBack();
    Bytes packets;
    std::uint8_t packetId = 1;
    appendPackets(packets, type, payload, 0, payload.size(), true, packetSize, m_context.spid, packetId);
    writeAll(packets);
}

void ClientConnection::sendResponse(const EncodedResponse& response) {
    holdBack();
    const Bytes& tokens = response.tokens;
    const std::size_t chunk = m_packetSize - kHeaderSize;
    std::uint8_t packetId = 1;
    std::size_t sent = 0;
    while (sent < tokens.size()) {
        if (attentionArrived()) {
            // Finish the token in flight, then acknowledge: the stream stays parseable
            // and the client discards everything up to the DONE with DONE_ATTN.
            const auto cut = std::lower_bound(response.cutPoints.begin(), response.cutPoints.end(), sent);
            const std::size_t end = sent == 0                        ? 0
                                    : cut == response.cutPoints.end() ? tokens.size()
                                                                      : *cut;
            ByteWriter rest;
            rest.bytes(tokens.data() + sent, end - sent);
            writeDone(rest, kDoneAttention, 0, 0);
            Bytes packets;
            appendPackets(packets, PacketType::TabularResult, rest.data(), 0, rest.size(), true,
                          m_packetSize, m_context.spid, packetId);
            writeAll(packets);
            return;
        }
        const std::size_t n = std::min(chunk, tokens.size() - sent);
        Bytes packet;
        appendPackets(packet, PacketType::TabularResult, tokens, sent, sent + n, sent + n == tokens.size(),
                      m_packetSize, m_context.spid, packetId);
        writeAll(packet);
        sent += n;
    }
}

void ClientConnection::sendAttentionAck() {
    ByteWriter done;
    writeDone(done, kDoneAttention, 0, 0);
    send(PacketType::TabularResult, done.data(), m_packetSize);
}

void ClientConnection::handleLogin(const Request& request) {
    const Login7 login = parseLogin7(request.payload);
    const std::size_t packetSize = negotiatePacketSize(login.packetSize);
    if (login.integratedSecurity) {
        const Message refused{18452, 1, 14,
                              "Login failed for user '(null)'. Reason: Not associated with a trusted "
                              "SQL Server connection.",
                              "", 0};
        send(PacketType::TabularResult, loginRefusedTokens({refused}, m_context.serverName), kDefaultPacketSize);
        return;
    }
    LoginResult result;
    try {
        result = m_context.engine->login(login.request);
    } catch (const std::exception&) {
        result = LoginResult{};  // refused below with 18456, as for any other failure
    }
    if (!result.session) {
        if (result.messages.empty())
            result.messages.push_back(
                Message{18456, 1, 14, "Login failed for user '" + login.request.user + "'.", "", 0});
        send(PacketType::TabularResult, loginRefusedTokens(result.messages, m_context.serverName),
             kDefaultPacketSize);
        return;
    }
    send(PacketType::TabularResult, loginAcceptedTokens(result.database, packetSize, m_context.serverName),
         kDefaultPacketSize);
    m_session = std::move(result.session);
    m_packetSize = packetSize;
}

void ClientConnection::holdUntilClientGoes() {
    // Neither run nor answered: the connection waits for its client to go away (or to
    // send anything, which ends it too) or for the server to stop.
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_context.stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_context.stopFd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        m_session.reset();
        throw ConnectionLost{};
    }
}

void ClientConnection::handleBatch(Request request) {
    const std::string sql = decodeSqlBatch(request.payload);
    Bytes().swap(request.payload);  // the UCS-2 text is twice the size of the batch
    if (m_context.faults) {
        if (std::optional<Response> answer = m_context.faults->control(sql)) {
            sendResponse(encodeResponse(*answer, m_context.serverName));
            return;
        }
        switch (m_context.faults->countBatch()) {
            case FaultPlan::Action::Cut:
                // The session goes first, so that its open transaction is rolled back
                // before the client can see the connection close and reconnect.
                m_session.reset();
                throw ConnectionLost{};
            case FaultPlan::Action::Hold: holdUntilClientGoes();
            case FaultPlan::Action::Run: break;
        }
    }
    if (m_context.trace) m_context.trace->record(m_context.spid, sql);
    Response response;
    try {
        response = m_session->executeBatch(sql);
    } catch (const std::exception& e) {
        response.items = {sqlError(kResultEncodingError, 16, std::string("The sandbox failed to run the batch: ") + e.what()),
                          Done{false, 0, true}};
    }
    sendResponse(encodeResponse(response, m_context.serverName));
}

void ClientConnection::refuseRequest(const std::string& text) {
    // 8009 belongs to SQL Server's family of "incoming TDS RPC stream" errors, level 16.
    Response response;
    response.items = {sqlError(8009, 16, text), Done{false, 0, true}};
    sendResponse(encodeResponse(response, m_context.serverName));
}

}  // namespace sandbox::wire
