// The targets file: what a good file gives each target, and every fault named by its
// line before anything starts.
#include "fleet/targets_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scoped_environment.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;

class TargetsFileTest : public ::testing::Test {
protected:
    fleet::TargetsFile read(const std::string& text, mode_t mode = 0600) {
        testsupport::writeFile(dir / "fleet.toml", text);
        ::chmod((dir / "fleet.toml").c_str(), mode);
        return fleet::readTargetsFile(dir / "fleet.toml");
    }

    // The message of the fault, or "no fault".
    std::string fault(const std::string& text, mode_t mode = 0600) {
        try {
            read(text, mode);
        } catch (const fleet::TargetsFileError& e) {
            return e.what();
        }
        return "no fault";
    }

    TempDir dir{"targets"};
    ScopedEnvironment environment{{{"SQLUPGRADE_USER", std::nullopt},
                                   {"SQLUPGRADE_PASSWORD", std::nullopt},
                                   {"FLEET_TEST_PASSWORD", std::string("from-env")}}};
};

TEST_F(TargetsFileTest, EachTargetTakesItsOwnValuesOverTheDefaults) {
    testsupport::writeFile(dir / "pw.txt", "from-file\r\nsecond line\n");
    const fleet::TargetsFile file = read(R"(
[defaults]
server = "db1,1433"
user = "upgrader"
password_env = "FLEET_TEST_PASSWORD"
backup = false
command_timeout = 60

[[target]]
database = "shop01"

[[target]]
name = "north"
server = "db2\\north"
database = "shop02"
password_file = "pw.txt"
backup = true
system_data = false
answer = "Yes"
)");
    ASSERT_EQ(file.targets.size(), 2u);
    const fleet::Target& first = file.targets[0];
    EXPECT_EQ(first.name, "db1,1433/shop01");
    EXPECT_EQ(first.server, "db1,1433");
    EXPECT_EQ(first.user, "upgrader");
    EXPECT_EQ(first.password, "from-env");
    EXPECT_EQ(first.passwordEnv, "FLEET_TEST_PASSWORD");
    EXPECT_EQ(first.options.switchValue("backup"), false);
    EXPECT_EQ(first.options.commandTimeoutSeconds, 60);
    EXPECT_EQ(first.line, 9);

    const fleet::Target& second = file.targets[1];
    EXPECT_EQ(second.name, "north");
    EXPECT_EQ(second.server, "db2\\north");
    EXPECT_EQ(second.password, "from-file");
    EXPECT_EQ(second.passwordFile, std::filesystem::absolute(dir / "pw.txt"));
    EXPECT_EQ(second.options.switchValue("backup"), true);
    EXPECT_EQ(second.options.switchValue("system_data"), false);
    EXPECT_EQ(second.options.commandTimeoutSeconds, 60);
    EXPECT_EQ(second.options.answer, fleet::Answer::Yes);

    app::MainForm form;
    fleet::applyRunOptions(second.options, form);
    EXPECT_TRUE(form.FXBackup.ticked());
    EXPECT_FALSE(form.FXDadosUpdate.ticked());
}

TEST_F(TargetsFileTest, UserAndPasswordFallBackToTheEnvironment) {
    ScopedEnvironment both{{{"SQLUPGRADE_USER", std::string("sa")}, {"SQLUPGRADE_PASSWORD", std::string("pw")}}};
    const fleet::TargetsFile file = read("[[target]]\nserver = \"h\"\ndatabase = \"d\"\n");
    EXPECT_EQ(file.targets.at(0).user, "sa");
    EXPECT_EQ(file.targets.at(0).password, "pw");
}

TEST_F(TargetsFileTest, APasswordInClearNeedsAFileOnlyItsOwnerCanRead) {
    const std::string text = "[[target]]\nserver = \"h\"\ndatabase = \"d\"\nuser = \"sa\"\npassword = \"s3cret\"\n";
    EXPECT_EQ(read(text, 0600).targets.at(0).password, "s3cret");
    EXPECT_THAT(fault(text, 0644), HasSubstr("fleet.toml:5: a password in clear is taken only from a file that "
                                             "no one but its owner can read, and this one can be read by its "
                                             "group and others (mode 644)"));
    EXPECT_THAT(fault(text, 0640), HasSubstr("can be read by its group (mode 640)"));
}

struct BadFile {
    const char* name;
    const char* text;
    const char* message;  // after the file's path
};

class BadTargetsFile : public TargetsFileTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadTargetsFile, IsRefusedNamingTheLine) {
    EXPECT_EQ(fault(GetParam().text), (dir / "fleet.toml").string() + GetParam().message);
}

