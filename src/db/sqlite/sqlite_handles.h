#pragma once

#include <memory>

#include <sqlite3.h>

namespace db::sqlite {

// Owns an open database handle. Shared between the connection and the forward-only
// record sets still reading from it, so that the handle closes after the last of them.
using DatabaseHandle = std::shared_ptr<sqlite3>;

// Opens nothing: wraps a handle returned by sqlite3_open_v2 (closed with close_v2,
// which also releases a handle whose open failed).
inline DatabaseHandle adoptDatabase(sqlite3* db) {
    return DatabaseHandle(db, [](sqlite3* h) noexcept { sqlite3_close_v2(h); });
}

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

// Owns one prepared statement.
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

}  // namespace db::sqlite
