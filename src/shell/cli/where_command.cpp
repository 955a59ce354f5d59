#include "shell/cli/where_command.h"

#include <algorithm>
#include <filesystem>

#include "shell/cli/command_line.h"
#include "store/definitions_store.h"

namespace cli {
namespace {

std::string fileLine(const std::filesystem::path& path, const std::string& whenMissing) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path.string();
    return path.string() + " (missing: " + whenMissing + ")";
}

std::string optionalFileLine(const std::optional<std::filesystem::path>& path,
                             const std::string& whenMissing) {
    return path ? fileLine(*path, whenMissing) : "none";
}

}  // namespace

std::vector<WhereLine> whereLines(const app::ProgramFolder& folder,
                                  const registry::RegistryLocations& registry) {
    std::error_code ec;
    const std::string folderLine =
        std::filesystem::is_directory(folder.path, ec)
            ? folder.path.string()
            : folder.path.string() + " (missing: sqlupgrade-cli init-store creates it, with the store)";
    return {
        {"Program folder", folderLine},
        {"Chosen by", app::describeChoice(folder.choice)},
        {"Store", fileLine(store::storePath(folder.path), "sqlupgrade-cli init-store creates it")},
        {"Defs.ini", fileLine(app::defsPath(folder.path), "the built-in settings apply")},
        {"HKEY_LOCAL_MACHINE", optionalFileLine(registry.machineFile, "no keys")},
        {"HKEY_CURRENT_USER", optionalFileLine(registry.userFile, "no keys")},
        {"Shadow file", optionalFileLine(registry.shadowFile(), "no entries")},
    };
}

int runWhere(const app::ProgramFolder& folder, std::ostream& out) {
    const std::vector<WhereLine> lines =
        whereLines(folder, registry::RegistryLocations::fromEnvironment());
    std::size_t width = 0;
    for (const WhereLine& line : lines) width = std::max(width, line.label.size());
    for (const WhereLine& line : lines)
        out << line.label << ':' << std::string(width - line.label.size() + 1, ' ') << line.value
            << '\n';
    return kExitCompleted;
}

}  // namespace cli