const BadFile kBadFiles[] = {
    {"UnknownKey", "[[target]]\nserver = \"h\"\nbakup = false\n",
     ":3: unknown key 'bakup' in a [[target]] (it takes name, server, database, user, password, password_file, "
     "password_env, backup, silent, system_data, menus, searches, rebuild_indexes, rebuild_defaults, clean_menus, "
     "debug, command_timeout, login_timeout and answer)"},
    {"NameInDefaults", "[defaults]\nname = \"x\"\n", ":2: unknown key 'name' in [defaults] (it takes server, "
     "database, user, password, password_file, password_env, backup, silent, system_data, menus, searches, "
     "rebuild_indexes, rebuild_defaults, clean_menus, debug, command_timeout, login_timeout and answer)"},
    {"UnknownTable", "[default]\nserver = \"h\"\n",
     ":1: unknown key 'default' (the file takes a [defaults] table and [[target]] tables)"},
    {"TargetNotAnArray", "[target]\nserver = \"h\"\n", ":1: each target must be a table of its own: [[target]]"},
    {"SwitchNotBoolean", "[[target]]\nbackup = \"no\"\n", ":2: backup must be true or false"},
    {"NegativeTimeout", "[[target]]\nlogin_timeout = -1\n",
     ":2: login_timeout must be a whole number of seconds from 0 (no limit) to 86400"},
    {"BadAnswer", "[[target]]\nanswer = \"maybe\"\n", ":2: answer must be \"default\", \"yes\" or \"no\""},
    {"ServerNotText", "[[target]]\nserver = 5\n", ":2: server must be a text in quotes"},
    {"NotToml", "[[target]]\nserver = \"h\n", ":2: Error while parsing string: unescaped control characters other than TAB (U+0009) are explicitly prohibited"},
    {"NoTarget", "[defaults]\nserver = \"h\"\n", ": names no database: add a [[target]] table for each"},
    {"MissingServer", "[[target]]\ndatabase = \"d\"\n",
     ":1: this target has no server: give server here or in [defaults]"},
    {"MissingDatabase", "[[target]]\nserver = \"h\"\n",
     ":1: this target has no database: give database here or in [defaults]"},
    {"BadPort", "[defaults]\nserver = \"h,70000\"\n[[target]]\ndatabase = \"d\"\n",
     ":3: the server 'h,70000' has a bad port: after the comma comes a number from 1 to 65535"},
    {"MissingUser", "[[target]]\nserver = \"h\"\ndatabase = \"d\"\n",
     ":1: this target has no user: give user here, in [defaults] or in $SQLUPGRADE_USER"},
    {"MissingPassword", "[[target]]\nserver = \"h\"\ndatabase = \"d\"\nuser = \"sa\"\n",
     ":1: this target has no password: give password_file or password_env here or in [defaults], or set "
     "$SQLUPGRADE_PASSWORD"},
    {"TwoPasswordSources", "[[target]]\npassword_env = \"A\"\npassword_file = \"b\"\n",
     ":3: password_file and password_env (line 2) both give the password; keep one"},
    {"UnsetVariable", "[[target]]\nserver = \"h\"\ndatabase = \"d\"\nuser = \"sa\"\npassword_env = \"NOT_SET_X\"\n",
     ":5: password_env names NOT_SET_X, which is not set"},
    {"SameDatabaseTwice",
     "[defaults]\nuser = \"sa\"\npassword_env = \"FLEET_TEST_PASSWORD\"\n"
     "[[target]]\nserver = \"Db1\"\ndatabase = \"Shop\"\n[[target]]\nserver = \"db1,1433\"\ndatabase = \"shop\"\n",
     ":7: this target names the database shop on db1,1433, as the target at line 4 does; each database is "
     "upgraded once per run"},
    {"SameNameTwice",
     "[defaults]\nuser = \"sa\"\npassword_env = \"FLEET_TEST_PASSWORD\"\nserver = \"h\"\n"
     "[[target]]\nname = \"A\"\ndatabase = \"d1\"\n[[target]]\nname = \"a\"\ndatabase = \"d2\"\n",
     ":8: the name 'a' is taken by the target at line 5; give each target its own"},
};

INSTANTIATE_TEST_SUITE_P(Faults, BadTargetsFile, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TargetsFileTest, AMissingPasswordFileIsNamedFromTheFilesFolder) {
    EXPECT_EQ(fault("[[target]]\nserver = \"h\"\ndatabase = \"d\"\nuser = \"sa\"\npassword_file = \"nope\"\n"),
              (dir / "fleet.toml").string() + ":5: the password file " + (dir / "nope").string() +
                  " cannot be read: No such file or directory");
}

}  // namespace
