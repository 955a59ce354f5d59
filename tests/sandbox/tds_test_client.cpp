#include "tds_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace sandbox::testing {
namespace {

class Reader {
public:
    explicit Reader(const Bytes& data) : m_data(data) {}
    std::uint8_t u8() { return need(1), m_data[m_pos++]; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
    std::uint32_t u32() { return u16() | (std::uint32_t(u16()) << 16); }
    Bytes bytes(std::size_t n) {
        need(n);
        Bytes out(m_data.begin() + static_cast<std::ptrdiff_t>(m_pos), m_data.begin() + static_cast<std::ptrdiff_t>(m_pos + n));
        m_pos += n;
        return out;
    }
    std::string ucs2Text(std::size_t chars) {
        const Bytes raw = bytes(chars * 2);
        std::string out;
        for (std::size_t i = 0; i < raw.size(); i += 2) {
            const unsigned cp = raw[i] | (raw[i + 1] << 8);
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
        }
        return out;
    }
    std::string bVarchar() { return ucs2Text(u8()); }
    std::string usVarchar() { return ucs2Text(u16()); }
    bool atEnd() const { return m_pos == m_data.size(); }

private:
    void need(std::size_t n) const {
        if (n > m_data.size() - m_pos) throw std::runtime_error("token stream ends inside a token");
    }
    const Bytes& m_data;
    std::size_t m_pos = 0;
};

int fixedWidth(std::uint8_t type) {
    switch (type) {
        case 0x30: case 0x32: return 1;
        case 0x34: return 2;
        case 0x38: case 0x3B: case 0x7A: case 0x3A: return 4;
        case 0x7F: case 0x3E: case 0x3C: case 0x3D: return 8;
        default: return 0;
    }
}
bool byteLength(std::uint8_t t) {
    return t == 0x26 || t == 0x68 || t == 0x6D || t == 0x6E || t == 0x6F || t == 0x24 || t == 0x6A || t == 0x6C;
}
bool shortLength(std::uint8_t t) { return t == 0xA5 || t == 0xA7 || t == 0xAD || t == 0xAF || t == 0xE7 || t == 0xEF; }
bool longType(std::uint8_t t) { return t == 0x22 || t == 0x23 || t == 0x63; }
bool collated(std::uint8_t t) { return t == 0xA7 || t == 0xAF || t == 0xE7 || t == 0xEF || t == 0x23 || t == 0x63; }

ColumnToken readColumn(Reader& in) {
    ColumnToken c;
    c.userType = in.u16();
    c.flags = in.u16();
    c.type = in.u8();
    if (fixedWidth(c.type)) {
        c.maxLength = static_cast<std::uint32_t>(fixedWidth(c.type));
    } else if (byteLength(c.type)) {
        c.maxLength = in.u8();
        if (c.type == 0x6A || c.type == 0x6C) {
            c.precision = in.u8();
            c.scale = in.u8();
        }
    } else if (shortLength(c.type)) {
        c.maxLength = in.u16();
    } else if (longType(c.type) || c.type == 0x62) {
        c.maxLength = in.u32();
    } else {
        throw std::runtime_error("unknown column type " + std::to_string(c.type));
    }
    if (collated(c.type)) c.collation = in.bytes(5);
    if (longType(c.type)) in.usVarchar();  // table name
    c.name = in.bVarchar();
    return c;
}

std::optional<Bytes> readValue(Reader& in, const ColumnToken& c) {
    if (const int width = fixedWidth(c.type)) return in.bytes(static_cast<std::size_t>(width));
    if (byteLength(c.type)) {
        const std::uint8_t n = in.u8();
        if (n == 0) return std::nullopt;
        return in.bytes(n);
    }
    if (shortLength(c.type)) {
        const std::uint16_t n = in.u16();
        if (n == 0xFFFF) return std::nullopt;
        return in.bytes(n);
    }
    if (c.type == 0x62) {
        const std::uint32_t n = in.u32();
        if (n == 0) return std::nullopt;
        return in.bytes(n);
    }
    const std::uint8_t pointer = in.u8();
    if (pointer == 0) return std::nullopt;
    in.bytes(pointer);
    in.bytes(8);
    const std::uint32_t n = in.u32();
    return in.bytes(n);
}

}  // namespace

std::vector<Token> decodeTokens(const Bytes& payload) {
    std::vector<Token> tokens;
    Reader in(payload);
    const ColMetadataToken* columns = nullptr;
    while (!in.atEnd()) {
        const std::uint8_t token = in.u8();
        switch (token) {
            case 0x81: {
                ColMetadataToken meta;
                const std::uint16_t count = in.u16();
                for (std::uint16_t i = 0; i < count; ++i) meta.columns.push_back(readColumn(in));
                tokens.emplace_back(std::move(meta));
                columns = &std::get<ColMetadataToken>(tokens.back());
                break;
            }
            case 0xD1: {
                if (!columns) throw std::runtime_error("ROW without COLMETADATA");
                // tokens may reallocate: copy the column list first.
                const std::vector<ColumnToken> cols = columns->columns;
                RowToken row;
                for (const auto& c : cols) row.values.push_back(readValue(in, c));
                tokens.emplace_back(std::move(row));
                for (auto it = tokens.rbegin(); it != tokens.rend(); ++it)
                    if (auto* m = std::get_if<ColMetadataToken>(&*it)) {
                        columns = m;
                        break;
                    }
                break;
            }
            case 0xFD: case 0xFE: case 0xFF: {
                DoneToken done;
                done.token = token;
                done.status = in.u16();
                done.curCmd = in.u16();
                done.rowCount = in.u32();
                tokens.emplace_back(done);
                break;
            }
            case 0xAA: case 0xAB: {
                MessageToken m;
                m.error = token == 0xAA;
                const std::uint16_t length = in.u16();
                const Bytes body = in.bytes(length);
                Reader b(body);
                m.number = static_cast<std::int32_t>(b.u32());
                m.state = b.u8();
                m.severity = b.u8();
                m.text = b.usVarchar();
                m.serverName = b.bVarchar();
                m.procName = b.bVarchar();
                m.line = b.u16();
                if (!b.atEnd()) throw std::runtime_error("message token longer than its fields");
                tokens.emplace_back(std::move(m));
                break;
            }
            case 0xE3: {
                EnvChangeToken e;
                const std::uint16_t length = in.u16();
                const Bytes body = in.bytes(length);
                Reader b(body);
                e.type = b.u8();
                if (e.type == 7) {
                    const Bytes v = b.bytes(b.u8());
                    e.newValue.assign(v.begin(), v.end());
                    const Bytes o = b.bytes(b.u8());
                    e.oldValue.assign(o.begin(), o.end());
                } else {
                    e.newValue = b.bVarchar();
                    e.oldValue = b.bVarchar();
                }
                if (!b.atEnd()) throw std::runtime_error("ENVCHANGE longer than its values");
                tokens.emplace_back(std::move(e));
                break;
            }
            case 0xAD: {
                LoginAckToken ack;
                const std::uint16_t length = in.u16();
                const Bytes body = in.bytes(length);
                Reader b(body);
                ack.interface = b.u8();
                const Bytes v = b.bytes(4);
                ack.tdsVersion = (std::uint32_t(v[0]) << 24) | (v[1] << 16) | (v[2] << 8) | v[3];
                ack.programName = b.bVarchar();
                ack.programVersion = b.bytes(4);
                tokens.emplace_back(std::move(ack));
                break;
            }
            default: throw std::runtime_error("unknown token " + std::to_string(token));
        }
    }
    return tokens;
}

Bytes ucs2(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        unsigned cp = c;
        std::size_t n = 1;
        if (c >= 0xE0) {
            cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            n = 3;
        } else if (c >= 0xC0) {
            cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
            n = 2;
        }
        out.push_back(static_cast<std::uint8_t>(cp));
        out.push_back(static_cast<std::uint8_t>(cp >> 8));
        i += n;
    }
    return out;
}

