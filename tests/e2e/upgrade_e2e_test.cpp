// The upgrade run against the fixture target database in the sandbox: the guard, the
// statement log, the backup, the collation, cancellation and the endings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "capture/capture_run.h"
#include "db/error.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "app/main_form.h"
#include "phase_list/upgrade_phases.h"

namespace {

using ::testing::HasSubstr;
using app::OperationOutcome;

class UpgradeEndToEnd : public ::testing::Test {
protected:
    explicit UpgradeEndToEnd(bool windowsPaths = false) : env(true, windowsPaths) {
        app::MainForm captureForm;
        env.pointAt(captureForm, "reference");
        testing_support::FakeHost captureHost;
        EXPECT_EQ(capture::runCapture(captureForm, captureHost, env.openers()),
                  OperationOutcome::Completed);
        env.pointAt(form, "target");
        form.FXBackup.value = 0;
    }

    std::optional<OperationOutcome> upgrade() {
        return phase_list::pressUpgradeButton(form, host, env.openers());
    }

    // The value of one cell of the target, read on a connection of its own.
    db::Value targetValue(const std::string& query) {
        auto server = env.openServer("target");
        db::Recordset rs = server->open(query, db::CursorType::Static);
        return rs.eof() ? db::Value::text("<no row>") : rs.field(0).value();
    }

    void setUpgrading(const std::string& value) {
        env.openServer("target")->execute("UPDATE tbVersao SET upgrading = " + value);
    }

    long logRows() {
        auto store = env.openStore();
        return static_cast<long>(e2e::storeRows(*store, "tbLogs", "descrit").size());
    }

    e2e::Environment env;
    app::MainForm form;
    testing_support::FakeHost host;
};

TEST_F(UpgradeEndToEnd, TheGuardIsHeldDuringTheRunAndReleasedAtItsEnd) {
    setUpgrading("0");
    db::Value during;
    host.atPump(3, [&] { during = targetValue("SELECT upgrading FROM tbVersao"); });
    EXPECT_EQ(upgrade(), OperationOutcome::Completed);
    EXPECT_EQ(during, db::Value::integer(1));
    EXPECT_EQ(targetValue("SELECT upgrading FROM tbVersao"), db::Value::integer(0));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, "As definições da base de dados foram actualizadas com sucesso!");
    EXPECT_EQ(host.messages.back().title, "SQL Database Upgrade");
    EXPECT_EQ(host.unloads, 1);
    EXPECT_GT(logRows(), 0);
}

TEST_F(UpgradeEndToEnd, ANullMarkIsNeverTouched) {
    setUpgrading("NULL");
    db::Value during = db::Value::text("unread");
    host.atPump(3, [&] { during = targetValue("SELECT upgrading FROM tbVersao"); });
    EXPECT_EQ(upgrade(), OperationOutcome::Completed);
    EXPECT_TRUE(during.isNull());
    EXPECT_TRUE(targetValue("SELECT upgrading FROM tbVersao").isNull());
}

TEST_F(UpgradeEndToEnd, ARunningMarkAnsweredNoLeavesTargetAndLogUntouched) {
    {
        auto store = env.openStore();
        store->execute("INSERT INTO tbLogs (descrit) VALUES ('from an earlier run')");
    }
    setUpgrading("1");
    host.answer({app::mb::kAnswerNo});
    EXPECT_EQ(upgrade(), OperationOutcome::Refused);
    EXPECT_EQ(logRows(), 1);
    EXPECT_EQ(targetValue("SELECT COUNT(*) FROM sysobjects WHERE name = 'tbParametros'"),
              db::Value::integer(0));
    EXPECT_EQ(targetValue("SELECT upgrading FROM tbVersao"), db::Value::integer(1));
}

