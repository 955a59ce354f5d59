#include "registry/registry_reader.h"

#include <array>
#include <set>
#include <utility>

#include "db/error.h"
#include "registry/file_bytes.h"
#include "registry/shadow_file.h"
#include "registry/text_encoding.h"
#include "registry/unexpected_error.h"
#include "report/error_reporter.h"

namespace registry {
namespace {

// The value buffer of a read, in characters; longer data (its NUL included) does not fit
// and the read fails.
constexpr std::size_t kValueBufferCharacters = 3500;

constexpr std::string_view kUserSoftware = "HKEY_CURRENT_USER\\SOFTWARE";
constexpr std::string_view kRedirection = "SREF=";

constexpr std::array<std::pair<std::string_view, RootKey>, 7> kRootNames = {{
    {"HKEY_CLASSES_ROOT", RootKey::ClassesRoot},
    {"HKEY_CURRENT_USER", RootKey::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RootKey::LocalMachine},
    {"HKEY_USERS", RootKey::Users},
    {"HKEY_PERFORMANCE_DATA", RootKey::PerformanceData},
    {"HKEY_CURRENT_CONFIG", RootKey::CurrentConfig},
    {"HKEY_DYN_DATA", RootKey::DynData},
}};

// Runs a routine's body, reporting what it throws under modRegistry.
template <class Result, class Body>
Result reportingErrors(const char* procedure, Result fallback, Body&& body) {
    return registry::reportingErrors(report::reportUnexpectedError, report::kModRegistry,
                                     procedure, std::move(fallback), std::forward<Body>(body));
}

// True when the first 26 characters of the path, upper-cased, are
// "HKEY_CURRENT_USER\SOFTWARE": those keys are the user's own and never shadowed.
bool isUnderUserSoftware(std::string_view keyPath) {
    return startsWithIgnoringAsciiCase(keyPath, kUserSoftware);
}

// A file that is missing or cannot be read holds no keys.
RegFile loadRegFile(const std::optional<std::filesystem::path>& path) {
    const std::optional<std::string> bytes = path ? readFileBytes(*path) : std::nullopt;
    return bytes ? parseRegFile(*bytes) : RegFile();
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ReadResult& result) {
    switch (result.kind()) {
        case ReadResult::Kind::Empty:
            return out << "Empty";
        case ReadResult::Kind::Null:
            return out << "Null";
        case ReadResult::Kind::Text:
            break;
    }
    return out << '"' << result.value() << '"';
}

RegistryReader::RegistryReader(RegistryLocations locations, FormatNotice formatNotice)
    : m_locations(std::move(locations)), m_formatNotice(std::move(formatNotice)) {}

ReadResult RegistryReader::ObterValorString(const std::string& keyPath, const std::string& valueName,
                                            const std::optional<std::string>& defaultValue,
                                            int shadowOff) {
    return reportingErrors("ObterValorString", ReadResult::empty(), [&] {
        const bool userSoftware = isUnderUserSoftware(keyPath);
        std::string shadow;
        if (!userSoftware && shadowOff == 0) shadow = ObterValorSombra(m_locations, keyPath, valueName);
        if (!shadow.empty()) return ReadResult::text(std::move(shadow));

        std::string lastKeyPath = keyPath;
        std::set<std::string> visited{foldCase(keyPath)};
        ReadResult answer = ValorString(keyPath, valueName);
        while (answer.isText() && answer.value().starts_with(kRedirection)) {
            lastKeyPath = answer.value().substr(kRedirection.size());
            if (!visited.insert(foldCase(lastKeyPath)).second) {
                throw db::Error(5, "SREF= redirections loop back to " + lastKeyPath);
            }
            answer = ValorString(lastKeyPath, valueName);
        }
        if (!userSoftware && answer.isNull() && defaultValue) {
            answer = ReadResult::text(*defaultValue);
            DefinirValorSombra(m_locations, lastKeyPath, valueName, *defaultValue);
        }
        return answer;
    });
}

ReadResult RegistryReader::ValorString(const std::string& keyPath, const std::string& valueName) {
    return reportingErrors("ValorString", ReadResult::empty(), [&] {
        std::string subKey = keyPath;
        const RootKey root = FormatarChave(subKey);
        if (root == RootKey::None) return ReadResult::empty();
        const RegFile* file = hive(root);
        const RegValue* value = file ? file->find(keyPath, valueName) : nullptr;
        if (value == nullptr || characterCount(value->data) > kValueBufferCharacters) {
            return ReadResult::null();
        }
        const std::string_view data = trimSpaces(value->data);
        if (data.empty()) return ReadResult::text({});
        return ReadResult::text(std::string(withoutLastCharacter(data)));
    });
}

RootKey RegistryReader::FormatarChave(std::string& keyPath) {
    return reportingErrors("FormatarChave", RootKey::None, [&] {
        if (!keyPath.starts_with("HKEY_") || keyPath.ends_with('\\')) {
            if (m_formatNotice) m_formatNotice("Formato Incorrecto:\n\n" + keyPath);
            return RootKey::None;
        }
        const std::size_t slash = keyPath.find('\\');
        if (slash == std::string::npos) {
            const RootKey root = ObterHandleChavePrincipal(keyPath);
            keyPath.clear();
            return root;
        }
        const RootKey root = ObterHandleChavePrincipal(keyPath.substr(0, slash));
        keyPath.erase(0, slash + 1);
        return root;
    });
}

RootKey RegistryReader::ObterHandleChavePrincipal(const std::string& rootName) {
    for (const auto& [name, root] : kRootNames) {
        if (rootName == name) return root;
    }
    return RootKey::None;
}

const RegFile* RegistryReader::hive(RootKey root) {
    if (root == RootKey::LocalMachine) {
        if (!m_machine) m_machine = loadRegFile(m_locations.machineFile);
        return &*m_machine;
    }
    if (root == RootKey::CurrentUser) {
        if (!m_user) m_user = loadRegFile(m_locations.userFile);
        return &*m_user;
    }
    return nullptr;
}

}  // namespace registry