TdsTestClient::TdsTestClient(std::uint16_t port, int receiveBuffer) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    timeval timeout{10, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

TdsTestClient::~TdsTestClient() {
    if (m_fd >= 0) ::close(m_fd);
}

void TdsTestClient::sendMessage(std::uint8_t type, const Bytes& payload, std::size_t packetSize,
                                std::uint8_t lastStatus) {
    const std::size_t chunk = packetSize - 8;
    std::size_t at = 0;
    std::uint8_t id = 1;
    do {
        const std::size_t n = std::min(chunk, payload.size() - at);
        const bool last = at + n == payload.size();
        const std::size_t length = n + 8;
        Bytes packet = {type, static_cast<std::uint8_t>(last ? lastStatus : 0),
                        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0, 0, id++, 0};
        packet.insert(packet.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
                      payload.begin() + static_cast<std::ptrdiff_t>(at + n));
        if (::send(m_fd, packet.data(), packet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(packet.size()))
            throw std::runtime_error("send failed");
        at += n;
    } while (at < payload.size());
}

void TdsTestClient::sendBatch(const std::string& sql, std::size_t packetSize) {
    sendMessage(0x01, ucs2(sql), packetSize);
}

void TdsTestClient::sendAttention() { sendMessage(0x06, {}); }

void TdsTestClient::readExact(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(m_fd, data + done, size - done, 0);
        if (n <= 0) throw std::runtime_error("connection closed or timed out while reading");
        done += static_cast<std::size_t>(n);
    }
}

PacketInfo TdsTestClient::readPacket(Bytes& payload) {
    std::uint8_t header[8];
    readExact(header, 8);
    PacketInfo p{header[0], header[1], static_cast<std::uint16_t>((header[2] << 8) | header[3]),
                 static_cast<std::uint16_t>((header[4] << 8) | header[5])};
    if (p.length < 8) throw std::runtime_error("packet shorter than its header");
    const std::size_t at = payload.size();
    payload.resize(at + p.length - 8);
    readExact(payload.data() + at, p.length - 8u);
    return p;
}

ServerMessage TdsTestClient::readMessage() {
    ServerMessage message;
    for (;;) {
        const PacketInfo p = readPacket(message.payload);
        message.packets.push_back(p);
        if (p.status & 0x01) break;
    }
    message.tokens = decodeTokens(message.payload);
    return message;
}

bool TdsTestClient::closedByServer() {
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, 5000) <= 0) return false;
    std::uint8_t byte;
    return ::recv(m_fd, &byte, 1, 0) == 0;
}

