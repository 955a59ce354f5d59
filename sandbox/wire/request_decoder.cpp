#include "wire/request_decoder.h"

#include <array>

#include "wire/byte_buffer.h"

namespace sandbox::wire {
namespace {

// Length of a well-formed ALL_HEADERS block at the start of the payload, else 0. A SQL
// text cannot be mistaken for one: it would have to start with control characters whose
// values add up to the headers' exact lengths.
std::size_t allHeadersLength(const Bytes& payload) {
    try {
        ByteReader in(payload);
        const std::uint32_t total = in.u32();
        if (total < 4 + 6 || total > payload.size()) return 0;
        std::size_t at = 4;
        while (at < total) {
            in.seek(at);
            const std::uint32_t length = in.u32();
            const std::uint16_t type = in.u16();
            if (length < 6 || at + length > total || type < 1 || type > 3) return 0;
            at += length;
        }
        return at == total ? total : 0;
    } catch (const ProtocolError&) {
        return 0;
    }
}

}  // namespace

std::string decodeSqlBatch(const Bytes& payload) {
    const std::size_t skip = allHeadersLength(payload);
    return ucs2ToUtf8(payload.data() + skip, payload.size() - skip);
}

std::string rpcProcedureName(const Bytes& payload) {
    static constexpr std::array<const char*, 16> kProcedures = {
        "", "sp_cursor", "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute",
        "sp_cursorprepexec", "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption",
        "sp_cursorclose", "sp_executesql", "sp_prepare", "sp_execute", "sp_prepexec",
        "sp_prepexecrpc", "sp_unprepare"};
    try {
        ByteReader in(payload);
        in.skip(allHeadersLength(payload));
        const std::uint16_t length = in.u16();
        if (length == 0xFFFF) {
            const std::uint16_t id = in.u16();
            return id < kProcedures.size() ? kProcedures[id] : "procedure " + std::to_string(id);
        }
        const std::uint8_t* name = in.take(std::size_t(length) * 2);
        return ucs2ToUtf8(name, std::size_t(length) * 2);
    } catch (const ProtocolError&) {
        return {};
    }
}

}  // namespace sandbox::wire
