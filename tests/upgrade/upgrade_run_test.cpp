#include "upgrade/upgrade_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "upgrade/database_backup.h"
#include "upgrade/phase_row_loop.h"
#include "upgrade_harness.h"

namespace upgrade {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using app::OperationOutcome;
using testing_support::FakeConnection;
using testing_support::FakeHost;

const std::string kBreak = "\n\r\n\r";

class UpgradeRunTest : public ::testing::Test {
public:
    UpgradeRunTest() {
        form.FXDatabase.text = "app";
        form.FXBackup.value = 0;
        setUpgrading(db::Value::integer(0));
        testing::scriptCapturedTable(store);
    }

    void setUpgrading(db::Value value) {
        target.onQuery("SELECT TOP 1 * FROM tbVersao",
                        {{"versao", db::ado::kInteger}, {"upgrading", db::ado::kInteger}},
                        {{db::Value::integer(7), std::move(value)}});
    }

    app::ConnectionOpeners openers() {
        return {[this](const db::ServerSettings& s) {
                    settings = s;
                    ++serverOpens;
                    return target.handle();
                },
                [this] {
                    ++storeOpens;
                    return store.handle();
                }};
    }

    std::optional<OperationOutcome> press(const std::vector<UpgradePhase>& phases = {}) {
        return pressUpgradeButton(form, host, openers(), phases, &statistics,
                                  [this](const PhaseStatistics& step, const RunStatistics&) {
                                      stepsEnded.push_back(step.name);
                                  });
    }

    // A phase that walks three rows and runs one statement per row.
    UpgradePhase rowPhase(std::function<void(UpgradeRun&, db::Recordset&)> work) {
        return {"rows", nullptr, [work](UpgradeRun& run) {
                    RowPhase phase{"A carregar definições: Indexes ...",
                                   [](UpgradeRun&) {
                                       return db::Recordset({{"nome", db::ado::kVarWChar}},
                                                            {{db::Value::text("a")},
                                                             {db::Value::text("b")},
                                                             {db::Value::text("c")}});
                                   },
                                   [work](UpgradeRun& run, db::Recordset& rows) {
                                       work(run, rows);
                                       return AfterRow::MoveNext;
                                   }};
                    runPhaseRowLoop(run, phase);
                    return true;
                }};
    }

