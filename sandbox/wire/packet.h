#pragma once

#include <cstdint>

#include "wire/text_codec.h"

// TDS packet framing: every message travels as one or more packets of at most the
// negotiated size, each with an 8-byte header.
namespace sandbox::wire {

enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    PreTds7Login = 0x02,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    BulkLoad = 0x07,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    PreLogin = 0x12,
};

inline constexpr std::uint8_t kStatusEndOfMessage = 0x01;
inline constexpr std::uint8_t kStatusIgnore = 0x02;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kDefaultPacketSize = 4096;
inline constexpr std::size_t kMinPacketSize = 512;
inline constexpr std::size_t kMaxPacketSize = 32767;

// The 8-byte header. Length (big-endian) counts the header too; SPID is big-endian.
struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;

    static PacketHeader parse(const std::uint8_t* header);
    void write(Bytes& out) const;
    bool endOfMessage() const { return (status & kStatusEndOfMessage) != 0; }
};

// Frames `payload[begin, end)` as packets of at most packetSize bytes, appended to out.
// The last packet carries end-of-message when `last` is set; packet ids continue from
// `packetId`, which is advanced. Example: 5,000 payload bytes at size 4096 with last set
// -> a packet of 4,088 payload bytes (status 0) and one of 912 (status 1).
void appendPackets(Bytes& out, PacketType type, const Bytes& payload, std::size_t begin,
                   std::size_t end, bool last, std::size_t packetSize, std::uint16_t spid,
                   std::uint8_t& packetId);

}  // namespace sandbox::wire
