#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "api/engine.h"
#include "wire/packet.h"
#include "wire/response_encoder.h"

namespace sandbox::wire {

class BatchTrace;
class FaultPlan;

// What a connection shares with its server.
struct ConnectionContext {
    Engine* engine = nullptr;
    std::uint16_t spid = 0;          // session id in every packet header (51, 52, ...); also the trace id
    std::string serverName;          // server name in ERROR and INFO tokens
    BatchTrace* trace = nullptr;     // null: batches are not recorded
    int stopFd = -1;                 // readable once the server stops
    FaultPlan* faults = nullptr;     // the batches cut or held; null: none
    std::chrono::milliseconds latency{0};  // how long each response is held back
};

// One client's TDS conversation on a connected socket, from PRELOGIN to disconnect:
// login through the engine, SQL batches through the session, attention acknowledged,
// RPC and other requests refused with an error. Owns the socket and closes it. Not
// thread-safe: one thread serves one connection. A protocol violation or a lost client
// ends the conversation; nothing propagates out of serve().
class ClientConnection {
public:
    ClientConnection(int socketFd, ConnectionContext context);
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // Serves requests until the client disconnects, breaks the protocol, or the server
    // stops while this connection is between requests.
    void serve();

private:
    struct Request {
        PacketType type;
        std::uint8_t status = 0;
        Bytes payload;
    };

    std::optional<Request> readRequest();
    bool readExact(std::uint8_t* data, std::size_t size);
    bool stopping() const;
    bool attentionArrived();
    void holdBack() const;
    void send(PacketType type, const Bytes& payload, std::size_t packetSize);
    void sendResponse(const EncodedResponse& response);
    void sendAttentionAck();
    void writeAll(const Bytes& data);

    void handleLogin(const Request& request);
    void handleBatch(Request request);
    [[noreturn]] void holdUntilClientGoes();
    void refuseRequest(const std::string& text);

    int m_fd;
    ConnectionContext m_context;
    std::unique_ptr<Session> m_session;
    std::size_t m_packetSize = kDefaultPacketSize;
    std::optional<Request> m_pending;  // a request read while checking for attention
};

}  // namespace sandbox::wire