    app::MainForm form;
    FakeHost host;
    FakeConnection target;
    FakeConnection store;
    db::ServerSettings settings;
    int serverOpens = 0;
    int storeOpens = 0;
    RunStatistics statistics;
    std::vector<std::string> stepsEnded;
};

TEST_F(UpgradeRunTest, AnEmptyDatabaseNameOpensNothing) {
    form.FXDatabase.text.clear();
    EXPECT_EQ(press(), OperationOutcome::Refused);
    EXPECT_EQ(serverOpens, 0);
    EXPECT_EQ(form.FXAuto.value, 0);
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Tem de definir uma base de dados!");
    EXPECT_EQ(host.messages[0].title, std::nullopt);
}

TEST_F(UpgradeRunTest, ACompleteRunTakesAndReleasesTheGuardAndUnloads) {
    EXPECT_EQ(press(), OperationOutcome::Completed);
    EXPECT_EQ(settings.commandTimeoutSeconds, 180);
    EXPECT_EQ(settings.connectTimeoutSeconds, 30);
    EXPECT_THAT(target.executed,
                ElementsAre("UPDATE tbVersao SET upgrading = 1",
                            "ALTER DATABASE app COLLATE Latin1_General_CI_AI",
                            "UPDATE tbVersao SET upgrading = 0"));
    EXPECT_THAT(store.executed, ElementsAre("DELETE FROM tbLogs"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "As definições da base de dados foram actualizadas com sucesso!");
    EXPECT_EQ(host.messages[0].title, "SQL Database Upgrade");
    EXPECT_EQ(host.unloads, 1);
    EXPECT_FALSE(target.isOpen());
    EXPECT_FALSE(store.isOpen());
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    EXPECT_TRUE(form.UpgradeGuardActive);
}

TEST_F(UpgradeRunTest, ANullMarkMeansNoGuardUpdatesAtAll) {
    form.UpgradeGuardActive = true;  // left over from an earlier run
    setUpgrading(db::Value());
    EXPECT_EQ(press(), OperationOutcome::Completed);
    EXPECT_THAT(target.executed, ElementsAre("ALTER DATABASE app COLLATE Latin1_General_CI_AI"));
    EXPECT_FALSE(form.UpgradeGuardActive);
}

TEST_F(UpgradeRunTest, WithoutAnUpgradingColumnTheGuardKeepsItsLastValue) {
    form.UpgradeGuardActive = true;
    target.onQuery("SELECT TOP 1 * FROM tbVersao", {{"versao", db::ado::kInteger}},
                    {{db::Value::integer(7)}});
    EXPECT_EQ(press(), OperationOutcome::Completed);
    EXPECT_TRUE(form.UpgradeGuardActive);
    EXPECT_EQ(target.executed.front(), "UPDATE tbVersao SET upgrading = 1");
}

TEST_F(UpgradeRunTest, ARunningMarkAsksAndNoLeavesEverythingUntouched) {
    setUpgrading(db::Value::integer(1));
    host.answer({app::mb::kAnswerNo});
    EXPECT_EQ(press(), OperationOutcome::Refused);
    EXPECT_TRUE(target.executed.empty());
    EXPECT_TRUE(store.executed.empty());
    EXPECT_FALSE(store.isOpen());
    EXPECT_FALSE(target.isOpen());
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].flags, 4 + 32 + 256);
    EXPECT_EQ(host.messages[0].title, "SQL Database Server Upgrade");
    EXPECT_EQ(host.messages[0].text,
              "Já está em curso uma actualização da base de dados." + kBreak +
                  "Pretende continuar mesmo assim?" + kBreak +
                  "Nota: não é recomendado realizar multiplos upgrades ao servidor "
                  "simultaneamente. Isto pode afectar a performance do processo de "
                  "actualização do servidor.");
}

// What can be checked without changing anything is checked before the guard: a run that
// cannot finish is refused with one line saying what to do, and the target keeps no mark.
TEST_F(UpgradeRunTest, ATargetWithoutTbVersaoIsRefusedBeforeAnyChange) {
    target.failOn("tbVersao", db::Error(db::errc::kObjectNotFound, "Invalid object name 'tbVersao'."));
    EXPECT_EQ(press(), OperationOutcome::Refused);
    EXPECT_TRUE(target.executed.empty());
    EXPECT_TRUE(store.executed.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "app has no table tbVersao, so it is not an application database this tool can upgrade: "
              "check the database name (-d) and the server (-S).");
    EXPECT_EQ(host.messages[0].flags, app::mb::kInformation);
    EXPECT_EQ(host.unloads, 0);
    EXPECT_FALSE(target.isOpen());
    EXPECT_FALSE(store.isOpen());
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
}

TEST_F(UpgradeRunTest, AStoreThatCannotServeTheRunIsRefusedBeforeTheServerIsReached) {
    struct Case {
        const char* name;
        std::function<void(UpgradeRunTest&)> arrange;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"no captured table",
         [](UpgradeRunTest& t) { t.store.onQuery("FROM tbObjects", {{"tabela", db::ado::kVarWChar}}, {{db::Value()}}); },
         "The definitions store holds no captured table: capture a reference database into it first "
         "(sqlupgrade-cli capture, or Carregar Estrutura in the window)."},
        {"not in the open state", [](UpgradeRunTest& t) { t.store.setOpen(false); },
         "The definitions store could not be opened. Capture a reference database into a definitions store "
         "first (sqlupgrade-cli init-store creates an empty one where no file is)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Fresh : UpgradeRunTest {
            void TestBody() override {}
        } t;
        c.arrange(t);
        EXPECT_EQ(t.press(), OperationOutcome::Refused);
        EXPECT_EQ(t.serverOpens, 0);
        EXPECT_TRUE(t.store.executed.empty());
        EXPECT_THAT(t.host.messageTexts(), ElementsAre(c.line));
        EXPECT_TRUE(t.statistics.phases.empty());
    }
}

