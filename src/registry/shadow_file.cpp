#include "registry/shadow_file.h"

#include <fstream>
#include <vector>

#include "registry/file_bytes.h"
#include "registry/text_encoding.h"

namespace registry {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::vector<std::string_view> lines(std::string_view bytes) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
        out.push_back(bytes.substr(at, end - at));
        at = end + (bytes.substr(end, 2) == kLineEnd ? 2 : 1);
    }
    return out;
}

// The Windows-1252 form of key path + ":" + value name.
std::string entryPrefix(std::string_view keyPath, std::string_view valueName) {
    std::string prefix = utf8ToWindows1252(keyPath);
    prefix += ':';
    prefix += utf8ToWindows1252(valueName);
    return prefix;
}

// True when `line` holds an entry for `prefix`: it begins with it (letter case ignored)
// and "=" follows.
bool isEntryFor(std::string_view line, std::string_view prefix) {
    if (line.size() <= prefix.size() || line[prefix.size()] != '=') return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (foldedWindows1252(static_cast<unsigned char>(line[i])) !=
            foldedWindows1252(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

bool writeAll(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out.good();
}

}  // namespace

std::string shadowValue(std::string_view fileBytes, std::string_view keyPath,
                        std::string_view valueName) {
    const std::vector<std::string_view> all = lines(fileBytes);
    if (all.empty() || all.front().empty()) return {};
    const std::string prefix = entryPrefix(keyPath, valueName);
    for (std::string_view line : all) {
        if (isEntryFor(line, prefix)) return windows1252ToUtf8(line.substr(prefix.size() + 1));
    }
    return {};
}

std::optional<std::string> shadowWithEntry(std::string_view fileBytes, std::string_view keyPath,
                                           std::string_view valueName, std::string_view value) {
    const std::string prefix = entryPrefix(keyPath, valueName);
    const std::string entry = prefix + '=' + utf8ToWindows1252(value);
    const std::vector<std::string_view> all = lines(fileBytes);
    for (std::string_view line : all) {
        if (line == entry) return std::nullopt;
    }
    std::string out;
    out.reserve(fileBytes.size() + entry.size() + kLineEnd.size());
    bool replaced = false;
    for (std::string_view line : all) {
        if (isEntryFor(line, prefix)) {
            if (replaced) continue;
            replaced = true;
            line = entry;
        }
        out += line;
        out += kLineEnd;
    }
    if (!replaced) {
        out += entry;
        out += kLineEnd;
    }
    return out;
}

std::string ObterValorSombra(const RegistryLocations& locations, const std::string& keyPath,
                             const std::string& valueName) {
    try {
        const auto file = locations.shadowFile();
        if (!file) return {};
        const std::optional<std::string> bytes = readFileBytes(*file);
        return bytes ? shadowValue(*bytes, keyPath, valueName) : std::string();
    } catch (const std::exception&) {
        return {};
    }
}

bool DefinirValorSombra(const RegistryLocations& locations, const std::string& keyPath,
                        const std::string& valueName, const std::string& value) {
    try {
        const auto file = locations.shadowFile();
        const auto temporary = locations.shadowTemporaryFile();
        if (!file || !temporary) return false;
        const std::optional<std::string> bytes = readFileBytes(*file);
        if (!bytes) return false;
        const std::optional<std::string> updated = shadowWithEntry(*bytes, keyPath, valueName, value);
        if (!updated) return true;
        std::error_code ignored;
        if (!writeAll(*temporary, *updated) || !writeAll(*file, *updated)) {
            std::filesystem::remove(*temporary, ignored);
            return false;
        }
        std::error_code ec;
        return std::filesystem::remove(*temporary, ec) && !ec;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace registry
