#include "objects/recreate_modules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "objects_harness.h"

namespace objects {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::kBreak;
using testing::logInsert;
using testing::ObjectsHarness;
using testing::Rows;
using testing::textColumns;
using testing::textRow;

const std::vector<db::Column> kModuleRows = textColumns({"nome", "descrit"});

const char* const kFunctionExists =
    "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = "
    "syscomments.id WHERE "
    "sysobjects.xtype = 'FN' AND name = ";

TEST(ModuleStatements, TextsAsTheirPiecesGiveThem) {
    EXPECT_EQ(moduleExistenceQuery(ModuleKind::Function, db::Value::text("fnX")),
              std::string(kFunctionExists) + "'fnX'ORDER BY sysobjects.name");
    EXPECT_EQ(moduleExistenceQuery(ModuleKind::View, db::Value::text("vwO'Neil")),
              "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = "
              "syscomments.id WHERE "
              "sysobjects.xtype = 'V' AND name = 'vwO''Neil'ORDER BY sysobjects.name");
    EXPECT_EQ(moduleExistenceQuery(ModuleKind::Function, db::Value()),
              std::string(kFunctionExists) + "nullORDER BY sysobjects.name");
    EXPECT_EQ(
        moduleExistenceQuery(ModuleKind::Procedure, db::Value::text("spX")),
        "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
        "sysobjects.status = 1610612736 AND sysobjects.name = 'spX'");
    EXPECT_EQ(dropModuleStatement(ModuleKind::Function, "fnX"), "DROP FUNCTION fnX");
    EXPECT_EQ(dropModuleStatement(ModuleKind::View, "vwO'Neil"), "DROP VIEW [vwO'Neil]");
    EXPECT_EQ(dropModuleStatement(ModuleKind::Procedure, "spX"), "DROP PROCEDURE spX");
    EXPECT_EQ(moduleQuestion(ModuleKind::Function, "fnX"),
              "Deseja processar a FUNCTION: " + kBreak + "fnX");
    EXPECT_EQ(moduleQuestion(ModuleKind::View, "vwX"),
              "Deseja processar a VIEW: " + kBreak + "vwX");
    EXPECT_EQ(moduleQuestion(ModuleKind::Procedure, "spX"),
              "Deseja processar o STORED PROCEDURE: spX ?");
    EXPECT_EQ(
        viewFailureQuestion(db::Error(db::errc::kServerError, "Invalid object name 'tbY'."), "vwX"),
        "Erro: Invalid object name 'tbY'." + kBreak + "Deseja continuar?\n\rView: vwX");
}

// fnX is in the target: dropped (logged) and created again; fnY is not: only created.
// The creation texts are not logged.
TEST(Functions, AnObjectInTheTargetIsDroppedThenCreatedFromItsText) {
    ObjectsHarness h;
    h.store.onQuery(
        "SELECT * FROM tbFunctions ORDER BY function_id", kModuleRows,
        {textRow({"fnX", "CREATE FUNCTION dbo.fnX () RETURNS int AS BEGIN RETURN 1 END"}),
         textRow({"fnY", "CREATE FUNCTION dbo.fnY () RETURNS int AS BEGIN RETURN 2 END"})});
    h.target.onQuery("AND name = 'fnX'ORDER BY", textColumns({"name"}), {textRow({"fnX"})});

    EXPECT_TRUE(h.runPhase(functionsPhase()));

    EXPECT_THAT(h.target.log,
                ElementsAre(std::string(kFunctionExists) + "'fnX'ORDER BY sysobjects.name",
                            "DROP FUNCTION fnX",
                            "CREATE FUNCTION dbo.fnX () RETURNS int AS BEGIN RETURN 1 END",
                            std::string(kFunctionExists) + "'fnY'ORDER BY sysobjects.name",
                            "CREATE FUNCTION dbo.fnY () RETURNS int AS BEGIN RETURN 2 END"));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert("DROP FUNCTION fnX")));
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Functions ...");
    EXPECT_EQ(h.run().currentObject, "fnY");
}

