#include "registry/shadow_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "temp_dir.h"

namespace registry {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App";

struct LookupCase {
    const char* name;
    std::string file;
    std::string valueName;
    std::string expected;
};

class ShadowLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ShadowLookup, FindsTheFirstEntryForKeyAndName) {
    EXPECT_EQ(shadowValue(GetParam().file, kKey, GetParam().valueName), GetParam().expected);
}

const LookupCase kLookups[] = {
    {"Exact", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op\r\n", "dtUser", "op"},
    {"CaseIgnored", "hkey_local_machine\\software\\marvane\\APP:DTUSER=op\r\n", "dtuser", "op"},
    {"FirstOfTwo", "X:a=1\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=a=b\r\n"
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=second\r\n", "dtUser", "a=b"},
    {"LfLineEnds", "X:a=1\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op", "dtUser", "op"},
    {"LongerNameIsAnotherValue", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUserName=bob\r\n",
     "dtUser", ""},
    {"NoEqualsSign", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser\r\n", "dtUser", ""},
    {"EmptyValue", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=\r\n", "dtUser", ""},
    {"EmptyFirstLine", "\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:dtUser=op\r\n", "dtUser", ""},
    {"EmptyFile", "", "dtUser", ""},
    {"Windows1252", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Marvane\\App:Descri\xC7\xC3O=Ol\xE1\r\n",
     "descrição", "Olá"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ShadowLookup, ::testing::ValuesIn(kLookups),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShadowRewrite, ReplacesTheFirstEntryDropsLaterOnesAndKeepsOtherLines) {
    EXPECT_EQ(shadowWithEntry("X:a=1\r\nOther\x81\xE1\r\nx:A=2\nX:ab=3\rX:b=4", "X", "a", "ção"),
              "X:a=\xE7\xE3o\r\nOther\x81\xE1\r\nX:ab=3\r\nX:b=4\r\n");
    EXPECT_EQ(shadowWithEntry("X:b=4\r\n", "X", "a", "✓"), "X:b=4\r\nX:a=?\r\n");
    EXPECT_EQ(shadowWithEntry("", "X", "a", ""), "X:a=\r\n");
    EXPECT_EQ(shadowWithEntry("X:b=4\r\nX:a=1\r\n", "X", "a", "1"), std::nullopt);
    EXPECT_EQ(shadowWithEntry("x:A=1\r\n", "X", "a", "1"), "X:a=1\r\n");
}

class ShadowFile : public ::testing::Test {
protected:
    ShadowFile() { std::filesystem::create_directories(folder()); }
    std::filesystem::path folder() const { return dir / "Velto Software"; }
    RegistryLocations locations() const { return {std::nullopt, std::nullopt, dir.path()}; }

    testsupport::TempDir dir{"shadow"};
};

// The new file replaces the old one with the old one's permissions; a temporary file
// left behind by an earlier run is written over.
TEST_F(ShadowFile, IsRewrittenThroughTheTemporaryFile) {
    testsupport::writeFile(folder() / "RegShadow.db", "X:b=4\r\nx:A=1\r\n");
    testsupport::writeFile(folder() / "RegShadow.tmp", "left behind");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::group_write | fs::perms::others_read;
    fs::permissions(folder() / "RegShadow.db", mode);
    EXPECT_TRUE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), "X:b=4\r\nX:a=2\r\n");
    EXPECT_EQ(fs::status(folder() / "RegShadow.db").permissions(), mode);
    EXPECT_FALSE(fs::exists(folder() / "RegShadow.tmp"));
    EXPECT_EQ(ObterValorSombra(locations(), "x", "A"), "2");
}

// A file-size limit makes writes fail as on a full disk (SIGXFSZ ignored, as the programs
// do): while it stands, the new shadow file cannot be written whole.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int);
};

// Runs `attempt` as a user that folder permissions bind: this user, or nobody when the
// tests run as root (who may write into any folder). 1 when it answered true, 0 when
// false, 2 when the user could not be changed.
int asUnprivilegedUser(const std::function<bool()>& attempt) {
    if (::geteuid() != 0) return attempt() ? 1 : 0;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(attempt() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

// A full disk and a folder that cannot be written: the entry is not written, the shadow
// file keeps every byte it had and no temporary file stays behind.
TEST_F(ShadowFile, AFailedRewriteLeavesTheOldFileWhole) {
    std::string entries;
    for (int n = 0; entries.size() < 4000; ++n)
        entries += "HKEY_LOCAL_MACHINE\\A:v" + std::to_string(n) + "=1\r\n";
    testsupport::writeFile(folder() / "RegShadow.db", entries);
    {
        const FileSizeLimit fullDisk(1024);
        EXPECT_FALSE(DefinirValorSombra(locations(), "HKEY_LOCAL_MACHINE\\A", "v0", "2"));
    }
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), entries);
    EXPECT_FALSE(fs::exists(folder() / "RegShadow.tmp"));

    // The folder read-only, the file itself writable by anyone.
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(
        folder() / "RegShadow.db",
        fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    fs::permissions(folder(), fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(asUnprivilegedUser([&] {
                  return DefinirValorSombra(locations(), "HKEY_LOCAL_MACHINE\\A", "v0", "2");
              }),
              0);
    fs::permissions(folder(), fs::perms::owner_all);
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), entries);
    EXPECT_FALSE(fs::exists(folder() / "RegShadow.tmp"));
}

TEST_F(ShadowFile, FailuresAnswerFalseAndLeaveTheFileAlone) {
    EXPECT_FALSE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_FALSE(std::filesystem::exists(folder() / "RegShadow.db"));
    EXPECT_EQ(ObterValorSombra(locations(), "X", "a"), "");

    // The temporary file cannot be written (a folder stands in its place).
    testsupport::writeFile(folder() / "RegShadow.db", "X:a=1\r\n");
    std::filesystem::create_directory(folder() / "RegShadow.tmp");
    EXPECT_FALSE(DefinirValorSombra(locations(), "X", "a", "2"));
    EXPECT_EQ(testsupport::readFile(folder() / "RegShadow.db"), "X:a=1\r\n");
    // An entry already there needs no writing.
    EXPECT_TRUE(DefinirValorSombra(locations(), "X", "a", "1"));

    EXPECT_FALSE(DefinirValorSombra(RegistryLocations{}, "X", "a", "1"));
}

}  // namespace
}  // namespace registry
