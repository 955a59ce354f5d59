// The command line's console host and closing notes, without a server.
#include <gtest/gtest.h>

#include <sstream>

#include "shell/cli/closing_notes.h"
#include "shell/cli/console_host.h"

namespace cli {
namespace {

class ConsoleHostTest : public ::testing::Test {
protected:
    void info(const std::string& text) { host.messageBox(text, app::mb::kInformation, std::nullopt); }

    app::MainForm form;
    std::istringstream in;
    std::ostringstream err;
    ConsoleHost host{form, in, err, false, AnswerPolicy::Default};
};

TEST_F(ConsoleHostTest, ARepeatedMessageIsShownOnceWithItsCount) {
    for (int i = 0; i < 3; ++i) info("Invalid object name 'tbSQLUpdate'.");
    info("Other");
    info("Other");
    info("Last");
    host.finishOutput();
    EXPECT_EQ(err.str(),
              "SQL Database Upgrade: Invalid object name 'tbSQLUpdate'.\n"
              "SQL Database Upgrade: Invalid object name 'tbSQLUpdate'. (repeated 2 times)\n"
              "SQL Database Upgrade: Other\n"
              "SQL Database Upgrade: Other (repeated once)\n"
              "SQL Database Upgrade: Last\n");
}

TEST_F(ConsoleHostTest, TheCountOfAnUnfinishedRunOfRepeatsComesAtTheEnd) {
    for (int i = 0; i < 2100; ++i) info("x");
    EXPECT_EQ(err.str(), "SQL Database Upgrade: x\n");
    host.finishOutput();
    EXPECT_EQ(err.str(), "SQL Database Upgrade: x\nSQL Database Upgrade: x (repeated 2,099 times)\n");
}

TEST_F(ConsoleHostTest, ARepeatCountComesBeforeTheNextProgressTextAndQuestionsAreNeverFolded) {
    info("x");
    info("x");
    form.FXEvolucao.caption = "A carregar definições: Indexes ...";
    host.repaint();
    const int question = app::mb::kYesNo | app::mb::kQuestion;
    EXPECT_EQ(host.messageBox("Deseja continuar?", question, "Schemix"), app::mb::kAnswerYes);
    EXPECT_EQ(host.messageBox("Deseja continuar?", question, "Schemix"), app::mb::kAnswerYes);
    EXPECT_EQ(err.str(),
              "SQL Database Upgrade: x\n"
              "SQL Database Upgrade: x (repeated once)\n"
              "A carregar definições: Indexes ...\n"
              "Schemix: Deseja continuar?\n(answered yes)\n"
              "Schemix: Deseja continuar?\n(answered yes)\n");
}

// On a terminal a question is asked unless --answer gave a policy; then the policy answers.
TEST(ConsoleHostQuestions, AskOnATerminalUnlessAPolicyAnswers) {
    const int guardQuestion = app::mb::kYesNo | app::mb::kQuestion | app::mb::kDefaultButton2;
    app::MainForm form;
    std::istringstream typed("y\n");
    std::ostringstream asked;
    ConsoleHost asking(form, typed, asked, true, AnswerPolicy::Ask);
    EXPECT_EQ(asking.messageBox("Continuar?", guardQuestion, "T"), app::mb::kAnswerYes);
    EXPECT_EQ(asked.str(), "T: Continuar?\n[y/N] ");

    std::istringstream untouched("n\n");
    std::ostringstream answered;
    ConsoleHost policy(form, untouched, answered, true, AnswerPolicy::Yes);
    EXPECT_EQ(policy.messageBox("Continuar?", guardQuestion, "T"), app::mb::kAnswerYes);
    EXPECT_EQ(answered.str(), "T: Continuar?\n(answered yes)\n");

    std::istringstream none;
    std::ostringstream unattended;
    ConsoleHost noTerminal(form, none, unattended, false, AnswerPolicy::Ask);
    EXPECT_EQ(noTerminal.messageBox("Continuar?", guardQuestion, "T"), app::mb::kAnswerNo);
}

TEST(GroupedCount, PutsACommaBetweenThousands) {
    EXPECT_EQ(groupedCount(0), "0");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1000), "1,000");
    EXPECT_EQ(groupedCount(2099), "2,099");
    EXPECT_EQ(groupedCount(1234567), "1,234,567");
}

TEST(ShellWord, QuotesOnlyWhatAShellWouldSplitOrExpand) {
    EXPECT_EQ(shellWord("/srv/upgrade-2.1/home"), "/srv/upgrade-2.1/home");
    EXPECT_EQ(shellWord("/srv/My Home"), "'/srv/My Home'");
    EXPECT_EQ(shellWord("/srv/$HOME"), "'/srv/$HOME'");
    EXPECT_EQ(shellWord("it's"), "'it'\\''s'");
    EXPECT_EQ(shellWord(""), "''");
}

}  // namespace
}  // namespace cli
