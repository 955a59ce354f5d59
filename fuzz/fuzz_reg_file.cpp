// The registry's readers: .reg export files, the shadow file and the text conversions
// between Windows' encodings and UTF-8. The first byte chooses the reader (0 .reg file,
// 1 shadow file, 2 text conversions, modulo 3); besides
// crashes it checks that
// - a shadow file with an entry written reads that entry back (as Windows-1252 keeps
//   it), and writing the same entry again changes nothing;
// - Windows-1252 bytes survive the trip to UTF-8 and back, and every conversion gives
//   valid UTF-8;
// - case folding is idempotent and agrees with equalsIgnoringCase.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "db/text_encoding.h"
#include "fuzz_check.h"
#include "registry/reg_file.h"
#include "registry/shadow_file.h"
#include "registry/text_encoding.h"

namespace {

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The values the start-up reads, under the key the seeds use.
void checkRegFile(std::string_view bytes) {
    const registry::RegFile file = registry::parseRegFile(bytes);
    for (const char* name : {"dtDataSource", "dtInitialCatalog", "dtUser", "dtPassword", ""}) {
        if (const registry::RegValue* value = file.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App", name)) {
            FUZZ_CHECK(db::isValidUtf8(value->data), value->data);
        }
    }
}

void checkShadowFile(FuzzedDataProvider& in) {
    const std::string keyPath = in.ConsumeRandomLengthString(64);
    const std::string valueName = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(64);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const std::string before = registry::shadowValue(bytes, keyPath, valueName);
    FUZZ_CHECK(db::isValidUtf8(before), before);
    const std::optional<std::string> written =
        registry::shadowWithEntry(bytes, keyPath, valueName, value);
    if (!written || hasLineBreak(keyPath) || hasLineBreak(valueName) || hasLineBreak(value)) return;
    FUZZ_CHECK(!registry::shadowWithEntry(*written, keyPath, valueName, value), *written);
    if (written->compare(0, 2, "\r\n") == 0) return;  // a first line that is empty: no entries
    const std::string expected = registry::windows1252ToUtf8(registry::utf8ToWindows1252(value));
    FUZZ_CHECK(registry::shadowValue(*written, keyPath, valueName) == expected, *written);
}

void checkTextEncoding(const std::string& bytes) {
    const std::string fromAnsi = registry::windows1252ToUtf8(bytes);
    FUZZ_CHECK(db::isValidUtf8(fromAnsi), fromAnsi);
    FUZZ_CHECK(registry::utf8ToWindows1252(fromAnsi) == bytes, fromAnsi);
    FUZZ_CHECK(db::isValidUtf8(registry::utf16leToUtf8(bytes)), bytes);
    FUZZ_CHECK(db::isValidUtf8(db::utf8OrWindows1252(bytes)), bytes);

    const std::string folded = registry::foldCase(bytes);
    FUZZ_CHECK(db::isValidUtf8(folded), folded);
    FUZZ_CHECK(registry::foldCase(folded) == folded, folded);
    if (db::isValidUtf8(bytes)) {
        FUZZ_CHECK(registry::equalsIgnoringCase(bytes, folded), folded);
        FUZZ_CHECK(registry::characterCount(folded) == registry::characterCount(bytes), folded);
    }
    const std::string_view shorter = registry::withoutLastCharacter(bytes);
    FUZZ_CHECK(shorter.size() < bytes.size() || bytes.empty(), bytes);
    registry::trimSpaces(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the reader; the rest is its input.
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            checkRegFile(rest);
            break;
        case 1: {
            FuzzedDataProvider in(data + 1, size - 1);
            checkShadowFile(in);
            break;
        }
        default:
            checkTextEncoding(rest);
            break;
    }
    return 0;
}