TEST_F(UpgradeEndToEnd, ATargetWithoutTbVersaoIsRefusedBeforeAnythingChanges) {
    env.openServer("target")->execute("DROP TABLE tbVersao");
    {
        auto store = env.openStore();
        store->execute("INSERT INTO tbLogs (descrit) VALUES ('kept')");
    }
    EXPECT_EQ(upgrade(), OperationOutcome::Refused);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "target has no table tbVersao, so it is not an application database this tool "
                                     "can upgrade: check the database name (-d) and the server (-S).");
    EXPECT_EQ(logRows(), 1);
    EXPECT_EQ(targetValue("SELECT COUNT(*) FROM sysobjects WHERE name = 'tbParametros'"),
              db::Value::integer(0));
}

TEST_F(UpgradeEndToEnd, TheDatabaseCollationIsForced) {
    EXPECT_EQ(upgrade(), OperationOutcome::Completed);
    env.openServer("target")->execute("CREATE TABLE tbNova (nome varchar(10) NULL)");
    EXPECT_EQ(targetValue("SELECT c.collation FROM syscolumns c JOIN sysobjects o ON c.id = o.id "
                          "WHERE o.name = 'tbNova'"),
              db::Value::text("Latin1_General_CI_AI"));
}

TEST_F(UpgradeEndToEnd, ACancelPressStopsAtTheNextTableAndReleasesTheGuard) {
    setUpgrading("0");
    // Pump 1 follows the caption change, pump 2 the table phase's start, pump 3 the first
    // table: a press there is honoured before the first table is touched.
    host.atPump(3, [&] { phase_list::pressUpgradeButton(form, host, env.openers()); });
    EXPECT_EQ(upgrade(), OperationOutcome::Cancelled);
    EXPECT_EQ(targetValue("SELECT upgrading FROM tbVersao"), db::Value::integer(0));
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    EXPECT_TRUE(form.Command2.enabled);
    EXPECT_TRUE(form.FXServer.enabled);  // usable again once the cancel has completed
    EXPECT_TRUE(form.FXPassword.enabled);
    EXPECT_EQ(form.FXDatabase.backColour, app::kWindowBackgroundColour);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.unloads, 0);
    EXPECT_EQ(logRows(), 0);
}

std::vector<std::string> backupFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, std::regex("target_[0-9]{14}\\.BAK"))) {
            names.push_back(std::filesystem::relative(entry.path(), folder).string());
        }
    }
    return names;
}

TEST_F(UpgradeEndToEnd, TheBackupLandsBesideTheDataFileAndItsDeviceIsDropped) {
    form.FXBackup.value = 1;
    EXPECT_EQ(upgrade(), OperationOutcome::Completed);
    const auto files = backupFiles(env.server().dataDir());
    ASSERT_EQ(files.size(), 1u);
    const std::string dataFile = targetValue("SELECT TOP 1 filename FROM sysfiles").toText();
    EXPECT_EQ((env.server().dataDir() / files[0]).parent_path(),
              std::filesystem::path(dataFile.substr(0, dataFile.find_last_not_of(' ') + 1)).parent_path());
    // The device name is free again.
    EXPECT_NO_THROW(env.openServer("target")->execute(
        "USE master EXEC sp_addumpdevice 'disk', 'target_Upgrade', 'again.BAK'"));
}

class UpgradeWindowsPaths : public UpgradeEndToEnd {
protected:
    UpgradeWindowsPaths() : UpgradeEndToEnd(true) {}
};

TEST_F(UpgradeWindowsPaths, TheBackupFollowsAWindowsDataPath) {
    const std::string dataFile = targetValue("SELECT TOP 1 filename FROM sysfiles").toText();
    ASSERT_THAT(dataFile, HasSubstr("C:\\MSSQL\\Data\\"));
    form.FXBackup.value = 1;
    EXPECT_EQ(upgrade(), OperationOutcome::Completed);
    const auto files = backupFiles(env.server().dataDir());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(std::filesystem::path(files[0]).parent_path(), "");  // the data folder itself
}

}  // namespace
