// The capture against the fixture reference database in the sandbox.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "capture/capture_run.h"
#include "db/error.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "app/main_form.h"

namespace {

using ::testing::Each;
using ::testing::Not;
using ::testing::StartsWith;
using app::OperationOutcome;

std::vector<std::string> goldenLines(const std::string& name) {
    std::ifstream in(std::string(SQLUPGRADE_SOURCE_DIR) + "/tests/fixtures/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

class CaptureEndToEnd : public ::testing::Test {
protected:
    OperationOutcome capture(const std::string& database = "reference") {
        app::MainForm form;
        env.pointAt(form, database);
        return capture::runCapture(form, host, env.openers());
    }

    std::vector<std::string> tbObjects() {
        auto store = env.openStore();
        return e2e::storeRows(*store, "tbObjects", "object_id", "object_id");
    }

    e2e::Environment env{false};
    testing_support::FakeHost host;
};

TEST_F(CaptureEndToEnd, TheReferenceColumnsMatchTheGoldenRows) {
    ASSERT_EQ(capture(), OperationOutcome::Completed);
    ASSERT_EQ(host.messages.size(), 1u) << host.messages.front().text;
    EXPECT_EQ(host.messages[0].text, "As definições da base de dados foram guardadas com sucesso!");
    EXPECT_EQ(host.clipboard, "");
    // tabela|campo|tipo|tamanho|xprec|xscale|isnullable|isidentity|cdefault
    EXPECT_EQ(tbObjects(), goldenLines("reference_tbObjects.golden"));
    EXPECT_THAT(tbObjects(), Each(Not(StartsWith("tbLogs_Aplicacao|"))));  // excluded by its rule
}

TEST_F(CaptureEndToEnd, ASecondCaptureGivesTheSameRowsWithLargerIdentifiers) {
    ASSERT_EQ(capture(), OperationOutcome::Completed);
    auto store = env.openStore();
    const auto first = e2e::storeRows(*store, "tbObjects", "object_id");
    store->close();
    ASSERT_EQ(capture(), OperationOutcome::Completed);
    store = env.openStore();
    const auto second = e2e::storeRows(*store, "tbObjects", "object_id");
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const auto idOf = [](const std::string& row) { return std::stol(row.substr(0, row.find('|'))); };
        EXPECT_EQ(first[i].substr(first[i].find('|')), second[i].substr(second[i].find('|')));
        EXPECT_EQ(idOf(second[i]), idOf(first[i]) + static_cast<long>(first.size()));
    }
}

// The exclusion test shows its error and excludes nothing; the system data phase needs the
// rules table and ends the run, so nothing of the run is kept.
TEST_F(CaptureEndToEnd, AReferenceWithoutRulesTableShowsTheErrorPerColumnThenEndsAtItsFirstTable) {
    auto server = env.openServer("reference");
    server->execute("CREATE DATABASE bare");
    server->execute("USE bare CREATE TABLE tbA (id int NOT NULL, nome varchar(20) NULL)");
    server->close();
    ASSERT_EQ(capture("bare"), OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].text, "Invalid object name 'tbSQLUpdate'.");
    EXPECT_EQ(host.messages[1].text, "Invalid object name 'tbSQLUpdate'.");
    EXPECT_EQ(host.messages[2].text, "Invalid object name 'tbSQLUpdate'. | Current TABLE: tbA");
    EXPECT_TRUE(tbObjects().empty());
}

TEST_F(CaptureEndToEnd, AFailedLoginAndAnEmptyNameTouchNothing) {
    app::MainForm form;
    env.pointAt(form, "reference");
    form.FXPassword.text = "wrong";
    EXPECT_EQ(capture::runCapture(form, host, env.openers()), OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Login failed for user 'sa'.");
    form.FXDatabase.text.clear();
    EXPECT_EQ(capture::runCapture(form, host, env.openers()), OperationOutcome::Refused);
    EXPECT_EQ(host.messages.back().text, "Tem de definir uma base de dados!");
    EXPECT_TRUE(tbObjects().empty());
}

TEST_F(CaptureEndToEnd, ACaptureFailingMidwayLeavesTheStoreAsItWas) {
    ASSERT_EQ(capture(), OperationOutcome::Completed);
    const auto before = e2e::storeRows(*env.openStore(), "tbObjects", "object_id");
    app::MainForm form;
    env.pointAt(form, "reference");
    app::ConnectionOpeners openers = env.openers();
    openers.openStore = [this] {
        auto left = std::make_shared<int>(25);
        return std::make_unique<e2e::FailingStore>(env.openStore(),
                                                   [left](std::string_view) { return --*left < 0; });
    };
    EXPECT_EQ(capture::runCapture(form, host, openers), OperationOutcome::Failed);
    EXPECT_EQ(host.messages.back().text, "database or disk is full");
    EXPECT_EQ(e2e::storeRows(*env.openStore(), "tbObjects", "object_id"), before);
}

}  // namespace
