#include "app/startup_settings.h"

#include <fstream>
#include <sstream>

#include "db/error.h"

namespace app {
namespace {

// The classic runtime's numbers and texts for the two file errors a load can meet.
db::Error fileNotFound(const std::filesystem::path& path) {
    return db::Error(53, "File not found: " + path.string());
}

db::Error inputPastEndOfFile() { return db::Error(62, "Input past end of file"); }

// Reads text lines one at a time; throws when there is no further line.
class LineReader {
public:
    explicit LineReader(std::istream& in) : m_in(in) {}

    std::string next() {
        std::string line;
        if (!std::getline(m_in, line)) throw inputPastEndOfFile();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

private:
    std::istream& m_in;
};

}  // namespace

void loadStartupSettings(MainForm& form, Host& host, const std::filesystem::path& programFolder,
                         const RegistryOverride& registryOverride) {
    try {
        const std::filesystem::path path = programFolder / "Defs.ini";
        std::ifstream file(path, std::ios::binary);
        if (!file) throw fileNotFound(path);
        LineReader lines(file);
        const std::string keySuffix = lines.next();
        form.FXServer.text = lines.next();
        form.FXDatabase.text = lines.next();
        form.FXUsername.text = lines.next();
        file.close();
        if (registryOverride) registryOverride(form, keySuffix);
    } catch (const db::Error& e) {
        host.messageBox(e.description(), mb::kInformation, std::nullopt);
    } catch (const std::exception& e) {
        host.messageBox(e.what(), mb::kInformation, std::nullopt);
    }
}

}  // namespace app
