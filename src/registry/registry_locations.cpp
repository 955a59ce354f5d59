#include "registry/registry_locations.h"

#include <cstdlib>

#include "registry/text_encoding.h"

namespace registry {
namespace {

constexpr const char* kShadowFolder = "Velto Software";

// The variable's value when it is set and not empty.
std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

}  // namespace

std::string ObterPastaEspecial(int folderId) {
    if (folderId != kCommonAppDataFolder) return {};
    return std::string(trimSpaces(environment("SQLUPGRADE_COMMON_APPDATA").value_or("/var/lib")));
}

RegistryLocations RegistryLocations::fromEnvironment() {
    RegistryLocations locations;
    locations.machineFile =
        environment("SQLUPGRADE_REGISTRY_MACHINE").value_or("/etc/sqlupgrade/registry.reg");
    if (const auto user = environment("SQLUPGRADE_REGISTRY_USER")) {
        locations.userFile = *user;
    } else {
        const auto xdg = environment("XDG_CONFIG_HOME");
        const auto home = environment("HOME");
        if (xdg && std::filesystem::path(*xdg).is_absolute()) {
            locations.userFile = std::filesystem::path(*xdg) / "sqlupgrade" / "registry.reg";
        } else if (home) {
            locations.userFile = std::filesystem::path(*home) / ".config" / "sqlupgrade" / "registry.reg";
        }
    }
    locations.commonAppData = ObterPastaEspecial(kCommonAppDataFolder);
    return locations;
}

std::optional<std::filesystem::path> RegistryLocations::shadowFile() const {
    if (commonAppData.empty()) return std::nullopt;
    return commonAppData / kShadowFolder / "RegShadow.db";
}

std::optional<std::filesystem::path> RegistryLocations::shadowTemporaryFile() const {
    if (commonAppData.empty()) return std::nullopt;
    return commonAppData / kShadowFolder / "RegShadow.tmp";
}

}  // namespace registry
