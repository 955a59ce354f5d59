#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace fleet {

// What happened to a target's upgrade guard (upgrading in its tbVersao).
enum class GuardEvent {
    Raised,    // an upgrade set it to 1
    Released,  // an upgrade set it back to 0 (complete, cancelled)
    Cleared,   // an operator lowered it with `guard clear`
};

// One line of the ledger: who did what to which database's guard, and when.
struct GuardRecord {
    std::string time;  // local time, "2024-05-02 10:14:03 +0100"
    GuardEvent event = GuardEvent::Raised;
    std::string server;
    std::string database;
    std::string who;      // "ana@build01": the user and the host the program ran on
    std::string program;  // "sqlupgrade-cli"
    long pid = 0;
};

// The record of where this program raised and lowered upgrade guards: a text file in the
// program folder, one line per event, fields separated by tabs:
//   2024-05-02 10:14:03 +0100<TAB>raised<TAB>db1,1433<TAB>shop07<TAB>ana@build01<TAB>sqlupgrade-cli<TAB>4242
// It lies beside the store and not in the target, so that no application ever meets it:
// the guard itself stays the one column the application owns. Lines are appended with
// one write each, so that processes sharing the folder never mix theirs.
class GuardLedger {
public:
    explicit GuardLedger(std::filesystem::path file) : m_file(std::move(file)) {}

    // Appends a record of this process (user, host, program, now). Best effort: the
    // ledger only tells people what happened, so a folder that cannot be written loses
    // the record (false) and the run goes on.
    bool record(GuardEvent event, const std::string& server, const std::string& database) const;

    // The last record for that database (the server compared as databaseIdentity
    // compares it); none when the file has none or cannot be read.
    std::optional<GuardRecord> last(const std::string& server, const std::string& database) const;

    // What records each guard change of one database, for a WatchedTarget (guard_watch.h).
    std::function<void(GuardEvent)> recorder(const std::string& server, const std::string& database) const;

    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

// The ledger of a program folder: folder/upgrade-guards.log.
std::filesystem::path guardLedgerPath(const std::filesystem::path& programFolder);

// A record as a sentence part.
// Example: "raised by ana@build01 (sqlupgrade-cli, process 4242) at 2024-05-02 10:14:03 +0100".
std::string describeRecord(const GuardRecord& record);

}  // namespace fleet
