#pragma once

#include <optional>
#include <string>

#include "db/connection.h"
#include "fleet/guard_ledger.h"

namespace fleet {

// What the first row of a target's tbVersao says about its upgrade guard.
enum class GuardState {
    Raised,    // upgrading is not 0: an upgrade is running, or one failed
    Lowered,   // upgrading is 0
    Off,       // upgrading is null: upgrades of this database take no guard
    NoColumn,  // tbVersao has no column upgrading: likewise
    NoRow,     // tbVersao is empty: likewise
};

struct GuardReading {
    GuardState state = GuardState::NoRow;
    std::string value;  // upgrading as read, "1", "0", empty when null or missing
};

// Reads the guard as the upgrade reads it: "SELECT TOP 1 * FROM tbVersao". Throws
// db::Error when the query fails (no tbVersao: then no one can tell).
GuardReading readGuard(db::Connection& target);

// Lowers the guard as a cancelled upgrade does: "UPDATE tbVersao SET upgrading = 0"
// (every row). Throws db::Error.
void lowerGuard(db::Connection& target);

// The line `guard status` prints: it begins with "raised" or "not raised", names the
// database, and for a raised guard says who raised it as far as the ledger knows
// (`lastRecord`, the ledger's last record for the database, none when it has none).
// Example: "raised: upgrading = 1 in tbVersao of shop07 on db1,1433; raised by
// ana@build01 (sqlupgrade-cli, process 4242) at 2024-05-02 10:14:03 +0100".
std::string guardStatusLine(const GuardReading& reading, const std::string& server,
                            const std::string& database, const std::optional<GuardRecord>& lastRecord,
                            const std::string& ledgerFile);

}  // namespace fleet
