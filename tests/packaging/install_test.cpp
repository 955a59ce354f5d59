// The Debian package as a user meets it: made by CPack from this build tree, installed
// with dpkg, checked, and purged again. It runs only as root on a machine with dpkg, and
// never over a sqlupgrade package that something else installed. A run holds a lock from
// the install to the purge, so two runs on one machine take turns.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "sandbox_server.h"
#include "temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testsupport::CommandResult;
using testsupport::TempDir;

constexpr const char* kPackage = "sqlupgrade";

CommandResult run(const std::vector<std::string>& argv,
                  const std::vector<std::string>& environment = {}) {
    return testsupport::runCommand(argv, "", environment, std::chrono::seconds(300));
}

// True when dpkg knows the package in any state but absent.
bool packagePresent() {
    const CommandResult status = run({"dpkg-query", "-W", "-f=${Status}", kPackage});
    return status.exitCode == 0 && status.out.find("not-installed") == std::string::npos;
}

// Builds the package, installs it for the tests and purges it after them. The marker
// file says the installed package is this test's own, so that a run killed half way is
// cleaned up by the next one instead of being taken for someone else's package.
class PackageInstallation : public ::testing::Environment {
public:
    static std::filesystem::path debFile;

    void SetUp() override {
        if (const std::string reason = reasonToSkip(); !reason.empty()) {
            // CTest reports the run as skipped when it sees this text (see CMakeLists.txt).
            std::cout << "install test skipped: " << reason << std::endl;
            GTEST_SKIP() << reason;
        }

        const CommandResult packed = run({SQLUPGRADE_CPACK_COMMAND, "--config",
                                          std::string(SQLUPGRADE_BINARY_DIR) + "/CPackConfig.cmake",
                                          "-B", m_output.path().string()});
        ASSERT_EQ(packed.exitCode, 0) << packed.out << packed.err;
        for (const auto& entry : std::filesystem::directory_iterator(m_output.path()))
            if (entry.path().extension() == ".deb") debFile = entry.path();
        ASSERT_FALSE(debFile.empty()) << packed.out;

        testsupport::writeFile(kMarker, debFile.string());
        const CommandResult installed = run({"dpkg", "-i", debFile.string()});
        ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
    }

    void TearDown() override {
        if (std::filesystem::exists(kMarker)) {
            const CommandResult purged = run({"dpkg", "--purge", kPackage});
            EXPECT_EQ(purged.exitCode, 0) << purged.out << purged.err;
            EXPECT_FALSE(packagePresent());
            std::filesystem::remove(kMarker);
        }
        if (m_lock >= 0) ::close(m_lock);
    }

private:
    // Why the package cannot be tried here, or "" when it can. Takes the lock first, so
    // that the answer holds until the purge.
    std::string reasonToSkip() {
        if (::geteuid() != 0) return "not running as root";
        if (run({"dpkg", "--version"}).exitCode != 0) return "dpkg is not available";
        m_lock = ::open("/tmp/sqlupgrade-install-test.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0) return "the lock file cannot be taken";
        if (packagePresent() && !std::filesystem::exists(kMarker))
            return "a sqlupgrade package is already installed, and it is not this test's";
        return "";
    }

    static inline const std::filesystem::path kMarker =
        std::filesystem::path(SQLUPGRADE_BINARY_DIR) / "packaging" / "install-test.marker";
    TempDir m_output{"package"};
    int m_lock = -1;
};

std::filesystem::path PackageInstallation::debFile;

TEST(InstalledPackage, HoldsItsFilesUnderUsr) {
    const CommandResult listed = run({"dpkg-query", "-L", kPackage});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::set<std::string> files;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        if (line == "/." || line.empty()) continue;
        EXPECT_THAT(line, StartsWith("/usr"));
        files.insert(line);
    }
    for (const char* file : {
             "/usr/bin/sqlupgrade",
             "/usr/bin/sqlupgrade-cli",
             "/usr/bin/sqlupgrade-sandbox",
             "/usr/share/man/man1/sqlupgrade.1.gz",
             "/usr/share/man/man1/sqlupgrade-cli.1.gz",
             "/usr/share/man/man1/sqlupgrade-sandbox.1.gz",
             "/usr/share/applications/sqlupgrade.desktop",
             "/usr/share/icons/hicolor/scalable/apps/sqlupgrade.svg",
             "/usr/share/icons/hicolor/48x48/apps/sqlupgrade.png",
             "/usr/share/bash-completion/completions/sqlupgrade-cli",
             "/usr/share/doc/sqlupgrade/README.md",
             "/usr/share/doc/sqlupgrade/copyright",
             "/usr/share/doc/sqlupgrade/changelog.gz",
         }) {
        EXPECT_EQ(files.count(file), 1u) << file;
        EXPECT_TRUE(std::filesystem::is_regular_file(file)) << file;
    }
}

