#include "registry/file_bytes.h"

#include <fstream>
#include <iterator>

namespace registry {

std::optional<std::string> readFileBytes(const std::filesystem::path& path) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::nullopt;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return std::nullopt;
        return bytes;
    } catch (const std::ios_base::failure&) {
        // libstdc++ throws from a stream buffer whose read fails (a folder, EIO).
        return std::nullopt;
    }
}

}  // namespace registry
