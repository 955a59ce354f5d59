#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "db/connection.h"
#include "app/main_form.h"

namespace app {

// How an operation reaches its two databases. The front ends plug in the ODBC backend
// and the store in the program folder; tests plug in whatever they need. An opener
// throws db::Error when opening fails; it may also return a connection that is not in
// the open state, which the operations treat as their own kind of failure.
struct ConnectionOpeners {
    std::function<std::unique_ptr<db::Connection>(const db::ServerSettings&)> openServer;
    std::function<std::unique_ptr<db::Connection>()> openStore;
    // The file openStore opens and the command that creates an empty one there, for the
    // messages that tell a user what to do about it. An empty path: the store is no file.
    std::filesystem::path storePath{};
    std::string createStoreCommand{};
};

// The server settings as the four text boxes hold them at this moment, unchanged.
db::ServerSettings serverSettingsFrom(const MainForm& form);

}  // namespace app