TEST(InstalledPackage, DependsOnTheDriverAndTheLibrariesItLinks) {
    const CommandResult depends = run({"dpkg-query", "-W", "-f=${Depends}", kPackage});
    ASSERT_EQ(depends.exitCode, 0) << depends.err;
    for (const char* package : {"tdsodbc", "libodbc2", "libsqlite3-0", "libqt6widgets6"})
        EXPECT_THAT(depends.out, HasSubstr(package));
}

TEST(InstalledPackage, ProgramsHaveHelpAndManualPages) {
    for (const std::string program : {"sqlupgrade", "sqlupgrade-cli", "sqlupgrade-sandbox"}) {
        // No display is needed for the help (the window's would abort without one).
        const CommandResult help = run({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb",
                                        "/usr/bin/" + program, "--help"});
        EXPECT_EQ(help.exitCode, 0) << program << ": " << help.err;
        EXPECT_THAT(help.out, HasSubstr("Usage: /usr/bin/" + program)) << program;

        const CommandResult page = run({"man", "-P", "cat", program}, {"MANWIDTH=80"});
        EXPECT_EQ(page.exitCode, 0) << program << ": " << page.err;
        EXPECT_THAT(page.out, HasSubstr("NAME")) << program;
        EXPECT_THAT(page.out, HasSubstr("--help")) << program;
        EXPECT_THAT(page.out, HasSubstr("\nEXIT STATUS\n")) << program;
        const std::string seeAlso = page.out.substr(page.out.find("\nSEE ALSO\n"));
        EXPECT_THAT(seeAlso, Not(HasSubstr(" " + program + "(1)"))) << program;
    }
    const CommandResult version = run({"env", "-u", "DISPLAY", "QT_QPA_PLATFORM=xcb", "/usr/bin/sqlupgrade", "--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_THAT(version.out, HasSubstr("SQL Database Upgrade 0.1.0"));
    EXPECT_THAT(run({"man", "-P", "cat", "sqlupgrade-cli"}).out, HasSubstr("Options of upgrade:"));
}

TEST(InstalledPackage, WhereIsTheUserDataFolderUnlessACopyStandsBesideDefsIni) {
    TempDir user("installed");
    auto where = [&](const std::filesystem::path& program) {
        return run({"env", "-u", "XDG_DATA_HOME", "-u", "SQLUPGRADE_HOME",
                    "HOME=" + user.path().string(), program.string(), "where"});
    };
    const CommandResult installed = where("/usr/bin/sqlupgrade-cli");
    EXPECT_EQ(installed.exitCode, 0) << installed.err;
    EXPECT_THAT(
        installed.out,
        HasSubstr("Program folder:     " + (user / ".local/share/sqlupgrade").string() + "\n"));

    const std::filesystem::path portable = user / "portable";
    std::filesystem::create_directory(portable);
    std::filesystem::copy_file("/usr/bin/sqlupgrade-cli", portable / "sqlupgrade-cli");
    testsupport::writeFile(portable / "Defs.ini", "App\nsrv\ndb\nsa\n");
    EXPECT_THAT(where(portable / "sqlupgrade-cli").out,
                HasSubstr("Program folder:     " + portable.string() + "\n"));
}

TEST(InstalledPackage, DesktopEntryValidates) {
    const CommandResult checked =
        run({"desktop-file-validate", "/usr/share/applications/sqlupgrade.desktop"});
    EXPECT_EQ(checked.exitCode, 0);
    EXPECT_EQ(checked.out + checked.err, "");
}

TEST(InstalledPackage, LintianFindsNoErrors) {
    const CommandResult checked =
        run({"lintian", "--fail-on", "error", PackageInstallation::debFile.string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
    std::cout << "lintian:\n" << checked.out;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PackageInstallation);
    return RUN_ALL_TESTS();
}
