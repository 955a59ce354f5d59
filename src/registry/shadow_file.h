#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "registry/registry_locations.h"

namespace registry {

// The shadow file: machine-wide entries that take precedence over the registry. One
// entry a line, key path + ":" + value name + "=" + value, the key path as the reader
// was given it (root name included), in Windows-1252 with CR LF line ends (LF or CR
// alone also end a line when read). Key path and value name match without regard to
// letter case; an entry matches only when "=" follows them, so that "dtUser" never
// answers for a line of "dtUserName".

// The value of the first entry for `keyPath` and `valueName` in the bytes of a shadow
// file, as UTF-8; the empty text without such an entry or when the first line is empty.
// Example: ("HKEY_LOCAL_MACHINE\\A:dtUser=op\r\n", "hkey_local_machine\\a", "DTUSER")
//   -> "op".
std::string shadowValue(std::string_view fileBytes, std::string_view keyPath,
                        std::string_view valueName);

// The bytes of the shadow file with the entry set: the first line for the key path and
// value name is replaced by the new entry and later ones are dropped, or the entry is
// appended; other lines are kept byte for byte; every line ends with CR LF. Null when a
// line already equals the entry exactly, so there is nothing to write. A character
// Windows-1252 lacks is written as "?".
// Example: ("X:a=1\r\nx:A=2\r\nX:b=3", "X", "a", "9") -> "X:a=9\r\nX:b=3\r\n".
std::optional<std::string> shadowWithEntry(std::string_view fileBytes, std::string_view keyPath,
                                           std::string_view valueName, std::string_view value);

// The shadow file's value for a key path and value name, or the empty text when the
// file is missing, cannot be read or has none; never throws.
std::string ObterValorSombra(const RegistryLocations& locations, const std::string& keyPath,
                             const std::string& valueName);

// Writes the entry into the shadow file: nothing when the file already holds it
// exactly; otherwise the new file is written to RegShadow.tmp beside it with the shadow
// file's permissions, flushed to the disk and renamed over the shadow file, so that the
// shadow file is at every moment the old one or the new one, whole. True when the
// shadow file holds the entry afterwards; false on any error, the shadow file then as it
// was and the temporary file removed: a shadow file that does not exist (it is never
// created here) or that this user may not write, a folder that cannot be written, a full
// disk. Never throws.
bool DefinirValorSombra(const RegistryLocations& locations, const std::string& keyPath,
                        const std::string& valueName, const std::string& value);

}  // namespace registry
