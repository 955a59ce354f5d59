#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "wire/text_codec.h"

namespace sandbox::wire {

// A malformed or unsupported request from a client. The connection answers what it can
// and closes; the server goes on.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Appends TDS fields to a byte buffer. Integers are little-endian unless the name says
// BE; strings are UCS-2LE with the character-count prefix TDS uses for that field.
class ByteWriter {
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void i32(std::int32_t v) { le(static_cast<std::uint32_t>(v), 4); }
    void u16BE(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32BE(std::uint32_t v) {
        u16BE(static_cast<std::uint16_t>(v >> 16));
        u16BE(static_cast<std::uint16_t>(v));
    }
    void bytes(const std::uint8_t* data, std::size_t size) { m_bytes.insert(m_bytes.end(), data, data + size); }
    void bytes(const Bytes& data) { bytes(data.data(), data.size()); }

    // B_VARCHAR: 1-byte character count, then UCS-2LE (texts past 255 units are cut).
    void bVarchar(std::string_view utf8) {
        Bytes text = utf8ToUcs2(utf8);
        if (text.size() > 510) text.resize(510);
        u8(static_cast<std::uint8_t>(text.size() / 2));
        bytes(text);
    }
    // US_VARCHAR: 2-byte character count, then UCS-2LE (texts past 65535 units are cut).
    void usVarchar(std::string_view utf8) {
        Bytes text = utf8ToUcs2(utf8);
        if (text.size() > 131070) text.resize(131070);
        u16(static_cast<std::uint16_t>(text.size() / 2));
        bytes(text);
    }

    // Overwrites a 2-byte little-endian field written earlier (a token's length).
    void patchU16(std::size_t offset, std::uint16_t v) {
        m_bytes[offset] = static_cast<std::uint8_t>(v);
        m_bytes[offset + 1] = static_cast<std::uint8_t>(v >> 8);
    }

    std::size_t size() const { return m_bytes.size(); }
    const Bytes& data() const { return m_bytes; }
    Bytes take() { return std::move(m_bytes); }

private:
    void le(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    Bytes m_bytes;
};

// Reads TDS fields from a message payload; every read checks the bounds and throws
// ProtocolError past the end.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    explicit ByteReader(const Bytes& data) : ByteReader(data.data(), data.size()) {}

    std::uint8_t u8() { return need(1), m_data[m_pos++]; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le(4)); }
    std::uint16_t u16BE() {
        need(2);
        const auto v = static_cast<std::uint16_t>((m_data[m_pos] << 8) | m_data[m_pos + 1]);
        m_pos += 2;
        return v;
    }
    const std::uint8_t* take(std::size_t size) {
        need(size);
        const std::uint8_t* at = m_data + m_pos;
        m_pos += size;
        return at;
    }
    void skip(std::size_t size) { take(size); }
    void seek(std::size_t pos) {
        if (pos > m_size) throw ProtocolError("offset past the end of the message");
        m_pos = pos;
    }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_size - m_pos; }

private:
    void need(std::size_t size) const {
        if (size > m_size - m_pos) throw ProtocolError("message shorter than its fields");
    }
    std::uint64_t le(int width) {
        need(static_cast<std::size_t>(width));
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i) v |= std::uint64_t(m_data[m_pos + i]) << (8 * i);
        m_pos += static_cast<std::size_t>(width);
        return v;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

}  // namespace sandbox::wire
