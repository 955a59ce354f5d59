#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "registry/reg_file.h"
#include "registry/registry_locations.h"

namespace registry {

// The registry's predefined root keys, with the platform's handle values; None (0) for
// a root name that is not one of them.
enum class RootKey : std::uint32_t {
    None = 0,
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
    PerformanceData = 0x80000004,
    CurrentConfig = 0x80000005,
    DynData = 0x80000006,
};

// What a registry read answers: a text; null when the key or the value does not exist
// or cannot be read; or empty when nothing was read at all (a malformed key path, a root
// name that is not listed, an unexpected error).
class ReadResult {
public:
    enum class Kind { Empty, Null, Text };

    static ReadResult empty() { return ReadResult(Kind::Empty, {}); }
    static ReadResult null() { return ReadResult(Kind::Null, {}); }
    static ReadResult text(std::string value) { return ReadResult(Kind::Text, std::move(value)); }

    Kind kind() const { return m_kind; }
    bool isNull() const { return m_kind == Kind::Null; }
    bool isText() const { return m_kind == Kind::Text; }
    // The text; the empty text for empty and null.
    const std::string& value() const { return m_value; }

    friend bool operator==(const ReadResult&, const ReadResult&) = default;
    friend std::ostream& operator<<(std::ostream& out, const ReadResult& result);

private:
    ReadResult(Kind kind, std::string value) : m_kind(kind), m_value(std::move(value)) {}
    Kind m_kind;
    std::string m_value;
};

// Shows the one message a read can show: a malformed key path ("Formato Incorrecto:"),
// in an OK-only box with the application's default title. The front end decides how.
using FormatNotice = std::function<void(const std::string& text)>;

// Reads string values from the registry (the export files of RegistryLocations) with
// the shadow file's entries taking precedence and "SREF=" redirections followed. The
// export files are read when first needed and kept for the reader's lifetime; make a
// reader per pass (the start-up override makes one per load). Unexpected errors are
// reported to the error reporter (modRegistry, under the routine's name) and never
// shown; a failing reporter throws to the caller. Single-threaded.
class RegistryReader {
public:
    RegistryReader(RegistryLocations locations, FormatNotice formatNotice);

    // The entry point of the rest of the system. Unless the key path lies under
    // HKEY_CURRENT_USER\SOFTWARE (its first 26 characters, upper-cased) or `shadowOff` is
    // not 0, a non-empty shadow entry is the answer. Otherwise the registry is read and
    // each "SREF=<key path>" value sends the read on to that key for the same value name;
    // a redirection back to a key already visited is an unexpected error. Outside
    // HKEY_CURRENT_USER\SOFTWARE a null answer becomes `defaultValue`, and a default that
    // is not null is also written to the shadow file under the last key path read.
    ReadResult ObterValorString(const std::string& keyPath, const std::string& valueName,
                                const std::optional<std::string>& defaultValue, int shadowOff);

    // One value from the registry alone: empty for a malformed key path or a root name
    // that is not listed; null when the key or the value does not exist, or when the data
    // with its terminating NUL is longer than the 3500-character buffer; otherwise the
    // data with leading and trailing spaces removed and then its last character (the NUL)
    // dropped, so "  sa\0" -> "sa" and a zero-length value -> "".
    ReadResult ValorString(const std::string& keyPath, const std::string& valueName);

    // Splits a key path: returns its root key and leaves the sub-key path in `keyPath`
    // ("HKEY_LOCAL_MACHINE\SOFTWARE\A" -> LocalMachine, "SOFTWARE\A"; a root name alone
    // leaves ""). A path that does not begin with "HKEY_" or ends with "\" shows
    // "Formato Incorrecto:" + LF + LF + the path and gives None, the path unchanged.
    RootKey FormatarChave(std::string& keyPath);

    // The root key of a root name, matched exactly ("HKEY_LOCAL_MACHINE" ->
    // LocalMachine); None for any other text.
    RootKey ObterHandleChavePrincipal(const std::string& rootName);

    const RegistryLocations& locations() const { return m_locations; }

private:
    const RegFile* hive(RootKey root);

    RegistryLocations m_locations;
    FormatNotice m_formatNotice;
    std::optional<RegFile> m_machine;
    std::optional<RegFile> m_user;
};

}  // namespace registry
