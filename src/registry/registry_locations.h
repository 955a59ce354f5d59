#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace registry {

// The shell's identifier of the common application-data folder.
inline constexpr int kCommonAppDataFolder = 35;

// The path of a special folder: for kCommonAppDataFolder the environment variable
// SQLUPGRADE_COMMON_APPDATA when set and not empty, else "/var/lib", without leading and
// trailing spaces; the empty text for any other identifier.
std::string ObterPastaEspecial(int folderId);

// Where the registry and its shadow file live on this machine. The registry's
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER branches are each read from one registry
// export file; the other roots have no file.
struct RegistryLocations {
    std::optional<std::filesystem::path> machineFile;  // HKEY_LOCAL_MACHINE
    std::optional<std::filesystem::path> userFile;     // HKEY_CURRENT_USER
    std::filesystem::path commonAppData;               // empty: no shadow file

    // The locations the environment names:
    //   machine file: $SQLUPGRADE_REGISTRY_MACHINE, else /etc/sqlupgrade/registry.reg;
    //   user file: $SQLUPGRADE_REGISTRY_USER, else $XDG_CONFIG_HOME/sqlupgrade/registry.reg
    //     ($HOME/.config/... when XDG_CONFIG_HOME is unset or not absolute; none
    //     without HOME);
    //   common application data: ObterPastaEspecial(kCommonAppDataFolder).
    static RegistryLocations fromEnvironment();

    // <common application data>/Velto Software/RegShadow.db; null without a folder.
    std::optional<std::filesystem::path> shadowFile() const;
    // <common application data>/Velto Software/RegShadow.tmp, through which the shadow
    // file is rewritten; null without a folder.
    std::optional<std::filesystem::path> shadowTemporaryFile() const;
};

}  // namespace registry
