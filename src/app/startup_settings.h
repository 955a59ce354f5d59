#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/host.h"
#include "app/main_form.h"
#include "db/error.h"

namespace app {

// Replaces the four connection settings from the registry key named by line 1 of
// Defs.ini. Throws db::Error on failure; the window load shows it like its own errors.
using RegistryOverride = std::function<void(MainForm& form, const std::string& keySuffix)>;

// The classic runtime's numbers of the two errors a read of Defs.ini can meet.
inline constexpr long kFileNotFound = 53;
inline constexpr long kInputPastEndOfFile = 62;

// Defs.ini as read, line by line in UTF-8: each value is there when its line was read.
// Reading stops at the first error (the file missing, or a line that is not there);
// `error` then holds it and the values after it are absent.
struct StartupFile {
    std::optional<std::string> keySuffix;  // line 1: names the registry key of the override
    std::optional<std::string> server;     // line 2
    std::optional<std::string> database;   // line 3
    std::optional<std::string> login;      // line 4
    std::optional<db::Error> error;
};

// The path of Defs.ini in a program folder.
std::filesystem::path startupFilePath(const std::filesystem::path& programFolder);

// The four lines of Defs.ini's bytes, decoded as readStartupFile describes; `error` is
// 62 when the bytes have fewer than four lines. Example: "K\r\nsrv\nGest\xE3o\n" ->
// "K", "srv", "Gestão", then 62 "Input past end of file".
StartupFile parseStartupFile(std::string_view bytes);

// Reads Defs.ini from `programFolder`. A file written on Windows is Windows-1252: the
// file is taken as UTF-8 when all of it is valid UTF-8 (a byte-order mark dropped) and as
// Windows-1252 otherwise, so "Gest\xE3o" and "Gest\xC3\xA3o" both give "Gestão". Lines end
// at LF, a CR before it dropped; further lines are ignored. Errors carry the classic
// runtime's numbers and texts: 53 "File not found: PATH", 62 "Input past end of file".
StartupFile readStartupFile(const std::filesystem::path& programFolder);

// The window load: reads Defs.ini from `programFolder` (line 1 the registry key suffix,
// lines 2-4 into FXServer, FXDatabase, FXUsername), then runs `registryOverride` with
// the key suffix. The first error (a missing file, a line that is not there, a failing
// override) is shown once as an information box and ends the load: what was read so far
// stays, everything else keeps its design default.
void loadStartupSettings(MainForm& form, Host& host, const std::filesystem::path& programFolder,
                         const RegistryOverride& registryOverride = {});

}  // namespace app
