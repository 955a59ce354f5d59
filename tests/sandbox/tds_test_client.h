#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A minimal TDS 7.1 client for tests of the sandbox's wire: it sends hand-built packets
// and decodes the server's answers token by token, independently of the server's own
// encoder, so that tests can assert bytes, status bits and packet boundaries.
namespace sandbox::testing {

using Bytes = std::vector<std::uint8_t>;

struct PacketInfo {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    std::uint16_t spid = 0;
};

struct ColumnToken {
    std::uint16_t userType = 0;
    std::uint16_t flags = 0;
    std::uint8_t type = 0;
    std::uint32_t maxLength = 0;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    Bytes collation;
    std::string name;
};
struct ColMetadataToken {
    std::vector<ColumnToken> columns;
};
// Each value's bytes after its length prefix (text pointer and timestamp removed);
// nullopt for NULL.
struct RowToken {
    std::vector<std::optional<Bytes>> values;
};
struct DoneToken {
    std::uint8_t token = 0xFD;
    std::uint16_t status = 0;
    std::uint16_t curCmd = 0;
    std::uint32_t rowCount = 0;
};
struct MessageToken {
    bool error = false;
    std::int32_t number = 0;
    std::uint8_t state = 0;
    std::uint8_t severity = 0;
    std::string text;
    std::string serverName;
    std::string procName;
    std::uint16_t line = 0;
};
struct EnvChangeToken {
    std::uint8_t type = 0;
    std::string newValue;  // UTF-8 for B_VARCHAR types, raw bytes (as chars) for collation
    std::string oldValue;
};
struct LoginAckToken {
    std::uint8_t interface = 0;
    std::uint32_t tdsVersion = 0;  // as read big-endian
    std::string programName;
    Bytes programVersion;
};

using Token = std::variant<ColMetadataToken, RowToken, DoneToken, MessageToken, EnvChangeToken, LoginAckToken>;

// One server message: its packets and its decoded tokens.
struct ServerMessage {
    std::vector<PacketInfo> packets;
    Bytes payload;
    std::vector<Token> tokens;
};

// Decodes a TDS 7.1 token stream; throws std::runtime_error on anything it cannot read.
std::vector<Token> decodeTokens(const Bytes& payload);

// UTF-8 text as UCS-2LE, for building requests.
Bytes ucs2(const std::string& ascii);

class TdsTestClient {
public:
    // Connects to 127.0.0.1:port; throws std::runtime_error when it cannot. A small
    // receiveBuffer (bytes) keeps the server from sending far ahead of what is read.
    explicit TdsTestClient(std::uint16_t port, int receiveBuffer = 0);
    ~TdsTestClient();
    TdsTestClient(const TdsTestClient&) = delete;
    TdsTestClient& operator=(const TdsTestClient&) = delete;

    // PRELOGIN then LOGIN7 (7.1 form); returns the login answer.
    ServerMessage login(const std::string& user, const std::string& password,
                        const std::string& database = "", std::uint32_t packetSize = 4096,
                        bool odbc = true);
    ServerMessage prelogin();

    // Sends a message split into packets of at most packetSize bytes.
    void sendMessage(std::uint8_t type, const Bytes& payload, std::size_t packetSize = 4096,
                     std::uint8_t lastStatus = 0x01);
    void sendBatch(const std::string& sql, std::size_t packetSize = 4096);
    void sendAttention();

    // Reads one complete server message (up to end-of-message) and decodes it.
    ServerMessage readMessage();
    // Reads one packet only (undecoded), for tests that stop reading midway.
    PacketInfo readPacket(Bytes& payload);

    ServerMessage query(const std::string& sql) {
        sendBatch(sql);
        return readMessage();
    }

    // True when the server has closed the connection (reads end of stream).
    bool closedByServer();

    static Bytes login7Payload(const std::string& user, const std::string& password,
                               const std::string& database, std::uint32_t packetSize, bool odbc);

private:
    void readExact(std::uint8_t* data, std::size_t size);
    int m_fd = -1;
};

}  // namespace sandbox::testing
