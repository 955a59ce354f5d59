#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    std::int64_t lockTimeoutMs = -1;  // SET LOCK_TIMEOUT: how long a batch waits for another
                                      // session's transaction; -1 = as long as it takes
};

// The session's open transaction (BEGIN TRANSACTION ... COMMIT or ROLLBACK): its nesting
// count as @@TRANCOUNT shows it, the outermost transaction's name, and the databases it
// has touched, each holding a SQLite savepoint until the transaction ends.
struct TransactionState {
    int count = 0;
    std::string name;
    std::vector<std::string> databases;
    bool implicit = false;  // opened by a statement that fires triggers, ends with it
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
    TransactionState transaction;
    std::uint64_t rollbacks = 0;  // transactions rolled back so far (a trigger's ROLLBACK shows here)
    std::optional<std::int64_t> lastIdentity;
    std::int64_t lastRowCount = 0;
    int lastError = 0;
    bool keepError = false;  // the running statement set @@ERROR itself (RAISERROR ... WITH SETERROR)
};

}  // namespace sandbox::tsql
