#pragma once

#include <deque>
#include <memory>
#include <optional>

#include "db/odbc/batch.h"

namespace db::odbc {

// The rows of a forward-only record set, read from the server as the record set moves.
// When the connection is needed for another batch first, the remaining rows are read into
// memory (readAhead); when it closes, the record set reports itself closed (3704). Reaching
// the end consumes the rest of the batch and raises an error met there.
class StreamingRows final : public RowSource, public PendingRows {
public:
    explicit StreamingRows(std::unique_ptr<Batch> batch);
    ~StreamingRows() override;

    bool next(std::vector<Value>& row) override;
    void readAhead() noexcept override;
    void abandon() noexcept override;

private:
    bool readFromServer(std::vector<Value>& row);
    void drainShortRemainder() noexcept;

    std::unique_ptr<Batch> m_batch;
    std::deque<std::vector<Value>> m_ahead;
    bool m_readAhead = false;
    bool m_abandoned = false;
    std::optional<Error> m_pendingError;
};

}  // namespace db::odbc
