#include "db/odbc/streaming_rows.h"

namespace db::odbc {

StreamingRows::StreamingRows(std::unique_ptr<Batch> batch) : m_batch(std::move(batch)) {
    m_batch->session().setStreaming(this);
}

namespace {

// How many unread rows a closing record set reads out before it gives up and cancels.
constexpr int kShortRemainderRows = 64;

}  // namespace

StreamingRows::~StreamingRows() {
    m_batch->session().releaseStreaming(this);
    if (!m_abandoned) drainShortRemainder();
}

void StreamingRows::drainShortRemainder() noexcept {
    // tdsodbc answers the release of a statement with unread results with an attention
    // and then waits for the server's acknowledgement: one more round trip. The rest of a
    // short row set (the end of a TOP 1 query) is already in the driver's buffer, so
    // reading it out costs nothing on the wire; a long one is still cancelled.
    try {
        std::vector<Value> row;
        for (int i = 0; i < kShortRemainderRows; ++i) {
            if (!m_batch->fetch(row)) {
                m_batch->finish();
                return;
            }
        }
    } catch (...) {  // the statement is released (and cancelled) all the same
    }
}

bool StreamingRows::readFromServer(std::vector<Value>& row) {
    if (m_batch->fetch(row)) return true;
    // The row set has ended (or failed): the rest of the batch is consumed now, so that
    // an error of a later statement is reported and the connection is free again.
    m_batch->finish();
    m_batch->session().releaseStreaming(this);
    if (m_batch->failed()) m_pendingError = m_batch->error();
    return false;
}

bool StreamingRows::next(std::vector<Value>& row) {
    if (m_abandoned) throw objectClosedError();
    if (m_readAhead) {
        if (!m_ahead.empty()) {
            row = std::move(m_ahead.front());
            m_ahead.pop_front();
            return true;
        }
    } else if (readFromServer(row)) {
        return true;
    }
    if (m_pendingError) throw *std::exchange(m_pendingError, std::nullopt);
    return false;
}

void StreamingRows::readAhead() noexcept {
    if (m_readAhead || m_abandoned) return;
    m_readAhead = true;
    try {
        std::vector<Value> row;
        while (readFromServer(row)) m_ahead.push_back(std::move(row));
    } catch (const std::exception& e) {  // only allocation can fail here
        m_pendingError.emplace(errc::kServerError, e.what());
    }
}

void StreamingRows::abandon() noexcept {
    m_abandoned = true;
    m_ahead.clear();
    m_batch->cancel();
}

}  // namespace db::odbc
