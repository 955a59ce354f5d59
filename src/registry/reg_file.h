#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace registry {

// Registry value types, with the platform's numbers.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kString = 1;        // REG_SZ
inline constexpr std::uint32_t kExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t kBinary = 3;        // REG_BINARY
inline constexpr std::uint32_t kDword = 4;         // REG_DWORD
inline constexpr std::uint32_t kMultiString = 7;   // REG_MULTI_SZ
}  // namespace regtype

// One value as a string query of the registry delivers it, in UTF-8: a string kind with
// its terminating NUL (a multi-string with each of its NULs), a DWORD as its decimal
// text and a NUL, any other kind one character per byte of its data.
struct RegValue {
    std::uint32_t type = regtype::kString;
    std::string data;
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// The keys and values of one registry export file (.reg), as importing it into an empty
// registry would leave them. Key paths are full paths, root name included
// ("HKEY_LOCAL_MACHINE\SOFTWARE\Marvane\App"); key paths and value names match without
// regard to letter case, as in the registry.
class RegFile {
public:
    // The value `valueName` ("" is the key's default value, "@" in the file) of the key
    // `keyPath`; null when the key or the value is not there.
    const RegValue* find(std::string_view keyPath, std::string_view valueName) const;

    // Adds or replaces a value; creates the key.
    void set(std::string_view keyPath, std::string_view valueName, RegValue value);
    // Removes a value.
    void remove(std::string_view keyPath, std::string_view valueName);
    // Removes a key with every key below it.
    void removeKey(std::string_view keyPath);

    std::size_t keyCount() const { return m_keys.size(); }

private:
    // Folded key path -> folded value name -> value.
    std::map<std::string, std::map<std::string, RegValue>> m_keys;
};

// Reads the bytes of a registry export file. Two formats:
//   "Windows Registry Editor Version 5.00": UTF-16LE with its byte-order mark (UTF-8
//     with or without its mark is read too); hex(1)/hex(2)/hex(7) data is UTF-16LE;
//   "REGEDIT4": Windows-1252; hex(1)/hex(2)/hex(7) data is Windows-1252.
// A file without the UTF-16LE mark is read as UTF-8 when its bytes are valid UTF-8 (with
// or without the UTF-8 mark), otherwise as Windows-1252, whatever its header.
// Lines: "[KEY\PATH]" opens a key, "[-KEY\PATH]" deletes it with its sub-keys;
// "name"="text" (with \\ and \" escapes), @="text" the default value, "name"=dword:1f
// (read as "31"), "name"=hex:..,.. and "name"=hex(N):..,.. (a line ending in "\" goes on
// in the next one), "name"=- deletes the value; ";" begins a comment line. Any other
// line, or a value line before the first key, is skipped. Bytes without one of the two
// first lines give an empty file. Never throws for bad input.
// Example: "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"dtUser\"=\"sa\"\r\n"
//   -> find("hkey_local_machine\\software\\a", "DTUSER") = {1, "sa\0"}.
RegFile parseRegFile(std::string_view bytes);

}  // namespace registry