TEST_F(UpgradeRunTest, AStoreFileThatIsMissingOrReadOnlyIsNamedWithWhatToDo) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "upgrade-run-test-store";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    app::ConnectionOpeners opening = openers();
    opening.storePath = folder / "SQL.mdb";
    opening.createStoreCommand = "sqlupgrade-cli --home /x init-store";
    opening.openStore = [&]() -> std::unique_ptr<db::Connection> {
        throw db::Error(db::errc::kStoreError, "Could not find file.");
    };
    EXPECT_EQ(pressUpgradeButton(form, host, opening, {}), OperationOutcome::Refused);
    EXPECT_THAT(host.messageTexts(),
                ElementsAre("No definitions store at " + opening.storePath.string() +
                            ": create one with sqlupgrade-cli --home /x init-store and capture a reference "
                            "database into it, then upgrade."));
    EXPECT_EQ(serverOpens, 0);
    std::filesystem::remove_all(folder);
}

TEST_F(UpgradeRunTest, AServerThatDoesNotReachTheOpenStateEndsTheProgram) {
    target.setOpen(false);
    EXPECT_EQ(press(), OperationOutcome::Failed);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.unloads, 1);
}

// Each step leaves a record with its numbers, in order; a step between phases leaves none.
TEST_F(UpgradeRunTest, TheRunRecordsEachStepWithItsCounts) {
    form.FXBackup.value = 1;
    target.onQuery("sysfiles", {{"filename", db::ado::kWChar}}, {{db::Value::text("D:\\Data\\app.mdf")}});
    target.failOn("CREATE INDEX b", db::Error(db::errc::kServerError, "duplicate"));
    target.failOn("DROP INDEX", db::Error(db::errc::kServerError, "no such index"));
    const auto outcome = press({rowPhase([](UpgradeRun& run, db::Recordset& rows) {
                                    const std::string sql = "CREATE INDEX " + rows.field("nome").value().toText();
                                    run.statements.execute(sql, ExecutionMode::AskOnError);
                                    run.statements.execute("DROP INDEX x", ExecutionMode::IgnoreErrors);
                                }),
                                {"", nullptr, [](UpgradeRun&) { return true; }}});
    EXPECT_EQ(outcome, OperationOutcome::Completed);
    EXPECT_THAT(stepsEnded, ElementsAre("backup", "rows"));
    ASSERT_EQ(statistics.phases.size(), 2u);
    ASSERT_TRUE(statistics.backupFile.has_value());
    EXPECT_THAT(*statistics.backupFile, ::testing::MatchesRegex("D:\\\\Data\\\\app_[0-9]{14}\\.BAK"));
    const PhaseStatistics& rows = statistics.phases[1];
    EXPECT_EQ(rows.statementsSent, 6);
    EXPECT_EQ(rows.statementsFailed, 1);
    EXPECT_EQ(rows.failuresIgnored, 3);
    EXPECT_EQ(statistics.totals().statementsSent, 6);
}

TEST_F(UpgradeRunTest, TheBackupGoesBesideTheDataFileAndDropsItsDevice) {
    form.FXBackup.value = 1;
    target.onQuery("sysfiles", {{"filename", db::ado::kWChar}},
                    {{db::Value::text("D:\\Data\\app.mdf   ")}});
    EXPECT_EQ(press(), OperationOutcome::Completed);
    ASSERT_GE(target.executed.size(), 5u);
    EXPECT_THAT(target.executed[1],
                ::testing::MatchesRegex("USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', "
                                        "'D:\\\\Data\\\\app_[0-9]{14}\\.BAK'"));
    EXPECT_EQ(target.executed[2], "BACKUP DATABASE app TO app_Upgrade");
    EXPECT_EQ(target.executed[3], "USE master EXEC sp_dropdevice 'app_Upgrade'");
    EXPECT_EQ(target.executed[4], "USE app");
    EXPECT_TRUE(form.Command2.enabled);
}

