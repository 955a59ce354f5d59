#include "objects/maintenance_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "objects_harness.h"

namespace objects {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ObjectsHarness;

const std::vector<db::Column> kExecuteRows = {{"execute_id", db::ado::kInteger},
                                              {"activo", db::ado::kInteger},
                                              {"comando", db::ado::kLongVarWChar}};

std::vector<db::Value> command(int id, db::Value activo, db::Value comando) {
    return {db::Value::integer(id), std::move(activo), std::move(comando)};
}

// Inactive rows, a NULL command and a command of blanks send nothing; the others run in
// stored order, untrimmed, with their markers turned back into apostrophes; nothing is
// logged.
TEST(MaintenanceCommands, ActiveCommandsRunInStoredOrder) {
    ObjectsHarness h;
    h.store.onQuery(
        "SELECT * FROM tbExecute ORDER BY execute_id", kExecuteRows,
        {command(1, db::Value::integer(1), db::Value::text(" UPDATE t SET a = 'x!39!y' ")),
         command(2, db::Value::integer(0), db::Value::text("DELETE FROM t")),
         command(3, db::Value(), db::Value::text("DELETE FROM t")),
         command(4, db::Value::integer(-1), db::Value()),
         command(5, db::Value::integer(-1), db::Value::text("   ")),
         command(6, db::Value::boolean(true), db::Value::text("EXEC spLimpa"))});

    EXPECT_TRUE(h.runPhase(maintenancePhase()));

    EXPECT_THAT(h.targetStatements(),
                ElementsAre(" UPDATE t SET a = 'x' + CHAR(39) + 'y' ", "EXEC spLimpa"));
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Procedimentos de manutenção ...");
    EXPECT_EQ(h.form.ProgressBar1.value, 6);
}

TEST(MaintenanceCommands, AFailingCommandAsksAndYesGoesOn) {
    ObjectsHarness h;
    h.store.onQuery("SELECT * FROM tbExecute ORDER BY execute_id", kExecuteRows,
                    {command(1, db::Value::integer(1), db::Value::text("EXEC spFalha")),
                     command(2, db::Value::integer(1), db::Value::text("EXEC spLimpa"))});
    h.target.failOn(
        "spFalha", db::Error(db::errc::kServerError, "Could not find stored procedure 'spFalha'."));
    h.host.answer({app::mb::kAnswerYes});

    EXPECT_TRUE(h.runPhase(maintenancePhase()));

    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "Erro: Could not find stored procedure 'spFalha'." +
                                           testing::kBreak + "Deseja continuar?");
    EXPECT_EQ(h.host.messages[0].title, "Schemix");
    EXPECT_EQ(h.targetStatements().back(), "EXEC spLimpa");
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
}

}  // namespace
}  // namespace objects
