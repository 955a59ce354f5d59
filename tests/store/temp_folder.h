#pragma once

#include <filesystem>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes. `name` keeps the folders of different tests apart.
class TempFolder {
public:
    explicit TempFolder(const std::string& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& child) const { return m_path / child; }

private:
    std::filesystem::path m_path;
};

}  // namespace testing_support
