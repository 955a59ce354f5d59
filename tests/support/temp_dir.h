#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh, uniquely named folder under the system's temporary folder, removed with all
// its contents when the object goes away.
class TempDir {
public:
    // prefix names the folder, e.g. "sandbox" -> /tmp/sqlupgrade-sandbox-XXXXXX.
    explicit TempDir(const std::string& prefix = "test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Whole file as text; empty when it cannot be read.
std::string readFile(const std::filesystem::path& file);
// Writes text to a file, replacing it.
void writeFile(const std::filesystem::path& file, const std::string& text);

}  // namespace testsupport
