#include "temp_folder.h"

#include <unistd.h>

#include <string>

namespace testing_support {

TempFolder::TempFolder(const std::string& name)
    : m_path(std::filesystem::temp_directory_path() /
             ("sqlupgrade-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

}  // namespace testing_support