ServerMessage TdsTestClient::prelogin() {
    // VERSION, ENCRYPTION (off), INSTOPT, THREADID, terminator: what a 7.1 client sends.
    const Bytes payload = {0x00, 0x00, 0x15, 0x00, 0x06, 0x01, 0x00, 0x1B, 0x00, 0x01, 0x02, 0x00, 0x1C,
                           0x00, 0x0C, 0x03, 0x00, 0x28, 0x00, 0x04, 0xFF, 0x08, 0x00, 0x01, 0x55, 0x00,
                           0x00, 0x00, 'M', 'S', 'S', 'Q', 'L', 'S', 'e', 'r', 'v', 'e', 'r', 0x00,
                           0x01, 0x02, 0x03, 0x04};
    sendMessage(0x12, payload);
    ServerMessage reply;
    for (;;) {
        const PacketInfo p = readPacket(reply.payload);
        reply.packets.push_back(p);
        if (p.status & 0x01) break;
    }
    return reply;
}

Bytes TdsTestClient::login7Payload(const std::string& user, const std::string& password,
                                   const std::string& database, std::uint32_t packetSize, bool odbc) {
    const std::vector<Bytes> strings = {ucs2("testhost"), ucs2(user), ucs2(password), ucs2("wire-test"),
                                        ucs2("127.0.0.1"), Bytes{}, ucs2("test-lib"), ucs2("us_english"),
                                        ucs2(database)};
    Bytes body(86, 0);
    auto put16 = [&](std::size_t at, std::size_t v) {
        body[at] = static_cast<std::uint8_t>(v);
        body[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) body[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(4, 0x71000001);
    put32(8, packetSize);
    body[24] = 0xF0;
    body[25] = odbc ? 0x03 : 0x01;
    std::size_t offset = 86;
    for (std::size_t i = 0; i < strings.size(); ++i) {
        Bytes s = strings[i];
        if (i == 2)
            for (auto& b : s) b = static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
        put16(36 + 4 * i, offset);
        put16(38 + 4 * i, s.size() / 2);
        body.insert(body.end(), s.begin(), s.end());
        offset += s.size();
    }
    put16(78, offset);  // no SSPI data
    put32(0, static_cast<std::uint32_t>(body.size()));
    return body;
}

ServerMessage TdsTestClient::login(const std::string& user, const std::string& password,
                                   const std::string& database, std::uint32_t packetSize, bool odbc) {
    prelogin();
    sendMessage(0x10, login7Payload(user, password, database, packetSize, odbc));
    return readMessage();
}

}  // namespace sandbox::testing
