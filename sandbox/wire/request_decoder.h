#pragma once

#include <string>

#include "wire/text_codec.h"

// Decoding of the request messages a logged-in client sends.
namespace sandbox::wire {

// The SQL text of a SQL_BATCH payload as UTF-8. TDS 7.1 clients send the UCS-2LE text
// alone; the ALL_HEADERS block that 7.2+ clients put in front is recognised and skipped.
// Example: 22 00 00 00 12 00 00 00 02 00 <8 bytes> 01 00 00 00 53 00 -> "S".
std::string decodeSqlBatch(const Bytes& payload);

// The procedure an RPC request calls: its name, or the well-known name of a procedure
// id (10 -> "sp_executesql", 13 -> "sp_prepexec"). Empty when the payload is unreadable.
std::string rpcProcedureName(const Bytes& payload);

}  // namespace sandbox::wire
