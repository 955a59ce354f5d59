#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace registry {

// The whole content of a file; null when it does not exist or cannot be read (a folder,
// no permission, a read error). Never throws for the file's sake.
std::optional<std::string> readFileBytes(const std::filesystem::path& path);

}  // namespace registry
