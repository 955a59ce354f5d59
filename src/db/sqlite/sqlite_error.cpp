#include "db/sqlite/sqlite_error.h"

#include <string>

namespace db::sqlite {
namespace {

constexpr std::size_t kStatementShown = 200;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string shortened(std::string_view statement) {
    if (statement.size() <= kStatementShown) return std::string(statement);
    std::size_t cut = kStatementShown;
    // Never cut inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(statement[cut]) & 0xC0) == 0x80) --cut;
    return std::string(statement.substr(0, cut)) + "...";
}

// Faults of the file rather than of the statement: a read-only file or folder, a full
// disk, an I/O error, a damaged file.
bool isFileFault(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_READONLY:
        case SQLITE_IOERR:
        case SQLITE_FULL:
        case SQLITE_CANTOPEN:
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_PERM: return true;
        default: return false;
    }
}

}  // namespace

Error sqliteError(sqlite3* db, int rc, std::string_view statement) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    long number = errc::kStoreError;
    std::string sqlstate = "HY000";
    bool showStatement = false;
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        number = errc::kIntegrityViolation;
        sqlstate = "23000";
    } else if ((rc & 0xFF) == SQLITE_ERROR && !statement.empty()) {
        showStatement = true;
        if (startsWith(message, "no such table")) {
            number = errc::kObjectNotFound;
            sqlstate = "42S02";
        } else {
            number = errc::kServerError;
            sqlstate = startsWith(message, "no such column") ? "42S22" : "42000";
        }
    }
    std::string description = message;
    if (showStatement) description += " in: " + shortened(statement);
    // SQLite's message does not say which file, and a run has more than one database.
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    if (isFileFault(rc) && file && *file) description += " (file '" + std::string(file) + "')";
    return Error(number, description, {DiagnosticRecord{sqlstate, extended, 0, message}});
}

Error storeError(std::string description) {
    return Error(errc::kStoreError, std::move(description));
}

}  // namespace db::sqlite
