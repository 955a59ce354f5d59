#include "fleet/guard_ledger.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "db/error.h"
#include "fleet/target_identity.h"

namespace fleet {
namespace {

constexpr std::array<const char*, 3> kEventNames{"raised", "released", "cleared"};

// A field as it may stand in a line: tabs and line breaks would split it.
std::string field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return text;
}

std::string whoAmI() {
    std::string user;
    if (const passwd* entry = ::getpwuid(::geteuid())) user = entry->pw_name;
    if (user.empty()) user = std::to_string(::geteuid());
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    return user + "@" + host;
}

std::optional<std::string> identityOf(const std::string& server, const std::string& database) {
    try {
        return databaseIdentity(server, database);
    } catch (const db::Error&) {
        return std::nullopt;
    }
}

}  // namespace

bool GuardLedger::record(GuardEvent event, const std::string& server, const std::string& database) const {
    const std::string line = field(localTimeNow()) + '\t' + kEventNames[static_cast<int>(event)] +
                             '\t' + field(server) + '\t' + field(database) + '\t' + field(whoAmI()) +
                             '\t' + field(program_invocation_short_name) + '\t' +
                             std::to_string(::getpid()) + '\n';
    const int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
    return written == static_cast<ssize_t>(line.size());
}

std::function<void(GuardEvent)> GuardLedger::recorder(const std::string& server,
                                                     const std::string& database) const {
    return [ledger = *this, server, database](GuardEvent event) { ledger.record(event, server, database); };
}

std::optional<GuardRecord> GuardLedger::last(const std::string& server,
                                             const std::string& database) const {
    const std::optional<std::string> wanted = identityOf(server, database);
    std::ifstream in(m_file, std::ios::binary);
    std::optional<GuardRecord> found;
    std::string line;
    while (wanted && std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string part; std::getline(split, part, '\t');) fields.push_back(part);
        if (fields.size() != 7) continue;
        GuardRecord record;
        record.time = fields[0];
        bool known = false;
        for (std::size_t i = 0; i < kEventNames.size(); ++i) {
            if (fields[1] == kEventNames[i]) {
                record.event = static_cast<GuardEvent>(i);
                known = true;
            }
        }
        if (!known || identityOf(fields[2], fields[3]) != wanted) continue;
        record.server = fields[2];
        record.database = fields[3];
        record.who = fields[4];
        record.program = fields[5];
        record.pid = std::atol(fields[6].c_str());
        found = record;
    }
    return found;
}

std::filesystem::path guardLedgerPath(const std::filesystem::path& programFolder) {
    return programFolder / "upgrade-guards.log";
}

std::string describeRecord(const GuardRecord& record) {
    return std::string(kEventNames[static_cast<int>(record.event)]) + " by " + record.who + " (" +
           record.program + ", process " + std::to_string(record.pid) + ") at " + record.time;
}

}  // namespace fleet
