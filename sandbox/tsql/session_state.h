#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sandbox::tsql {

// The SET options of one session that change what a client sees.
struct SessionOptions {
    bool ansiNulls = true;
    bool quotedIdentifier = true;
    bool ansiNullDefault = true;   // new columns without NULL/NOT NULL allow nulls
    bool ansiPadding = true;
    bool ansiWarnings = true;
    bool concatNullYieldsNull = true;
    bool nocount = false;
    bool fmtOnly = false;
    std::int64_t textSize = 2147483647;
    std::int64_t rowCount = 0;     // SET ROWCOUNT: 0 = no limit
};

// The table whose IDENTITY_INSERT is ON in this session (at most one).
struct IdentityInsertTable {
    std::string database;
    int tableId = 0;
    std::string tableName;
};

// One connection's state: current database, options and the values of @@IDENTITY,
// @@ROWCOUNT and @@ERROR.
struct SessionState {
    std::string database;
    std::string login = "sa";
    int spid = 51;
    SessionOptions options;
    std::optional<IdentityInsertTable> identityInsert;
    std::optional<std::int64_t> lastIdentity;
    std::int64_t lastRowCount = 0;
    int lastError = 0;
};

}  // namespace sandbox::tsql