TEST(DatabaseBackup, FolderAndDeviceStatements) {
    EXPECT_EQ(addDumpDeviceStatement("app", backupFolderOf("D:\\Data\\app.mdf"), "20040307140509"),
              "USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', 'D:\\Data\\app_20040307140509.BAK'");
    EXPECT_EQ(addDumpDeviceStatement("app", backupFolderOf("/var/opt/mssql/data/app.mdf"), "20040307140509"),
              "USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', '/var/opt/mssql/data/app_20040307140509.BAK'");
    EXPECT_EQ(addDumpDeviceStatement("app", std::nullopt, "20040307140509"),
              "USE master EXEC sp_addumpdevice 'disk', 'app_Upgrade', 'app_20040307140509.BAK'");
    std::tm t{};
    t.tm_year = 104;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(backupTimestamp(t), "20040307140509");
}

TEST_F(UpgradeRunTest, ACancelPressStopsAtTheNextRowAndReleasesTheGuard) {
    std::vector<std::string> worked;
    // Pump 1 follows the caption change, pump 2 the progress text; pump 3 precedes row a,
    // pump 4 precedes row b: the press there is honoured before b is worked.
    host.atPump(4, [&] { pressUpgradeButton(form, host, {}, {}); });
    const auto outcome = press({rowPhase([&](UpgradeRun& run, db::Recordset& rows) {
        worked.push_back(rows.field("nome").value().toText());
        run.target.execute("CREATE INDEX " + worked.back());
    })});
    EXPECT_EQ(outcome, OperationOutcome::Cancelled);
    EXPECT_THAT(worked, ElementsAre("a"));
    EXPECT_EQ(target.executed.back(), "UPDATE tbVersao SET upgrading = 0");
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    EXPECT_TRUE(form.Command2.enabled);
    for (const app::TextBox* box : {&form.FXServer, &form.FXDatabase, &form.FXUsername, &form.FXPassword}) {
        EXPECT_TRUE(box->enabled);
        EXPECT_EQ(box->backColour, app::kWindowBackgroundColour);
    }
    EXPECT_FALSE(target.isOpen());
    EXPECT_FALSE(store.isOpen());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.unloads, 0);
}

TEST_F(UpgradeRunTest, TheErrorHandlerPutsABlankAfterTheDescriptionOnAPhaseRow) {
    target.failOn("CREATE INDEX b", db::Error(db::errc::kServerError, "boom"));
    const auto outcome = press({rowPhase([](UpgradeRun& run, db::Recordset& rows) {
        run.currentObject = "obj_" + rows.field("nome").value().toText();
        run.target.execute("CREATE INDEX " + rows.field("nome").value().toText());
    })});
    EXPECT_EQ(outcome, OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "boom " + kBreak + "Objecto: obj_b");
    EXPECT_EQ(target.executed.back(), "CREATE INDEX b");  // upgrading stays 1
}

