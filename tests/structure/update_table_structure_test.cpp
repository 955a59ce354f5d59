#include "structure/update_table_structure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "structure_fakes.h"
#include "upgrade/upgrade_run.h"

namespace structure {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using structure::testing::Col;
using structure::testing::intCol;
using structure::testing::kBreak;
using structure::testing::logInsert;
using structure::testing::setStoredColumns;
using structure::testing::StructureHarness;
using structure::testing::varcharCol;

const std::string kCreateTbX =
    "CREATE TABLE [tbX] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [varchar] (50)  "
    "COLLATE Latin1_General_CI_AI  NULL ) ON [PRIMARY]";

std::string createOneIntColumn(const std::string& table) {
    return "CREATE TABLE [" + table + "] ( [id] [int]  NOT NULL ) ON [PRIMARY]";
}

const std::vector<db::Column> kDefaultColumns = {{"DF_name", db::ado::kVarWChar},
                                                 {"tabela", db::ado::kVarWChar},
                                                 {"campo", db::ado::kVarWChar},
                                                 {"valor", db::ado::kVarWChar}};

TEST(UpdateTableStructure, CreatesAMissingTableFromAllItsStoredColumns) {
    StructureHarness h;
    setStoredColumns(h.store, {{"tbX", intCol("id", false, true)}, {"tbX", varcharCol("nome", 50)}});

    EXPECT_TRUE(h.update());

    EXPECT_THAT(h.targetStatements(), ElementsAre(kCreateTbX));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(kCreateTbX)));
    EXPECT_EQ("A carregar definições: Tabelas e campos ...", h.form.FXEvolucao.caption);
    EXPECT_TRUE(h.form.FXEvolucao.visible);
    EXPECT_EQ(2, h.form.ProgressBar1.max);
    EXPECT_EQ(2, h.form.ProgressBar1.value);
    // The per-table query uses the provider's default cursor.
    ASSERT_FALSE(h.target.cursors.empty());
    EXPECT_EQ(db::CursorType::ForwardOnly, h.target.cursors.front().second);
}

TEST(UpdateTableStructure, EmptyStoreAndIdenticalTablesSendNothing) {
    StructureHarness empty;
    empty.form.FXEvolucao.caption = "before";
    empty.form.ProgressBar1.max = 7;
    empty.form.ProgressBar1.value = 3;
    setStoredColumns(empty.store, {});
    EXPECT_TRUE(empty.update());
    EXPECT_THAT(empty.target.log, IsEmpty());
    EXPECT_EQ("before", empty.form.FXEvolucao.caption);
    EXPECT_EQ(7, empty.form.ProgressBar1.max);
    EXPECT_EQ(3, empty.form.ProgressBar1.value);

    StructureHarness same;
    setStoredColumns(same.store, {{"tbX", intCol("id", false, true)}, {"tbX", varcharCol("nome", 50)}});
    same.target.tables["tbX"] = {intCol("id", false, true), varcharCol("nome", 50)};
    EXPECT_TRUE(same.update());
    EXPECT_THAT(same.targetStatements(), IsEmpty());
    EXPECT_THAT(same.loggedStatements(), IsEmpty());
    EXPECT_EQ(2, same.form.ProgressBar1.value);
}

