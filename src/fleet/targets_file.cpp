#include "fleet/targets_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <toml++/toml.h>

#include "db/error.h"
#include "db/odbc/connection_string.h"
#include "fleet/target_identity.h"

namespace fleet {
namespace {

constexpr std::string_view kConnectionKeys[] = {"server",   "database",      "user",
                                                "password", "password_file", "password_env"};
constexpr std::string_view kSecondsKeys[] = {"command_timeout", "login_timeout"};

// Where one table takes its password from; a level gives at most one.
struct PasswordSource {
    std::string key;  // password, password_file or password_env
    std::string value;
    int line = 0;
};

// What one table ([defaults] or a [[target]]) gives.
struct Level {
    std::optional<std::string> name, server, database, user;
    std::optional<PasswordSource> password;
    RunOptions options;
};

// "a, b and c" of the keys a table takes, for the unknown-key message.
std::string knownKeys(bool target) {
    std::vector<std::string> keys;
    if (target) keys.emplace_back("name");
    for (std::string_view key : kConnectionKeys) keys.emplace_back(key);
    for (const SwitchKey& key : switchKeys()) keys.emplace_back(key.key);
    for (std::string_view key : kSecondsKeys) keys.emplace_back(key);
    keys.emplace_back("answer");
    std::string text;
    for (std::size_t i = 0; i < keys.size(); ++i)
        text += (i == 0 ? "" : i + 1 == keys.size() ? " and " : ", ") + keys[i];
    return text;
}

// Who besides its owner may read the file, or empty when no one.
// Example: mode 0644 -> "its group and others (mode 644)".
std::string otherReaders(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {};
    const bool group = (info.st_mode & S_IRGRP) != 0;
    const bool others = (info.st_mode & S_IROTH) != 0;
    if (!group && !others) return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(info.st_mode & 0777));
    return std::string(group && others ? "its group and others" : group ? "its group" : "others") +
           " (mode " + mode + ")";
}

class Reader {
public:
    explicit Reader(std::filesystem::path file) : m_file(std::move(file)) {}

    TargetsFile read() {
        std::ifstream in(m_file, std::ios::binary);
        if (!in) fail(0, "cannot be read: " + std::string(std::strerror(errno)));
        std::ostringstream text;
        text << in.rdbuf();
        toml::table root;
        try {
            root = toml::parse(text.str(), m_file.string());
        } catch (const toml::parse_error& e) {
            fail(static_cast<int>(e.source().begin.line), std::string(e.description()));
        }
        Level defaults;
        const toml::array* targets = nullptr;
        for (auto&& [key, node] : root) {
            const int line = static_cast<int>(key.source().begin.line);
            if (key.str() == "defaults") {
                const toml::table* table = node.as_table();
                if (!table) fail(line, "defaults must be a table: [defaults]");
                defaults = readLevel(*table, false);
            } else if (key.str() == "target") {
                targets = node.as_array();
                if (!targets || !targets->is_array_of_tables())
                    fail(line, "each target must be a table of its own: [[target]]");
            } else {
                fail(line, "unknown key '" + std::string(key.str()) +
                               "' (the file takes a [defaults] table and [[target]] tables)");
            }
        }
        if (!targets || targets->empty()) fail(0, "names no database: add a [[target]] table for each");

        TargetsFile file{m_file, {}};
        for (const toml::node& node : *targets) {
            const toml::table& table = *node.as_table();
            file.targets.push_back(resolve(defaults, readLevel(table, true),
                                           static_cast<int>(table.source().begin.line)));
        }
        refuseRepeats(file.targets);
        return file;
    }

private:
    [[noreturn]] void fail(int line, const std::string& text) const {
        throw TargetsFileError(m_file.string() + (line > 0 ? ":" + std::to_string(line) : "") +
                               ": " + text);
    }

    std::string text(const toml::node& node, std::string_view key, int line) const {
        const auto value = node.value<std::string>();
        if (!node.is_string() || !value) fail(line, std::string(key) + " must be a text in quotes");
        return *value;
    }