TEST_F(UpgradeRunTest, NoToTheQuestionShowsTheErrorAgainInTheHandler) {
    form.FXSilence.value = 0;
    target.failOn("CREATE INDEX a", db::Error(db::errc::kServerError, "duplicate"));
    host.answer({app::mb::kAnswerNo});
    const auto outcome = press({rowPhase([](UpgradeRun& run, db::Recordset& rows) {
        const std::string sql = "CREATE INDEX " + rows.field("nome").value().toText();
        run.statements.execute(sql, ExecutionMode::AskOnError);
        run.statements.log(sql);
    })});
    EXPECT_EQ(outcome, OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Erro: duplicate" + kBreak + "Deseja continuar?");
    EXPECT_EQ(host.messages[0].flags, 36);
    EXPECT_EQ(host.messages[0].title, "Schemix");
    EXPECT_EQ(host.messages[1].text, "duplicate ");
}

// The current object of a phase that completed is cleared: an error in a later phase is
// not put down to it, and without an object there is no "Objecto: " label.
TEST_F(UpgradeRunTest, AnErrorAfterAPhaseThatCompletedNamesNoObjectOfIt) {
    target.failOn("CREATE INDEX b", db::Error(db::errc::kServerError, "boom"));
    const auto outcome =
        press({rowPhase([](UpgradeRun& run, db::Recordset& rows) {
                   run.currentObject = "obj_" + rows.field("nome").value().toText();
               }),
               rowPhase([](UpgradeRun& run, db::Recordset& rows) {
                   run.target.execute("CREATE INDEX " + rows.field("nome").value().toText());
               })});
    EXPECT_EQ(outcome, OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "boom ");
}

// The failures the run went on after are kept, in order, for its account of what failed:
// those of asking and notifying statements, and those a phase records itself; a failure
// the phase's rule ignores is not one of them.
TEST(StatementRunner, KeepsTheFailuresTheRunWentOnAfter) {
    app::MainForm form;
    form.FXSilence.value = 1;
    FakeHost host;
    FakeConnection target;
    FakeConnection store;
    target.failOn("DROP", db::Error(db::errc::kServerError, "cannot drop"));
    StatementRunner runner(target, store, form, host, ExecutionMode::AbortOnError);

    runner.execute("DROP INDEX [t].[IX_a]", ExecutionMode::IgnoreErrors);
    runner.execute("DROP INDEX [t].[IX_b]", ExecutionMode::AskOnError);
    runner.execute("CREATE INDEX IX_c ON [t] ([c])", ExecutionMode::AskOnError);
    runner.execute("DROP INDEX [t].[IX_d]", ExecutionMode::NotifyOnError);
    runner.recordFailure("ALTER TABLE [t] ADD CONSTRAINT [PK_t]",
                         db::Error(db::errc::kIntegrityViolation, "dup"));

    std::vector<std::string> failed;
    for (const FailedStatement& f : runner.failedStatements()) failed.push_back(f.sql);
    EXPECT_THAT(failed, ElementsAre("DROP INDEX [t].[IX_b]", "DROP INDEX [t].[IX_d]",
                                    "ALTER TABLE [t] ADD CONSTRAINT [PK_t]"));
    EXPECT_EQ(runner.failedStatements()[0].error.description(), "cannot drop");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(UpgradeRunTest, SilencedFailuresAreLoggedAndTheRunGoesOn) {
    target.failOn("CREATE INDEX", db::Error(db::errc::kServerError, "duplicate"));
    const auto outcome = press({rowPhase([](UpgradeRun& run, db::Recordset& rows) {
        const std::string sql = "CREATE INDEX " + rows.field("nome").value().toText();
        run.statements.execute(sql, ExecutionMode::AskOnError);
        run.statements.log(sql);
    })});
    EXPECT_EQ(outcome, OperationOutcome::Completed);
    EXPECT_THAT(store.executed,
                ElementsAre("DELETE FROM tbLogs", "INSERT INTO tbLogs (descrit) VALUES ('CREATE INDEX a')",
                            "INSERT INTO tbLogs (descrit) VALUES ('CREATE INDEX b')",
                            "INSERT INTO tbLogs (descrit) VALUES ('CREATE INDEX c')"));
    EXPECT_EQ(form.ProgressBar1.value, 3);
    EXPECT_EQ(form.ProgressBar1.max, 3);
}

TEST_F(UpgradeRunTest, APhaseReturningFalseEndsTheRunWithoutAMessage) {
    const auto outcome = press({{"fails", nullptr, [](UpgradeRun&) { return false; }}});
    EXPECT_EQ(outcome, OperationOutcome::Failed);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
}

}  // namespace
}  // namespace upgrade