// A failing view creation asks with the view's name; No ends the run, and the run error
// handler names the same view.
TEST(Views, NoAfterAFailedCreationEndsTheRunNamingTheView) {
    ObjectsHarness h;
    h.target.onQuery("SELECT TOP 1 * FROM tbVersao", textColumns({"upgrading"}),
                     {{db::Value::integer(0)}});
    h.store.onQuery("SELECT * FROM tbViews ORDER BY view_id", kModuleRows,
                    {textRow({"vwX", "CREATE VIEW vwX AS SELECT a FROM tbY"}),
                     textRow({"vwZ", "CREATE VIEW vwZ AS SELECT 1 AS um"})});
    h.target.failOn("CREATE VIEW vwX",
                    db::Error(db::errc::kObjectNotFound, "Invalid object name 'tbY'."));
    h.host.answer({app::mb::kAnswerNo});

    EXPECT_EQ(h.pressUpgrade({viewsPhase()}), app::OperationOutcome::Failed);

    ASSERT_EQ(h.host.messages.size(), 2u);
    EXPECT_EQ(h.host.messages[0].text,
              "Erro: Invalid object name 'tbY'." + kBreak + "Deseja continuar?\n\rView: vwX");
    EXPECT_EQ(h.host.messages[0].flags, 36);
    EXPECT_EQ(h.host.messages[0].title, "Schemix");
    EXPECT_EQ(h.host.messages[1].text, "Invalid object name 'tbY'. " + kBreak + "Objecto: vwX");
    EXPECT_THAT(h.targetSent("vwZ"), IsEmpty());
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
}

TEST(Procedures, AFailingDropEndsTheRunNamingTheProcedure) {
    ObjectsHarness h;
    h.target.onQuery("SELECT TOP 1 * FROM tbVersao", textColumns({"upgrading"}),
                     {{db::Value::integer(0)}});
    h.store.onQuery("SELECT * FROM tbProcedures ORDER BY procedure_id", kModuleRows,
                    {textRow({"spX", "CREATE PROCEDURE spX AS RETURN 0"})});
    h.target.onQuery("sysobjects.name = 'spX'", textColumns({"id", "name"}),
                     {textRow({"7", "spX"})});
    h.target.failOn("DROP PROCEDURE spX",
                    db::Error(db::errc::kServerError,
                              "Cannot drop the procedure 'spX', because it does not exist in "
                              "the system catalog."));

    EXPECT_EQ(h.pressUpgrade({proceduresPhase()}), app::OperationOutcome::Failed);

    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text,
              "Cannot drop the procedure 'spX', because it does not exist in the system catalog. " +
                  kBreak + "Objecto: spX");
    EXPECT_THAT(h.targetSent("CREATE PROCEDURE"), IsEmpty());
}

// Debug mode asks before each object (title: the window's caption); No sends nothing for
// that object, not even its existence query.
TEST(Procedures, DebugNoLeavesTheProcedureAlone) {
    ObjectsHarness h;
    h.form.FXDebug.value = 1;
    h.host.answer({app::mb::kAnswerNo, app::mb::kAnswerYes});
    h.store.onQuery("SELECT * FROM tbProcedures ORDER BY procedure_id", kModuleRows,
                    {textRow({"spX", "CREATE PROCEDURE spX AS RETURN 0"}),
                     textRow({"spY", "CREATE PROCEDURE spY AS RETURN 1"})});

    EXPECT_TRUE(h.runPhase(proceduresPhase()));

    ASSERT_EQ(h.host.messages.size(), 2u);
    EXPECT_EQ(h.host.messages[0].text, "Deseja processar o STORED PROCEDURE: spX ?");
    EXPECT_EQ(h.host.messages[0].flags, 36);
    EXPECT_EQ(h.host.messages[0].title, h.form.caption);
    EXPECT_THAT(h.targetSent("spX"), IsEmpty());
    EXPECT_THAT(
        h.target.log,
        ElementsAre("SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype "
                    "= 'P' AND sysobjects.status = 1610612736 AND sysobjects.name = 'spY'",
                    "CREATE PROCEDURE spY AS RETURN 1"));
    EXPECT_EQ(h.form.ProgressBar1.value, 2);
}

}  // namespace
}  // namespace objects
