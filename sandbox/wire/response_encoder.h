#pragma once

#include <string_view>
#include <vector>

#include "api/engine.h"
#include "wire/text_codec.h"

namespace sandbox::wire {

// The token stream of one response, with the offsets after each token where the stream
// may be cut when the client cancels (a cut never splits a token).
struct EncodedResponse {
    Bytes tokens;
    std::vector<std::size_t> cutPoints;
};

// Message number of a result the wire could not encode (an engine value of the wrong
// kind); the client gets it as an error instead of a broken stream.
inline constexpr std::int32_t kResultEncodingError = 50000;

// Encodes an engine response as TDS 7.1 tokens: a row set as COLMETADATA and ROWs,
// messages as ERROR (severity above 10) or INFO, a database change as ENVCHANGE 1, and
// each Done as DONE with DONE_COUNT when counted, DONE_ERROR on error, and DONE_MORE on
// every Done but the last. A final Done is added when the items do not end with one.
// Example: {RowSet(1 column, 2 rows), Done{counted, 2}} -> 81 ... D1 ... D1 ... FD 10 00
// C1 00 02 00 00 00.
EncodedResponse encodeResponse(const Response& response, std::string_view serverName);

}  // namespace sandbox::wire
