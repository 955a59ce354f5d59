#include "upgrade/upgrade_preflight.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "db/recordset.h"

namespace upgrade {
namespace {

// The folder that holds the store, as a user would name it: "." for a bare file name.
std::filesystem::path folderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

// Why this process may not write `path`, or nothing when it may.
std::optional<std::string> notWritable(const std::filesystem::path& path) {
    if (::access(path.c_str(), W_OK) == 0) return std::nullopt;
    return std::string(std::strerror(errno));
}

// The line for a store file this process may not write, or its folder: the statement log
// is written into the file, and SQLite writes its journal beside it. Nothing when both
// may be written (or the store is no file).
std::optional<std::string> writeRefusal(const StoreLocation& location) {
    if (location.path.empty()) return std::nullopt;
    for (const std::filesystem::path& place : {location.path, folderOf(location.path)}) {
        if (const auto why = notWritable(place)) {
            return "The definitions store " + location.path.string() + " cannot be written (" + place.string() +
                   ": " + *why + "), and the upgrade logs its statements there: give the user who runs the "
                   "upgrade write permission on the file and its folder.";
        }
    }
    return std::nullopt;
}

}  // namespace

std::string storeOpenRefusal(const StoreLocation& location, const db::Error& error) {
    std::error_code ec;
    const std::string path = location.path.string();
    if (!location.path.empty() && !std::filesystem::exists(location.path, ec)) {
        return "No definitions store at " + path + ": create one with " + location.createCommand +
               " and capture a reference database into it, then upgrade.";
    }
    if (!location.path.empty() && ::access(location.path.c_str(), R_OK) != 0) {
        return "The definitions store " + path + " cannot be read (" + std::strerror(errno) +
               "): give the user who runs the upgrade read and write permission on it.";
    }
    if (auto refusal = writeRefusal(location)) return *refusal;
    const std::string what = error.description().empty() ? "The definitions store could not be opened."
                                                         : error.description();
    return what + " Capture a reference database into a definitions store first (" +
           location.createCommand + " creates an empty one where no file is).";
}

std::optional<std::string> storeRefusal(const StoreLocation& location, db::Connection& store) {
    if (auto refusal = writeRefusal(location)) return *refusal;
    db::Recordset tables = store.open("SELECT MIN(tabela) AS tabela FROM tbObjects", db::CursorType::Static,
                                      db::LockType::ReadOnly);
    const bool captured = !tables.eof() && !tables.field("tabela").value().isNull();
    tables.close();
    if (captured) return std::nullopt;
    const std::string where = location.path.empty() ? std::string("The definitions store")
                                                    : "The definitions store " + location.path.string();
    return where + " holds no captured table: capture a reference database into it first "
                   "(sqlupgrade-cli capture, or Carregar Estrutura in the window).";
}

std::string noVersionTableRefusal(const std::string& database) {
    return database + " has no table tbVersao, so it is not an application database this tool can "
                      "upgrade: check the database name (-d) and the server (-S).";
}

bool isMissingVersionTable(const db::Error& error) { return error.number() == db::errc::kObjectNotFound; }

}  // namespace upgrade
