#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fleet/run_options.h"

namespace fleet {

// One database of a targets file, its values resolved: the target's own keys over the
// [defaults] table, the password read from where the keys say.
struct Target {
    std::string name;  // the label shown and used for its results; default server/database
    std::string server;
    std::string database;
    std::string user;
    std::string password;
    // Where the password came from, when a file or a variable gave it: the lowering
    // command of a raised guard names the same source. Example: "/etc/fleet/pw.txt".
    std::filesystem::path passwordFile;
    std::string passwordEnv;
    RunOptions options;  // the target's over the defaults'
    int line = 0;        // the line of its [[target]] header
};

struct TargetsFile {
    std::filesystem::path path;
    std::vector<Target> targets;  // in the file's order
};

// A targets file that cannot be used; what() is the whole message, naming the file and,
// where there is one, the line: "fleet.toml:12: unknown key 'bakup' in a [[target]] ...".
class TargetsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a targets file (TOML):
//
//   [defaults]                 # optional: values every target takes unless it gives its own
//   server = "db1,1433"
//   user = "upgrader"
//   password_env = "SHOP_PASSWORD"
//   backup = false
//
//   [[target]]                 # one per database
//   database = "shop01"
//   [[target]]
//   name = "north"
//   database = "shop02"
//   server = "db2\\north"
//   answer = "yes"
//
// Keys: server, database, user, password, password_file (relative to the file's folder),
// password_env (the name of an environment variable), name (a target's only), and the run
// options: the switches of switchKeys(), command_timeout, login_timeout (whole seconds, 0
// for no limit) and answer ("default", "yes", "no"). The user defaults to
// $SQLUPGRADE_USER, the password to $SQLUPGRADE_PASSWORD. Throws TargetsFileError, before
// anything is started, for: a file that cannot be read or is not TOML, an unknown key, a
// value of the wrong kind, more than one password source in one table, a password in clear
// in a file that others than its owner can read, a password file or variable that is not
// there, a missing server, database, user or password, a server with a bad port, no
// target at all, two targets naming one database (same host, port or instance and
// database, compared without regard to case) and two targets with one name.
TargetsFile readTargetsFile(const std::filesystem::path& file);

}  // namespace fleet
