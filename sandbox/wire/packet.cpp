#include "wire/packet.h"

#include <algorithm>

namespace sandbox::wire {

PacketHeader PacketHeader::parse(const std::uint8_t* header) {
    PacketHeader h;
    h.type = header[0];
    h.status = header[1];
    h.length = static_cast<std::uint16_t>((header[2] << 8) | header[3]);
    h.spid = static_cast<std::uint16_t>((header[4] << 8) | header[5]);
    h.packetId = header[6];
    return h;
}

void PacketHeader::write(Bytes& out) const {
    out.push_back(type);
    out.push_back(status);
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.push_back(static_cast<std::uint8_t>(spid >> 8));
    out.push_back(static_cast<std::uint8_t>(spid));
    out.push_back(packetId);
    out.push_back(0);
}

void appendPackets(Bytes& out, PacketType type, const Bytes& payload, std::size_t begin,
                   std::size_t end, bool last, std::size_t packetSize, std::uint16_t spid,
                   std::uint8_t& packetId) {
    const std::size_t chunk = packetSize - kHeaderSize;
    std::size_t at = begin;
    do {
        const std::size_t n = std::min(chunk, end - at);
        PacketHeader h;
        h.type = static_cast<std::uint8_t>(type);
        h.status = (last && at + n == end) ? kStatusEndOfMessage : 0;
        h.length = static_cast<std::uint16_t>(n + kHeaderSize);
        h.spid = spid;
        h.packetId = packetId++;
        h.write(out);
        out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(at),
                   payload.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < end);
}

}  // namespace sandbox::wire
