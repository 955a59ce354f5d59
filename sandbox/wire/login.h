#pragma once

#include <cstdint>
#include <string>

#include "api/engine.h"
#include "wire/text_codec.h"

// The login exchange: PRELOGIN answered without encryption, LOGIN7 decoded, and the
// token stream that acknowledges a login as SQL Server 2000 does.
namespace sandbox::wire {

// The PRELOGIN reply: version 8.0.341, ENCRYPTION = not supported (so the client sends
// its LOGIN7 in clear), INSTOPT accepted, no thread id.
Bytes preloginReply();

// What a LOGIN7 carried.
struct Login7 {
    std::uint32_t tdsVersion = 0;    // as the client asked, e.g. 0x71000001
    std::uint32_t packetSize = 0;    // requested packet size
    bool integratedSecurity = false; // SSPI/NTLM/Kerberos instead of a SQL login
    std::string serverName;
    std::string language;
    LoginRequest request;
};

// Decodes a LOGIN7 payload: strings from their offset/length pairs (UCS-2LE), the
// password de-obfuscated (each byte XOR 0xA5, then its nibbles swapped), fODBC into
// request.odbcDefaults. Throws ProtocolError when a field points outside the message.
// Example: password bytes B3 A5 (obfuscated "a") -> "a".
Login7 parseLogin7(const Bytes& payload);

// The packet size granted for a request: 0 keeps 4096, anything else is held to
// 512..32767.
std::size_t negotiatePacketSize(std::uint32_t requested);

// Tokens that accept a login: ENVCHANGE database, INFO 5701, ENVCHANGE collation,
// ENVCHANGE language, ENVCHANGE packet size, INFO 5703, LOGINACK (TDS 7.1), DONE.
Bytes loginAcceptedTokens(const std::string& database, std::size_t packetSize,
                          const std::string& serverName);

// Tokens that refuse a login: each message (4060, 18456 ...) then DONE with DONE_ERROR.
Bytes loginRefusedTokens(const std::vector<Message>& messages, const std::string& serverName);

}  // namespace sandbox::wire
