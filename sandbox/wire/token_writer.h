#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "api/engine.h"
#include "wire/byte_buffer.h"

// Writers of the TDS 7.1 tokens that are not result data: DONE, ERROR/INFO, ENVCHANGE,
// LOGINACK.
namespace sandbox::wire {

enum class TokenType : std::uint8_t {
    ColMetadata = 0x81,
    Error = 0xAA,
    Info = 0xAB,
    LoginAck = 0xAD,
    Row = 0xD1,
    EnvChange = 0xE3,
    Done = 0xFD,
    DoneProc = 0xFE,
    DoneInProc = 0xFF,
};

// DONE status bits.
inline constexpr std::uint16_t kDoneFinal = 0x00;
inline constexpr std::uint16_t kDoneMore = 0x01;
inline constexpr std::uint16_t kDoneError = 0x02;
inline constexpr std::uint16_t kDoneCount = 0x10;
inline constexpr std::uint16_t kDoneAttention = 0x20;

// CurCmd of a DONE after a SELECT, as SQL Server sends it; 0 elsewhere.
inline constexpr std::uint16_t kCurCmdSelect = 0xC1;

// ENVCHANGE types sent by the server.
enum class EnvChangeType : std::uint8_t {
    Database = 1,
    Language = 2,
    PacketSize = 4,
    SqlCollation = 7,
};

// DONE: status, current command, 4-byte row count (TDS 7.1).
void writeDone(ByteWriter& out, std::uint16_t status, std::uint16_t curCmd, std::uint32_t rowCount);

// ERROR (severity above 10) or INFO token for a message, with a 2-byte line number.
// Example: 208/16 "Invalid object name 'x'." -> AA <len> D0 00 00 00 01 10 ...
void writeMessage(ByteWriter& out, const Message& message, std::string_view serverName);

// ENVCHANGE with B_VARCHAR new and old values (database, language, packet size).
void writeEnvChange(ByteWriter& out, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue);

// ENVCHANGE 7: the session's SQL collation as 5 bytes, old value empty.
void writeCollationChange(ByteWriter& out, const std::array<std::uint8_t, 5>& collation);

// LOGINACK acknowledging TDS 7.1 (0x71000001) for "Microsoft SQL Server" 8.0.2039.
void writeLoginAck(ByteWriter& out);

}  // namespace sandbox::wire
