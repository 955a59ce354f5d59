#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "db/connection.h"
#include "db/error.h"

namespace upgrade {

// The checks an upgrade makes before it touches the target's upgrade guard. Each looks
// and changes nothing; a check that fails refuses the run with one line saying what is
// wrong and what to do, so that a run that cannot finish never leaves the target marked
// as being upgraded. The lines are this program's own (English) texts, gathered here.

// Where the store is and how a user creates one, for the lines about the store. An empty
// path (a store that is not a file, as in tests) skips the checks that need the file.
struct StoreLocation {
    std::filesystem::path path;
    std::string createCommand = "sqlupgrade-cli init-store";
};

// The line for a store that could not be opened, from the opener's error.
// Example (no file): "No definitions store at /srv/app/SQL.mdb: create one with
// sqlupgrade-cli init-store and capture a reference database into it, then upgrade."
std::string storeOpenRefusal(const StoreLocation& location, const db::Error& error);

// The line for an open store the run cannot use: not writable where the run writes (the
// file and its folder: the statement log), or holding no captured table. Nothing when the
// store will do. Reads the store with one query.
std::optional<std::string> storeRefusal(const StoreLocation& location, db::Connection& store);

// The line for a target without tbVersao.
// Example: "shop has no table tbVersao, so it is not an application database this tool
// can upgrade: check the database name (-d) and the server (-S)."
std::string noVersionTableRefusal(const std::string& database);

// Whether the error of the guard's query says that tbVersao is not there.
bool isMissingVersionTable(const db::Error& error);

}  // namespace upgrade
