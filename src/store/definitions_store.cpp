#include "store/definitions_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "db/error.h"
#include "db/recordset.h"
#include "db/sqlite/sqlite_connection.h"
#include "store/store_schema.h"

namespace store {
namespace {

using db::sqlite::OpenMode;
using db::sqlite::SqliteConnection;

db::Error storeFileError(const std::filesystem::path& path, const std::string& what) {
    return db::Error(db::errc::kStoreError, "The file '" + path.string() + "' " + what);
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

bool looksLikeText(const std::string& head) {
    return std::none_of(head.begin(), head.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x09 || (c > 0x0D && c < 0x20) || c == 0x7F;
    });
}

// Reads the first bytes and refuses anything that is not a SQLite database file.
void checkFileKind(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        throw db::Error(db::errc::kStoreError, "Could not find file '" + path.string() + "'.");
    }
    if (std::filesystem::is_directory(status))
        throw storeFileError(path, "is a folder, not a definitions store.");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw storeFileError(path, "cannot be read: " + std::string(std::strerror(errno)) + ".");
    std::string head(100, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) throw storeFileError(path, "is empty: it is not a definitions store.");
    if (head.compare(0, 16, std::string("SQLite format 3\0", 16)) == 0) return;
    const std::string_view signature =
        head.size() >= 20 ? std::string_view(head).substr(4, 15) : "";
    if (signature == "Standard Jet DB" || signature == "Standard ACE DB") {
        throw storeFileError(
            path,
            "is a Jet database; the definitions store is a SQLite database. Create one with "
            "\"sqlupgrade-cli init-store\" and capture the structure into it.");
    }
    if (looksLikeText(head)) throw storeFileError(path, "is a text file, not a definitions store.");
    throw storeFileError(path, "is not a SQLite database, so it is not a definitions store.");
}

// What the store's tables lack in the database, as one sentence part; empty when nothing.
// Example: "the table tbLogs is missing; the table tbDados has no column delete_first".
std::string missingSchema(SqliteConnection& connection) {
    db::Recordset rs = connection.open(
        "SELECT m.name, p.name FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS p "
        "WHERE m.type = 'table'",
        db::CursorType::Static);
    std::map<std::string, std::set<std::string>> present;  // lower-case table -> columns
    for (; !rs.eof(); rs.moveNext()) {
        present[lower(rs.field(std::size_t{0}).value().toText())].insert(
            lower(rs.field(std::size_t{1}).value().toText()));
    }
    std::vector<std::string> missingTables;
    std::vector<std::string> problems;
    for (const StoreTable& table : storeTables()) {
        auto found = present.find(lower(table.name));
        if (found == present.end()) {
            missingTables.emplace_back(table.name);
            continue;
        }
        std::vector<std::string> missingColumns;
        for (const StoreColumn& column : table.columns) {
            if (!found->second.count(lower(column.name))) missingColumns.emplace_back(column.name);
        }
        if (missingColumns.empty()) continue;
        std::string text = "the table " + std::string(table.name) + " has no column";
        text += missingColumns.size() > 1 ? "s " : " ";
        for (std::size_t i = 0; i < missingColumns.size(); ++i)
            text += (i ? ", " : "") + missingColumns[i];
        problems.push_back(text);
    }
    if (!missingTables.empty()) {
        std::string text = missingTables.size() > 1 ? "the tables " : "the table ";
        for (std::size_t i = 0; i < missingTables.size(); ++i)
            text += (i ? ", " : "") + missingTables[i];
        text += missingTables.size() > 1 ? " are missing" : " is missing";
        problems.insert(problems.begin(), text);
    }
    std::string all;
    for (std::size_t i = 0; i < problems.size(); ++i) all += (i ? "; " : "") + problems[i];
    return all;
}

// Whether an error of SQLite says the file's content is not a database, rather than that
// the file could not be reached or written (a full disk, an I/O error, a lock).
bool isNotADatabase(const db::Error& e) {
    if (e.records().empty()) return false;
    const long code = e.records().front().nativeError & 0xFF;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

void validateReadOnly(const std::filesystem::path& path) {
    std::string missing;
    try {
        SqliteConnection connection(path, OpenMode::ReadOnly);
        missing = missingSchema(connection);
    } catch (const db::Error& e) {
        const std::string reason =
            e.records().empty() ? e.description() : e.records().front().message;
        if (!isNotADatabase(e)) throw storeFileError(path, "cannot be opened: " + reason + ".");
        throw storeFileError(path, "cannot be read as a SQLite database: " + reason + ".");
    }
    if (!missing.empty()) {
        throw storeFileError(path,
                             "is a SQLite database but not a definitions store: " + missing + ".");
    }
}

std::string singleText(SqliteConnection& connection, std::string_view sql) {
    db::Recordset rs = connection.open(sql, db::CursorType::Static);
    return rs.isOpen() && !rs.eof() ? rs.field(std::size_t{0}).value().toText() : std::string();
}

void removeQuietly(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

std::filesystem::path storePath(const std::filesystem::path& programFolder) {
    return programFolder / std::string(kStoreFileName);
}

std::unique_ptr<db::Connection> openStore(const std::filesystem::path& path) {
    checkFileKind(path);
    validateReadOnly(path);
    auto connection = std::make_unique<SqliteConnection>(path, OpenMode::ReadWrite);
    // WAL lets the statement log and the capture's many small writes commit without a
    // full sync each; NORMAL keeps every committed write safe from a crash of the
    // program. Where WAL is impossible (a file system without shared memory) the file
    // keeps its rollback journal and SQLite's default, fully synchronous commits.
    if (lower(singleText(*connection, "PRAGMA journal_mode=WAL")) == "wal") {
        connection->execute("PRAGMA synchronous=NORMAL");
    }
    return connection;
}

void checkStore(const std::filesystem::path& path) {
    checkFileKind(path);
    validateReadOnly(path);
}

std::unique_ptr<db::Connection> openStoreWithPrivateLog(const std::filesystem::path& storePath,
                                                        const std::filesystem::path& logPath) {
    checkStore(storePath);
    auto connection = std::make_unique<SqliteConnection>(logPath, OpenMode::Create);
    if (lower(singleText(*connection, "PRAGMA journal_mode=WAL")) == "wal") {
        connection->execute("PRAGMA synchronous=NORMAL");
    }
    const auto& tables = storeTables();
    const auto logTable = std::find_if(tables.begin(), tables.end(),
                                       [](const StoreTable& t) { return t.name == "tbLogs"; });
    if (singleText(*connection, "SELECT count(*) FROM sqlite_master WHERE name = 'tbLogs'") == "0") {
        connection->execute(createTableStatement(*logTable));
    }
    connection->attachReadOnly(storePath, "definitions");
    return connection;
}

void createEmptyStore(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
        throw storeFileError(
            path, "already exists; a new definitions store is only created where no file is.");
    }
    // O_EXCL: of two processes creating the same store, exactly one wins.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST) {
            throw storeFileError(
                path, "already exists; a new definitions store is only created where no file is.");
        }
        throw db::Error(db::errc::kStoreError,
                        "Could not create '" + path.string() + "': " + std::strerror(error) + ".");
    }
    ::close(fd);
    try {
        SqliteConnection connection(path, OpenMode::ReadWrite);
        connection.beginTransaction();
        for (const StoreTable& table : storeTables())
            connection.execute(createTableStatement(table));
        connection.commitTransaction();
        singleText(connection, "PRAGMA journal_mode=WAL");
        connection.close();
    } catch (...) {
        removeQuietly(path.string() + "-wal");
        removeQuietly(path.string() + "-shm");
        removeQuietly(path);
        throw;
    }
}

}  // namespace store
