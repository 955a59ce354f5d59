#pragma once

#include <filesystem>
#include <optional>

namespace app {

// The folder that holds Defs.ini and SQL.mdb: `homeOption` (--home DIR) when given,
// else the environment variable SQLUPGRADE_HOME when set and not empty, else the folder
// of the running executable.
std::filesystem::path programFolder(const std::optional<std::filesystem::path>& homeOption);

}  // namespace app
