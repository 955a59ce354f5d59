#include "app/startup_settings.h"

#include <fstream>
#include <iterator>
#include <string_view>

#include "db/text_encoding.h"

namespace app {
namespace {

// Hands out the lines of a text one at a time; nullopt when there is no further line.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_rest(text) {}

    std::optional<std::string> next() {
        if (m_rest.empty()) return std::nullopt;
        const std::size_t end = m_rest.find('\n');
        std::string_view line = m_rest.substr(0, end);
        m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return std::string(line);
    }

private:
    std::string_view m_rest;
};

}  // namespace

std::filesystem::path startupFilePath(const std::filesystem::path& programFolder) {
    return programFolder / "Defs.ini";
}

StartupFile readStartupFile(const std::filesystem::path& programFolder) {
    StartupFile result;
    const std::filesystem::path path = startupFilePath(programFolder);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = db::Error(kFileNotFound, "File not found: " + path.string());
        return result;
    }
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return parseStartupFile(bytes);
}

StartupFile parseStartupFile(std::string_view bytes) {
    StartupFile result;
    const std::string text = db::utf8OrWindows1252(bytes);
    LineReader lines(text);
    for (std::optional<std::string>* value :
         {&result.keySuffix, &result.server, &result.database, &result.login}) {
        *value = lines.next();
        if (!*value) {
            result.error = db::Error(kInputPastEndOfFile, "Input past end of file");
            break;
        }
    }
    return result;
}

void loadStartupSettings(MainForm& form, Host& host, const std::filesystem::path& programFolder,
                         const RegistryOverride& registryOverride) {
    try {
        const StartupFile settings = readStartupFile(programFolder);
        if (settings.server) form.FXServer.text = *settings.server;
        if (settings.database) form.FXDatabase.text = *settings.database;
        if (settings.login) form.FXUsername.text = *settings.login;
        if (settings.error) throw *settings.error;
        if (registryOverride) registryOverride(form, *settings.keySuffix);
    } catch (const db::Error& e) {
        host.messageBox(e.description(), mb::kInformation, std::nullopt);
    } catch (const std::exception& e) {
        host.messageBox(e.what(), mb::kInformation, std::nullopt);
    }
}

}  // namespace app
