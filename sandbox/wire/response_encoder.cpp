#include "wire/response_encoder.h"

#include <algorithm>
#include <type_traits>

#include "wire/byte_buffer.h"
#include "wire/column_encoding.h"
#include "wire/token_writer.h"

namespace sandbox::wire {
namespace {

// Writes COLMETADATA and the rows, recording a cut point after each token.
void encodeRowSet(ByteWriter& out, std::vector<std::size_t>& cutPoints, const RowSet& rowSet) {
    std::vector<WireColumn> columns;
    columns.reserve(rowSet.columns.size());
    for (std::size_t i = 0; i < rowSet.columns.size(); ++i) columns.push_back(planColumn(rowSet, i));

    ByteWriter body;
    std::vector<std::size_t> bodyCuts;
    body.u8(static_cast<std::uint8_t>(TokenType::ColMetadata));
    body.u16(static_cast<std::uint16_t>(columns.size()));
    for (const auto& column : columns) writeColumnMetadata(body, column);
    bodyCuts.push_back(body.size());
    for (const auto& row : rowSet.rows) {
        if (row.size() != columns.size())
            throw ValueEncodingError("a row has " + std::to_string(row.size()) + " values for " +
                                     std::to_string(columns.size()) + " columns");
        body.u8(static_cast<std::uint8_t>(TokenType::Row));
        for (std::size_t i = 0; i < columns.size(); ++i) writeColumnValue(body, columns[i], row[i]);
        bodyCuts.push_back(body.size());
    }
    const std::size_t base = out.size();
    out.bytes(body.data());
    for (std::size_t cut : bodyCuts) cutPoints.push_back(base + cut);
}

}  // namespace

EncodedResponse encodeResponse(const Response& response, std::string_view serverName) {
    ByteWriter out;
    EncodedResponse encoded;
    std::size_t lastDone = response.items.size();
    for (std::size_t i = response.items.size(); i-- > 0;) {
        if (std::holds_alternative<Done>(response.items[i])) {
            lastDone = i;
            break;
        }
    }
    const bool endsWithDone = !response.items.empty() && lastDone == response.items.size() - 1;
    bool afterRowSet = false;
    bool failedRowSet = false;
    for (std::size_t i = 0; i < response.items.size(); ++i) {
        std::visit(
            [&](const auto& item) {
                using T = std::decay_t<decltype(item)>;
                if constexpr (std::is_same_v<T, RowSet>) {
                    try {
                        encodeRowSet(out, encoded.cutPoints, item);
                        afterRowSet = true;
                    } catch (const ValueEncodingError& e) {
                        writeMessage(out, Message{kResultEncodingError, 1, 16, e.what(), "", 1}, serverName);
                        encoded.cutPoints.push_back(out.size());
                        failedRowSet = true;
                    }
                } else if constexpr (std::is_same_v<T, Message>) {
                    writeMessage(out, item, serverName);
                    encoded.cutPoints.push_back(out.size());
                } else if constexpr (std::is_same_v<T, DatabaseChange>) {
                    writeEnvChange(out, EnvChangeType::Database, item.newName, item.oldName);
                    encoded.cutPoints.push_back(out.size());
                } else {
                    std::uint16_t status = kDoneFinal;
                    const bool error = item.error || failedRowSet;
                    if (item.counted && !failedRowSet) status |= kDoneCount;
                    if (error) status |= kDoneError;
                    if (i != lastDone || !endsWithDone) status |= kDoneMore;
                    const auto count = static_cast<std::uint32_t>(
                        std::clamp<std::int64_t>(item.rowCount, 0, 0xFFFFFFFF));
                    writeDone(out, status, afterRowSet ? kCurCmdSelect : 0, count);
                    encoded.cutPoints.push_back(out.size());
                    afterRowSet = false;
                    failedRowSet = false;
                }
            },
            response.items[i]);
    }
    if (!endsWithDone) {
        // A trailing row set without its Done still needs its count for the client.
        std::uint16_t status = kDoneFinal;
        std::uint32_t count = 0;
        if (!response.items.empty()) {
            if (const auto* rows = std::get_if<RowSet>(&response.items.back()); rows && !failedRowSet) {
                status |= kDoneCount;
                count = static_cast<std::uint32_t>(rows->rows.size());
            }
        }
        if (failedRowSet) status |= kDoneError;
        writeDone(out, status, afterRowSet ? kCurCmdSelect : 0, count);
        encoded.cutPoints.push_back(out.size());
    }
    encoded.tokens = out.take();
    return encoded;
}

}  // namespace sandbox::wire
