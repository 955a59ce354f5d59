#include "registry/shadow_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Closes a descriptor on every path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now, for the close's own error (a delayed write error shows there).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;  // a full disk or a file-size limit
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes `bytes` to `temporary` with the mode (and, where allowed, the owner and group)
// of `file`, flushes it to the disk and renames it over `file`, so that `file` is either
// the old one or the new one whole. The temporary file is removed on any failure.
bool replaceFile(const std::filesystem::path& file, const std::filesystem::path& temporary,
                 std::string_view bytes) {
    struct stat current {};
    if (::stat(file.c_str(), &current) != 0 || ::access(file.c_str(), W_OK) != 0) return false;
    // A symbolic link or a folder at the temporary file's name is not written through.
    FileDescriptor out(::open(temporary.c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                              current.st_mode & 0777));
    if (out.get() < 0) return false;
    // The shadow file is machine-wide: the new one keeps the old one's permissions and,
    // as far as this user may give them, its owner and group.
    if (::fchown(out.get(), current.st_uid, current.st_gid) != 0) {
        [[maybe_unused]] const int groupOnly =
            ::fchown(out.get(), static_cast<uid_t>(-1), current.st_gid);
    }
    const bool written = ::fchmod(out.get(), current.st_mode & 0777) == 0 &&
                         writeAll(out.get(), bytes) && ::fsync(out.get()) == 0;
    if (!out.close() || !written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder's own flush; a folder that cannot
    // be flushed leaves the new file in place all the same.
    FileDescriptor folder(::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return true;
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
        return replaceFile(*file, *temporary, *updated);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace registry
