#include <chrono>
#include <cstdio>
#include <filesystem>

#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/backup_path.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

constexpr int kServerPageBytes = 8192;

// The dump devices are server-wide, kept in master like its sysdevices rows.
Database& masterDatabase(ExecContext& context) {
    Database* master = context.databases().find("master");
    if (!master) throw ServerError(911, 16, "Could not locate entry in sysdatabases for database 'master'.");
    sqlite::exec(master->handle(), "CREATE TABLE IF NOT EXISTS \"~devices\" (name TEXT PRIMARY KEY COLLATE " +
                                       sqlite::quoteIdentifier(kServerCollation) + ", type TEXT, path TEXT)");
    return *master;
}

// The physical name of a dump device, or nullopt when there is none of that name.
std::optional<std::string> devicePath(ExecContext& context, const std::string& device) {
    Database& master = masterDatabase(context);
    sqlite::Statement q(master.handle(), "SELECT path FROM \"~devices\" WHERE name = ?");
    q.bind(1, device);
    if (!q.step()) return std::nullopt;
    return q.text(0);
}

[[noreturn]] void backupTerminated(std::int32_t number, const std::string& text) {
    throw ServerError(number, 16, text).followedBy(3013, 16, "BACKUP DATABASE is terminating abnormally.");
}

// Copies a database into `file` with SQLite's online backup: a consistent snapshot of the
// committed data, written as one self-contained file (no -wal beside it). An existing
// file is replaced: a device holds the latest backup set only. Returns false on failure.
bool writeBackup(sqlite3* source, const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    sqlite3* target = nullptr;
    if (sqlite3_open_v2(file.c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(target);
        return false;
    }
    bool ok = false;
    if (sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main")) {
        int rc = sqlite3_backup_step(backup, -1);
        ok = sqlite3_backup_finish(backup) == SQLITE_OK && rc == SQLITE_DONE;
    }
    ok = ok && sqlite3_exec(target, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(target);
    if (!ok) std::filesystem::remove(file, ec);
    return ok;
}

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    return buffer;
}

// BACKUP DATABASE db TO device | TO DISK = 'path' [WITH ...]: a full copy of the database
// at the device's file (options are accepted and ignored). Unknown database: 911, unknown
// device: 3206, a folder that does not exist: 3201; each followed by 3013. Reports the
// pages written as SQL Server does (4035 per file, then 3014), in 8 KB pages.
class BackupDatabaseStatement : public Statement {
public:
    std::string database;
    std::string device;                  // a logical device
    std::optional<std::string> diskPath; // or TO DISK = 'path'

    void execute(ExecContext& context) override {
        Database* db = context.databases().find(database);
        if (!db)
            backupTerminated(911, "Could not locate entry in sysdatabases for database '" + database +
                                      "'. No entry found with that name. Make sure that the name is entered correctly.");
        std::string written;
        if (diskPath) {
            written = *diskPath;
        } else if (auto path = devicePath(context, device)) {
            written = *path;
        } else {
            backupTerminated(3206, "No entry in sysdevices for backup device '" + device +
                                       "'. Update sysdevices and rerun statement.");
        }
        std::filesystem::path file = backupFilePath(written, context.databases().dataFolder(), context.databases().windowsPaths());
        std::error_code ec;
        if (file.parent_path() == defaultBackupFolder(context.databases().dataFolder()))
            std::filesystem::create_directories(file.parent_path(), ec);
        auto started = std::chrono::steady_clock::now();
        if (!std::filesystem::is_directory(file.parent_path(), ec) || !writeBackup(db->handle(), file))
            backupTerminated(3201, "Cannot open backup device '" + written +
                                       "'. Device error or device off-line. See the SQL Server error log for more details.");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        auto bytes = std::filesystem::file_size(file, ec);
        std::int64_t dataPages = static_cast<std::int64_t>((bytes + kServerPageBytes - 1) / kServerPageBytes);
        std::int64_t logPages = 1;
        std::int64_t pages = dataPages + logPages;
        double elapsed = std::max(seconds, 0.001);
        double rate = static_cast<double>(pages) * kServerPageBytes / 1048576.0 / elapsed;
        auto info = [&](std::int32_t number, const std::string& text) {
            context.response().items.emplace_back(Message{number, 1, 10, text, {}, line});
        };
        info(4035, "Processed " + std::to_string(dataPages) + " pages for database '" + db->name() + "', file '" +
                       db->name() + "_Data' on file 1.");
        info(4035, "Processed " + std::to_string(logPages) + " pages for database '" + db->name() + "', file '" +
                       db->name() + "_Log' on file 1.");
        info(3014, "BACKUP DATABASE successfully processed " + std::to_string(pages) + " pages in " + secondsText(elapsed) +
                       " seconds (" + secondsText(rate) + " MB/sec).");
        context.done(false);
    }
};

}  // namespace