TEST(UpdateTableStructure, AddsMissingColumnsAndDropsOnlyAMadeUpDefault) {
    StructureHarness h;
    Col qtd = intCol("qtd");
    qtd.cdefault = db::Value::text("(0)");
    Col cod{"cod", "char", db::Value::integer(3), db::Value::integer(0), db::Value::integer(0),
            db::Value::integer(0), db::Value::integer(0), {}, {}};
    setStoredColumns(h.store, {{"tbX", intCol("id")},
                               {"tbX", varcharCol("obs", 200)},
                               {"tbX", qtd},
                               {"tbX", cod}});
    h.target.tables["tbX"] = {intCol("id")};
    h.target.onQuery("SOURCE_sysobjects.name = 'tbX' AND SOURCE_syscolumns.name = 'cod' ORDER BY",
                     kDefaultColumns,
                     {{db::Value::text("DF__tbX__cod__0519C6AF"), db::Value::text("tbX"),
                       db::Value::text("cod"), db::Value::text("('')")}});

    EXPECT_TRUE(h.update());

    const std::string addObs =
        "ALTER TABLE [tbX] ADD  [obs] [varchar] (200)  COLLATE Latin1_General_CI_AI  NULL ";
    const std::string addQtd = "ALTER TABLE [tbX] ADD  [qtd] [int]  NOT NULL DEFAULT ((0))";
    const std::string addCod =
        "ALTER TABLE [tbX] ADD  [cod] [char] (3)  COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')";
    EXPECT_THAT(h.targetStatements(),
                ElementsAre(addObs, addQtd, addCod, "ALTER TABLE [tbX] DROP CONSTRAINT [DF__tbX__cod__0519C6AF]"));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(addObs), logInsert(addQtd), logInsert(addCod)));
    int defaultLookups = 0;
    for (const std::string& sql : h.target.log) defaultLookups += sql.find("as DF_name") != std::string::npos;
    EXPECT_EQ(1, defaultLookups);
    EXPECT_EQ(4, h.form.ProgressBar1.value);
}

TEST(UpdateTableStructure, DebugNoSkipsTheTableAndRemembersIt) {
    StructureHarness h;
    h.form.FXDebug.value = 1;
    h.host.answer({app::mb::kAnswerNo, app::mb::kAnswerYes});
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbA", intCol("n")}, {"tbB", intCol("id")}});

    EXPECT_TRUE(h.update());

    ASSERT_EQ(2u, h.host.messages.size());
    EXPECT_EQ("Deseja processar a Tabela?:" + kBreak + "tbA", h.host.messages[0].text);
    EXPECT_EQ(36, h.host.messages[0].flags);
    EXPECT_EQ(h.form.caption, h.host.messages[0].title);
    EXPECT_EQ("Deseja processar a Tabela?:" + kBreak + "tbB", h.host.messages[1].text);
    ASSERT_TRUE(h.form.SkippedTables.has_value());
    EXPECT_THAT(*h.form.SkippedTables, ElementsAre("tbA"));
    for (const std::string& sql : h.target.log) EXPECT_EQ(std::string::npos, sql.find("tbA")) << sql;
    EXPECT_THAT(h.targetStatements(), ElementsAre(createOneIntColumn("tbB")));
    EXPECT_EQ(3, h.form.ProgressBar1.value);
}

TEST(UpdateTableStructure, SilencedFailedCreateIsLoggedAndTheRunGoesOn) {
    StructureHarness h;
    h.form.FXSilence.value = 1;
    h.target.failOn("CREATE TABLE [tbA]", db::Error(db::errc::kServerError, "There is already an object named 'tbA' in the database."));
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbB", intCol("id")}});

    EXPECT_TRUE(h.update());

    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_THAT(h.targetStatements(), ElementsAre(createOneIntColumn("tbA"), createOneIntColumn("tbB")));
    EXPECT_THAT(h.loggedStatements(),
                ElementsAre(logInsert(createOneIntColumn("tbA")), logInsert(createOneIntColumn("tbB"))));
}

TEST(UpdateTableStructure, FailedCreateAsksAndYesGoesOn) {
    StructureHarness h;
    h.target.failOn("CREATE TABLE [tbA]", db::Error(db::errc::kServerError, "Column or parameter #1: Cannot specify a column width on data type int."));
    h.host.answer({app::mb::kAnswerYes});
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbB", intCol("id")}});

    EXPECT_TRUE(h.update());

    ASSERT_EQ(1u, h.host.messages.size());
    EXPECT_EQ("Erro: Column or parameter #1: Cannot specify a column width on data type int." + kBreak +
                  "Deseja continuar?",
              h.host.messages[0].text);
    EXPECT_EQ(36, h.host.messages[0].flags);
    EXPECT_EQ("Schemix", h.host.messages[0].title);
    EXPECT_EQ(2u, h.loggedStatements().size());
}

