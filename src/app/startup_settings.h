#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "app/host.h"
#include "app/main_form.h"

namespace app {

// Replaces the four connection settings from the registry key named by line 1 of
// Defs.ini. Throws db::Error on failure; the window load shows it like its own errors.
using RegistryOverride = std::function<void(MainForm& form, const std::string& keySuffix)>;

// The window load: reads Defs.ini from `programFolder` (line 1 the registry key suffix,
// lines 2-4 into FXServer, FXDatabase, FXUsername; further lines ignored; a line ending
// in CR LF counts without its CR), then runs `registryOverride` with the key suffix.
// The first error (a missing file, a line that is not there, a failing override) is
// shown once as an information box and ends the load: what was read so far stays,
// everything else keeps its design default.
void loadStartupSettings(MainForm& form, Host& host, const std::filesystem::path& programFolder,
                         const RegistryOverride& registryOverride = {});

}  // namespace app
