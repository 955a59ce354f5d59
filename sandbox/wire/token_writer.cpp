#include "wire/token_writer.h"

#include <algorithm>

namespace sandbox::wire {
namespace {

constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::string_view kProgramName = "Microsoft SQL Server";
constexpr std::uint8_t kProgramVersion[4] = {8, 0, 0x07, 0xF7};  // 8.00.2039

}  // namespace

void writeDone(ByteWriter& out, std::uint16_t status, std::uint16_t curCmd, std::uint32_t rowCount) {
    out.u8(static_cast<std::uint8_t>(TokenType::Done));
    out.u16(status);
    out.u16(curCmd);
    out.u32(rowCount);
}

void writeMessage(ByteWriter& out, const Message& message, std::string_view serverName) {
    out.u8(static_cast<std::uint8_t>(message.severity > 10 ? TokenType::Error : TokenType::Info));
    const std::size_t lengthAt = out.size();
    out.u16(0);
    out.i32(message.number);
    out.u8(message.state);
    out.u8(message.severity);
    out.usVarchar(message.text);
    out.bVarchar(serverName);
    out.bVarchar(message.procName);
    out.u16(static_cast<std::uint16_t>(std::clamp(message.line, 0, 0xFFFF)));
    out.patchU16(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
}

void writeEnvChange(ByteWriter& out, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue) {
    out.u8(static_cast<std::uint8_t>(TokenType::EnvChange));
    const std::size_t lengthAt = out.size();
    out.u16(0);
    out.u8(static_cast<std::uint8_t>(type));
    out.bVarchar(newValue);
    out.bVarchar(oldValue);
    out.patchU16(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
}

void writeCollationChange(ByteWriter& out, const std::array<std::uint8_t, 5>& collation) {
    out.u8(static_cast<std::uint8_t>(TokenType::EnvChange));
    out.u16(1 + 1 + 5 + 1);
    out.u8(static_cast<std::uint8_t>(EnvChangeType::SqlCollation));
    out.u8(5);
    out.bytes(collation.data(), collation.size());
    out.u8(0);
}

void writeLoginAck(ByteWriter& out) {
    out.u8(static_cast<std::uint8_t>(TokenType::LoginAck));
    // The program name goes with two NUL characters, as real servers send it.
    const Bytes name = utf8ToUcs2(std::string(kProgramName) + std::string(2, '\0'));
    out.u16(static_cast<std::uint16_t>(1 + 4 + 1 + name.size() + 4));
    out.u8(1);  // interface: T-SQL
    out.u32BE(kTds71);
    out.u8(static_cast<std::uint8_t>(name.size() / 2));
    out.bytes(name);
    out.bytes(kProgramVersion, sizeof kProgramVersion);
}

}  // namespace sandbox::wire
