#pragma once

#include <functional>
#include <optional>
#include <string>

#include "registry/registry_reader.h"
#include "registry/serial_decoder.h"

namespace registry {

// The key the connection settings may come from: this + the key suffix (line 1 of
// Defs.ini).
inline constexpr const char* kOverrideKeyBase = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\";

// The four connection settings of the override, in the order they are read.
enum class ConnectionSetting { DataSource, InitialCatalog, User, Password };

// The registry value name of a setting: "dtDataSource", "dtInitialCatalog", "dtUser",
// "dtPassword".
const char* valueName(ConnectionSetting setting);

// What the override found; a setting is null when the registry left it alone.
struct ConnectionOverride {
    std::optional<std::string> dataSource;
    std::optional<std::string> initialCatalog;
    std::optional<std::string> user;
    std::optional<std::string> password;  // decoded
};

// Receives each setting the override replaces, as soon as it has been read.
using ConnectionSettingSink = std::function<void(ConnectionSetting setting, const std::string& text)>;

// The start-up override: reads dtDataSource, dtInitialCatalog, dtUser and dtPassword, in
// this order, below kOverrideKeyBase + `keySuffix` with ObterValorString (no default,
// shadow file consulted). A value that reads as a text is read again the same way and
// the second text goes to `sink`, the password decoded by `decoder` first (the empty text
// when it cannot be decoded). A value that reads as null or as nothing (a malformed key
// path, which has shown its "Formato Incorrecto:" box) leaves its setting alone. An
// exception from here on (a failing error reporter) reaches the caller, and the settings
// not yet read are left alone.
void readConnectionOverride(const std::string& keySuffix, RegistryReader& reader,
                            SerialDecoder& decoder, const ConnectionSettingSink& sink);

// The same, gathering the settings found.
ConnectionOverride readConnectionOverride(const std::string& keySuffix, RegistryReader& reader,
                                          SerialDecoder& decoder);

}  // namespace registry
