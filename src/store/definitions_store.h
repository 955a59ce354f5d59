#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "db/connection.h"

namespace store {

// The store keeps the file name the program has always used, although it is SQLite.
inline constexpr std::string_view kStoreFileName = "SQL.mdb";

// The store file of a program folder, the folder used unchanged (blanks and non-ASCII
// letters included). Example: "/opt/Ferramentas Ação" -> "/opt/Ferramentas Ação/SQL.mdb".
std::filesystem::path storePath(const std::filesystem::path& programFolder);

// Opens an existing definitions store for reading and writing, in WAL mode with
// synchronous=NORMAL. The file is first checked read-only, so that a file that is not a
// store is left exactly as it was: a missing file, a folder, an empty file, a Jet
// database, a text file, another kind of file, or a SQLite database without the store's
// tables or columns each give a db::Error (-2147467259) whose description names the path
// and what is wrong. The connection speaks Jet SQL (db::sqlite::SqliteConnection); closing
// it leaves the file complete on its own.
std::unique_ptr<db::Connection> openStore(const std::filesystem::path& path);

// Checks, reading only, that `path` is a definitions store as openStore would find it;
// throws the same db::Error when it is not.
void checkStore(const std::filesystem::path& path);

// Opens the store at `storePath` for reading only, beside a statement log of its own: the
// SQLite file `logPath` (created when missing) holding the one table tbLogs, with the
// store attached read-only. "DELETE FROM tbLogs" and "INSERT INTO tbLogs ..." then reach
// the private log, every other table is read from the store, which stays exactly as it
// was. This is how several upgrades share one store at once, each keeping its own log.
// The store is checked as openStore checks it; failures throw db::Error naming the file.
std::unique_ptr<db::Connection> openStoreWithPrivateLog(const std::filesystem::path& storePath,
                                                        const std::filesystem::path& logPath);

// Creates an empty store with the eleven tables at `path`. Refuses, with a db::Error,
// when anything already exists at `path`; leaves nothing behind when it fails.
void createEmptyStore(const std::filesystem::path& path);

}  // namespace store
