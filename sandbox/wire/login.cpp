#include "wire/login.h"

#include <algorithm>

#include "wire/byte_buffer.h"
#include "wire/column_encoding.h"
#include "wire/packet.h"
#include "wire/token_writer.h"

namespace sandbox::wire {
namespace {

constexpr std::uint8_t kOptionFlags2Odbc = 0x02;
constexpr std::uint8_t kOptionFlags2IntegratedSecurity = 0x80;

// PRELOGIN option tokens.
constexpr std::uint8_t kPreloginVersion = 0x00;
constexpr std::uint8_t kPreloginEncryption = 0x01;
constexpr std::uint8_t kPreloginInstance = 0x02;
constexpr std::uint8_t kPreloginThreadId = 0x03;
constexpr std::uint8_t kPreloginTerminator = 0xFF;
constexpr std::uint8_t kEncryptNotSupported = 0x02;

// Reads the string at the offset/length pair stored at `pairAt` (length in characters).
std::string readString(const Bytes& payload, std::size_t pairAt) {
    ByteReader pair(payload);
    pair.seek(pairAt);
    const std::uint16_t offset = pair.u16();
    const std::uint16_t chars = pair.u16();
    if (chars == 0) return {};
    ByteReader data(payload);
    data.seek(offset);
    const std::uint8_t* bytes = data.take(std::size_t(chars) * 2);
    return ucs2ToUtf8(bytes, std::size_t(chars) * 2);
}

std::string readPassword(const Bytes& payload, std::size_t pairAt) {
    ByteReader pair(payload);
    pair.seek(pairAt);
    const std::uint16_t offset = pair.u16();
    const std::uint16_t chars = pair.u16();
    ByteReader data(payload);
    data.seek(offset);
    const std::uint8_t* bytes = data.take(std::size_t(chars) * 2);
    Bytes clear(bytes, bytes + std::size_t(chars) * 2);
    for (auto& b : clear) {
        b ^= 0xA5;
        b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
    }
    return ucs2ToUtf8(clear.data(), clear.size());
}

}  // namespace

Bytes preloginReply() {
    // Five options of 5 header bytes each, the terminator, then the option data.
    constexpr std::uint16_t kDataStart = 4 * 5 + 1;
    ByteWriter out;
    out.u8(kPreloginVersion);
    out.u16BE(kDataStart);
    out.u16BE(6);
    out.u8(kPreloginEncryption);
    out.u16BE(kDataStart + 6);
    out.u16BE(1);
    out.u8(kPreloginInstance);
    out.u16BE(kDataStart + 7);
    out.u16BE(1);
    out.u8(kPreloginThreadId);
    out.u16BE(kDataStart + 8);
    out.u16BE(0);
    out.u8(kPreloginTerminator);
    const std::uint8_t version[6] = {8, 0, 0x01, 0x55, 0, 0};  // 8.0.341
    out.bytes(version, sizeof version);
    out.u8(kEncryptNotSupported);
    out.u8(0);  // instance accepted
    return out.take();
}

Login7 parseLogin7(const Bytes& payload) {
    ByteReader in(payload);
    Login7 login;
    in.u32();  // total length
    login.tdsVersion = in.u32();
    login.packetSize = in.u32();
    in.skip(12);  // client program version, process id, connection id
    in.u8();      // option flags 1
    const std::uint8_t flags2 = in.u8();
    in.skip(10);  // type flags, option flags 3, time zone, LCID
    if (payload.size() < 86) throw ProtocolError("LOGIN7 shorter than its fixed part");
    login.request.hostName = readString(payload, 36);
    login.request.user = readString(payload, 40);
    login.request.password = readPassword(payload, 44);
    login.request.appName = readString(payload, 48);
    login.serverName = readString(payload, 52);
    login.language = readString(payload, 64);
    login.request.database = readString(payload, 68);
    login.request.odbcDefaults = (flags2 & kOptionFlags2Odbc) != 0;
    ByteReader sspi(payload);
    sspi.seek(78);
    sspi.u16();
    const std::uint16_t sspiLength = sspi.u16();
    login.integratedSecurity = (flags2 & kOptionFlags2IntegratedSecurity) != 0 || sspiLength != 0;
    return login;
}

std::size_t negotiatePacketSize(std::uint32_t requested) {
    if (requested == 0) return kDefaultPacketSize;
    return std::clamp<std::size_t>(requested, kMinPacketSize, kMaxPacketSize);
}

Bytes loginAcceptedTokens(const std::string& database, std::size_t packetSize,
                          const std::string& serverName) {
    ByteWriter out;
    writeEnvChange(out, EnvChangeType::Database, database, database);
    writeMessage(out, Message{5701, 2, 0, "Changed database context to '" + database + "'.", "", 0}, serverName);
    writeCollationChange(out, collationBytes(""));
    writeEnvChange(out, EnvChangeType::Language, "us_english", "");
    writeEnvChange(out, EnvChangeType::PacketSize, std::to_string(packetSize),
                   std::to_string(kDefaultPacketSize));
    writeMessage(out, Message{5703, 1, 0, "Changed language setting to us_english.", "", 0}, serverName);
    writeLoginAck(out);
    writeDone(out, kDoneFinal, 0, 0);
    return out.take();
}

Bytes loginRefusedTokens(const std::vector<Message>& messages, const std::string& serverName) {
    ByteWriter out;
    for (const auto& message : messages) writeMessage(out, message, serverName);
    writeDone(out, kDoneError, 0, 0);
    return out.take();
}

}  // namespace sandbox::wire
