#include "app/program_folder.h"

#include <cstdlib>

namespace app {

std::filesystem::path programFolder(const std::optional<std::filesystem::path>& homeOption) {
    if (homeOption && !homeOption->empty()) return *homeOption;
    if (const char* home = std::getenv("SQLUPGRADE_HOME"); home && *home) return home;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : exe.parent_path();
}

}  // namespace app