    Level readLevel(const toml::table& table, bool target) {
        Level level;
        for (auto&& [keyNode, node] : table) {
            const std::string key(keyNode.str());
            const int line = static_cast<int>(keyNode.source().begin.line);
            if (target && key == "name") {
                level.name = text(node, key, line);
            } else if (key == "server") {
                level.server = text(node, key, line);
            } else if (key == "database") {
                level.database = text(node, key, line);
            } else if (key == "user") {
                level.user = text(node, key, line);
            } else if (key == "password" || key == "password_file" || key == "password_env") {
                if (level.password) {
                    fail(line, key + " and " + level.password->key + " (line " +
                                   std::to_string(level.password->line) +
                                   ") both give the password; keep one");
                }
                level.password = PasswordSource{key, text(node, key, line), line};
            } else if (std::any_of(switchKeys().begin(), switchKeys().end(),
                                   [&key](const SwitchKey& s) { return s.key == key; })) {
                if (!node.is_boolean()) fail(line, key + " must be true or false");
                const auto& known = *std::find_if(switchKeys().begin(), switchKeys().end(),
                                                  [&key](const SwitchKey& s) { return s.key == key; });
                level.options.setSwitch(known.key, node.as_boolean()->get());
            } else if (key == "command_timeout" || key == "login_timeout") {
                const toml::value<std::int64_t>* seconds = node.as_integer();
                if (!seconds || seconds->get() < 0 || seconds->get() > 86400)
                    fail(line, key + " must be a whole number of seconds from 0 (no limit) to 86400");
                auto& field = key == "command_timeout" ? level.options.commandTimeoutSeconds
                                                       : level.options.loginTimeoutSeconds;
                field = static_cast<int>(seconds->get());
            } else if (key == "answer") {
                const std::string answer = lowerCase(text(node, key, line));
                if (answer == "default") level.options.answer = Answer::Default;
                else if (answer == "yes") level.options.answer = Answer::Yes;
                else if (answer == "no") level.options.answer = Answer::No;
                else fail(line, "answer must be \"default\", \"yes\" or \"no\"");
            } else {
                fail(line, "unknown key '" + key + "' in " + (target ? "a [[target]]" : "[defaults]") +
                               " (it takes " + knownKeys(target) + ")");
            }
        }
        return level;
    }

    std::string password(const PasswordSource& source) const {
        if (source.key == "password") {
            const std::string readers = otherReaders(m_file);
            if (!readers.empty()) {
                fail(source.line, "a password in clear is taken only from a file that no one but its "
                                  "owner can read, and this one can be read by " + readers +
                                  ": chmod go= " + m_file.string() +
                                  ", or give password_file or password_env instead");
            }
            return source.value;
        }
        if (source.key == "password_env") {
            const char* value = std::getenv(source.value.c_str());
            if (!value) fail(source.line, "password_env names " + source.value + ", which is not set");
            return value;
        }
        const std::filesystem::path path = m_file.parent_path() / source.value;
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            fail(source.line, "the password file " + path.string() +
                                  " cannot be read: " + std::strerror(errno));
        }
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    Target resolve(const Level& defaults, const Level& own, int line) const {
        auto pick = [](const std::optional<std::string>& mine, const std::optional<std::string>& common) {
            return mine ? mine : common;
        };
        const auto server = pick(own.server, defaults.server);
        const auto database = pick(own.database, defaults.database);
        auto user = pick(own.user, defaults.user);
        if (!server || server->empty()) fail(line, "this target has no server: give server here or in [defaults]");
        if (!database || database->empty())
            fail(line, "this target has no database: give database here or in [defaults]");
        try {
            db::odbc::parseDataSource(*server);
        } catch (const db::Error&) {
            fail(line, "the server '" + *server +
                           "' has a bad port: after the comma comes a number from 1 to 65535");
        }
        if (!user) {
            if (const char* environment = std::getenv("SQLUPGRADE_USER")) user = environment;
        }
        if (!user) fail(line, "this target has no user: give user here, in [defaults] or in $SQLUPGRADE_USER");
        Target target;
        if (const auto& source = own.password ? own.password : defaults.password) {
            target.password = password(*source);
            if (source->key == "password_file")
                target.passwordFile = std::filesystem::absolute(m_file.parent_path() / source->value);
            if (source->key == "password_env") target.passwordEnv = source->value;
        } else if (const char* environment = std::getenv("SQLUPGRADE_PASSWORD")) {
            target.password = environment;
        } else {
            fail(line, "this target has no password: give password_file or password_env here or in "
                       "[defaults], or set $SQLUPGRADE_PASSWORD");
        }
        target.name = own.name ? *own.name : *server + "/" + *database;
        target.server = *server;
        target.database = *database;
        target.user = *user;
        target.options = overlay(defaults.options, own.options);
        target.line = line;
        return target;
    }

    // Two targets naming one database would run two upgrades of it at once; two with one
    // name would mix their results.
    void refuseRepeats(const std::vector<Target>& targets) const {
        std::map<std::string, const Target*> databases;
        std::map<std::string, const Target*> names;
        for (const Target& target : targets) {
            const std::string identity = databaseIdentity(target.server, target.database);
            if (auto [it, added] = databases.emplace(identity, &target); !added) {
                fail(target.line, "this target names the database " + target.database + " on " +
                                      target.server + ", as the target at line " +
                                      std::to_string(it->second->line) +
                                      " does; each database is upgraded once per run");
            }
            if (auto [it, added] = names.emplace(lowerCase(target.name), &target); !added) {
                fail(target.line, "the name '" + target.name + "' is taken by the target at line " +
                                      std::to_string(it->second->line) + "; give each target its own");
            }
        }
    }

    std::filesystem::path m_file;
};

}  // namespace

TargetsFile readTargetsFile(const std::filesystem::path& file) { return Reader(file).read(); }

}  // namespace fleet
