// Defs.ini's reader: the four lines, taken as UTF-8 when the whole file is and as
// Windows-1252 otherwise. Besides crashes it checks that every value is valid UTF-8 and
// one whole line of the decoded text (no LF), that the lines are read
// in order up to the first one missing, and that a file of plain ASCII reads unchanged.

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/startup_settings.h"
#include "db/text_encoding.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const app::StartupFile file = app::parseStartupFile(bytes);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string_view rest = bytes;
    bool missing = false;
    for (const std::optional<std::string>* value :
         {&file.keySuffix, &file.server, &file.database, &file.login}) {
        if (!*value) {
            missing = true;
            continue;
        }
        FUZZ_CHECK(!missing, "a line read after a missing one");
        FUZZ_CHECK(db::isValidUtf8(**value), **value);
        FUZZ_CHECK((*value)->find('\n') == std::string::npos, **value);
        if (ascii) {
            std::string_view line = rest.substr(0, rest.find('\n'));
            rest.remove_prefix(std::min(rest.size(), line.size() + 1));
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            FUZZ_CHECK(**value == line, **value);
        }
    }
    FUZZ_CHECK(missing == file.error.has_value(), "an error without a missing line");
    return 0;
}