// A No ends the update through its failure exit; the upgrade run then ends without a
// message of its own.
TEST(UpdateTableStructure, NoAfterAFailedStatementEndsTheRunWithOneMessage) {
    StructureHarness h;
    h.form.FXDatabase.text = "app";
    h.target.failOn("CREATE TABLE [tbA]", db::Error(db::errc::kServerError, "Incorrect syntax near ')'."));
    h.host.answer({app::mb::kAnswerNo});
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbB", intCol("id")}});

    const auto outcome = upgrade::pressUpgradeButton(h.form, h.host, h.openers(), {tableStructurePhase()});

    EXPECT_EQ(app::OperationOutcome::Failed, outcome);
    ASSERT_EQ(2u, h.host.messages.size());
    EXPECT_EQ("Incorrect syntax near ')'.", h.host.messages[1].text);
    EXPECT_EQ(64, h.host.messages[1].flags);
    EXPECT_EQ(std::nullopt, h.host.messages[1].title);
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_EQ(std::string::npos, h.target.executed.back().find("tbB"));
    EXPECT_TRUE(h.target.isOpen());
    EXPECT_TRUE(h.store.isOpen());
}

TEST(UpdateTableStructure, FailedAddOrQueryTakesTheFailureExit) {
    StructureHarness add;
    add.target.failOn("ADD  [n]", db::Error(db::errc::kServerError, "ALTER TABLE only allows columns to be added that can contain nulls"));
    setStoredColumns(add.store, {{"tbA", intCol("id")}, {"tbA", intCol("n")}, {"tbB", intCol("id")}});
    add.target.tables["tbA"] = {intCol("id")};
    EXPECT_FALSE(add.update());
    ASSERT_EQ(1u, add.host.messages.size());
    EXPECT_EQ("ALTER TABLE only allows columns to be added that can contain nulls", add.host.messages[0].text);
    EXPECT_EQ(64, add.host.messages[0].flags);
    EXPECT_THAT(add.loggedStatements(), IsEmpty());

    StructureHarness query;
    query.target.failOn("SOURCE_syscolumns.collation", db::Error(db::errc::kObjectNotFound, "Invalid object name 'syscolumns'."));
    setStoredColumns(query.store, {{"tbA", intCol("id")}});
    EXPECT_FALSE(query.update());
    ASSERT_EQ(1u, query.host.messages.size());
    EXPECT_EQ("Invalid object name 'syscolumns'.", query.host.messages[0].text);
}

// A cancel press reaches the update at the top of a table: the guard is released, both
// connections are closed and the run ends without a message.
TEST(UpdateTableStructure, CancelBetweenTablesReleasesTheGuard) {
    StructureHarness h;
    h.form.FXDatabase.text = "app";
    h.target.onQuery("SELECT TOP 1 * FROM tbVersao", {{"upgrading", db::ado::kInteger}},
                     {{db::Value::integer(0)}});
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbB", intCol("id")}});
    // Pumps: the button press, the start of the update, the top of tbA, the top of tbB.
    h.host.atPump(4, [&h] {
        upgrade::pressUpgradeButton(h.form, h.host, h.openers(), {tableStructurePhase()});
    });

    const auto outcome = upgrade::pressUpgradeButton(h.form, h.host, h.openers(), {tableStructurePhase()});

    EXPECT_EQ(app::OperationOutcome::Cancelled, outcome);
    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_THAT(h.targetStatements(),
                ElementsAre("UPDATE tbVersao SET upgrading = 1", "ALTER DATABASE app COLLATE Latin1_General_CI_AI",
                            createOneIntColumn("tbA"), "UPDATE tbVersao SET upgrading = 0"));
    EXPECT_FALSE(h.target.isOpen());
    EXPECT_FALSE(h.store.isOpen());
    EXPECT_EQ("Processar Upgrade", h.form.Command2.caption);
    EXPECT_TRUE(h.form.Command2.enabled);
}

}  // namespace
}  // namespace structure
