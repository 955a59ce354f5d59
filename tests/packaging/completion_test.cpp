// The bash completion made from sqlupgrade-cli's help: what a press of Tab offers after
// what has been typed.
#include <gtest/gtest.h>

#include "sandbox_server.h"
#include "temp_dir.h"

namespace {

struct CompletionCase {
    const char* name;
    const char* typed;     // the words before the cursor; the last one is being completed
    const char* expected;  // the offers, one per line, as bash sorts them
};

const CompletionCase kCompletionCases[] = {
    {"Commands", "sqlupgrade-cli ",
     "--help\n--help-all\n--home\n--version\n-h\ncapture\nguard\ninit-store\nupgrade\nwhere\n"},
    {"GuardCommands", "sqlupgrade-cli guard st", "status\n"},
    {"GuardOptions", "sqlupgrade-cli guard clear --ans", "--answer\n"},
    {"TargetsFile", "sqlupgrade-cli upgrade --tar", "--targets\n"},
    {"CommandPrefix", "sqlupgrade-cli i", "init-store\n"},
    {"CommandAfterHome", "sqlupgrade-cli --home /tmp cap", "capture\n"},
    {"UpgradeOption", "sqlupgrade-cli upgrade --no-b", "--no-backup\n"},
    {"CaptureOptions", "sqlupgrade-cli --home /tmp capture --pass",
     "--password\n--password-file\n"},
    {"CaptureHasNoUpgradeOptions", "sqlupgrade-cli capture --no-", ""},
    {"AnswerValues", "sqlupgrade-cli upgrade --answer ", "default\nno\nyes\n"},
    {"ServerIsFreeText", "sqlupgrade-cli upgrade -S ", ""},
    {"HomeTakesFolders", "sqlupgrade-cli --home @/", "@/folder\n"},
    {"PasswordFileTakesFiles", "sqlupgrade-cli upgrade --password-file @/fo", "@/folder\n"},
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class Completion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, OffersWhatTheProgramAccepts) {
    testsupport::TempDir scratch("completion");
    std::filesystem::create_directory(scratch / "folder");
    testsupport::writeFile(scratch / "file", "");
    // "@" in a case stands for the scratch folder.
    auto expand = [&](std::string text) {
        for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at))
            text.replace(at, 1, scratch.path().string());
        return text;
    };
    const std::string script = std::string("source ") + SQLUPGRADE_COMPLETION_FILE +
                               "\n"
                               "read -r -a COMP_WORDS <<< \"$1\"\n"
                               "[[ $1 == *' ' ]] && COMP_WORDS+=('')\n"
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                               "_sqlupgrade_cli\n"
                               "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | sed '/^$/d'\n";
    const testsupport::CommandResult result =
        testsupport::runCommand({"bash", "-c", script, "bash", expand(GetParam().typed)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, expand(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, Completion, ::testing::ValuesIn(kCompletionCases),
                         [](const ::testing::TestParamInfo<CompletionCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