// sp_addumpdevice @devtype, @logicalname, @physicalname: a disk device of that name
// (15026 when the name is taken, 15044 for an unknown type; tape and pipe devices are
// not supported). The path is not checked until a backup uses it.
void spAddumpdevice(ExecContext& context, const ProcedureCall& call) {
    std::string type = lower(call.required(0, "@devtype"));
    std::string name = call.required(1, "@logicalname");
    std::string path = call.required(2, "@physicalname");
    if (type == "tape" || type == "pipe")
        throw ServerError(err::kUnsupported, 16, "The sandbox server does not support " + type + " devices.");
    if (type != "disk")
        throw ServerError(15044, 16, "'" + type + "' is an unknown device type. Use 'disk', 'tape', or 'pipe'.");
    Database& master = masterDatabase(context);
    if (devicePath(context, name)) throw ServerError(15026, 16, "Logical device '" + name + "' already exists.");
    sqlite::Statement insert(master.handle(), "INSERT INTO \"~devices\" (name, type, path) VALUES (?, ?, ?)");
    insert.bind(1, name).bind(2, type).bind(3, path).step();
}

// sp_dropdevice @logicalname [, @delfile]: forgets the device (15012 when there is none);
// with 'DELFILE' its file goes too.
void spDropdevice(ExecContext& context, const ProcedureCall& call) {
    std::string name = call.required(0, "@logicalname");
    auto path = devicePath(context, name);
    if (!path) throw ServerError(15012, 16, "Device '" + name + "' does not exist.");
    Database& master = masterDatabase(context);
    sqlite::Statement remove(master.handle(), "DELETE FROM \"~devices\" WHERE name = ?");
    remove.bind(1, name).step();
    if (auto del = call.argument(1, "@delfile"); del && iequals(*del, "DELFILE")) {
        std::error_code ec;
        std::filesystem::remove(backupFilePath(*path, context.databases().dataFolder(), context.databases().windowsPaths()), ec);
    }
}

std::unique_ptr<Statement> parseBackup(Parser& p) {
    p.expectWord("BACKUP");
    if (!p.peek().isWord("DATABASE")) return skipUnsupported(p, "BACKUP " + upperName(p.peek().text));
    p.next();
    auto s = std::make_unique<BackupDatabaseStatement>();
    s->database = p.identifier();
    p.expectWord("TO");
    if (p.peek().isWord("DISK") && p.peek(1).isSymbol("=")) {
        p.next();
        p.next();
        if (p.peek().kind != TokenKind::String && p.peek().kind != TokenKind::NString) p.syntaxError();
        s->diskPath = p.next().text;
    } else if (p.peek().isWord("TAPE") || p.peek().isWord("PIPE")) {
        return skipUnsupported(p, "BACKUP DATABASE ... TO " + upperName(p.peek().text));
    } else {
        s->device = p.identifier();
    }
    if (p.acceptWord("WITH")) {
        while (!p.atStatementEnd()) p.next();
    }
    return s;
}

}  // namespace sandbox::tsql
