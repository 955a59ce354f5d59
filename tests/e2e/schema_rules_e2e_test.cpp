// The product against targets that hold foreign keys and triggers: an identity rebuild
// that SQL Server refuses because another table references the table, and a data
// statement sent through the upgrade's statement runner that fires the target's trigger.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "phase_list/upgrade_phases.h"
#include "upgrade/statement_runner.h"

namespace {

using app::OperationOutcome;
using ::testing::ElementsAre;

class SchemaRules : public ::testing::Test {
protected:
    SchemaRules()
        : env(false, false,
              {{"fkref", "tests/fixtures/rebuild_fk_reference.sql"},
               {"fktarget", "tests/fixtures/rebuild_fk_target.sql"},
               {"shop", "tests/fixtures/shop.sql"}}) {}

    std::vector<std::string> rows(const std::string& database, const std::string& query) {
        return e2e::queryRows(*env.openServer(database), query);
    }

    e2e::Environment env;
};

// tbCustomers.id must become an identity column, so the upgrade rebuilds the table; SQL
// Server refuses to drop a table a foreign key references, and the run reports it. The
// rebuild's transaction leaves the table, its rows and the foreign key as they were.
TEST_F(SchemaRules, AnIdentityRebuildMeetsAReferencingForeignKey) {
    app::MainForm captureForm;
    env.pointAt(captureForm, "fkref");
    testing_support::FakeHost captureHost;
    ASSERT_EQ(capture::runCapture(captureForm, captureHost, env.openers()),
              OperationOutcome::Completed);

    app::MainForm form;
    env.pointAt(form, "fktarget");
    form.FXBackup.value = 0;
    testing_support::FakeHost host;
    EXPECT_EQ(phase_list::pressUpgradeButton(form, host, env.openers()), OperationOutcome::Failed);
    EXPECT_THAT(
        host.messageTexts(),
        ElementsAre("Could not drop object 'tbCustomers' because it is referenced by a FOREIGN "
                    "KEY constraint."));
    EXPECT_THAT(rows("fktarget", "SELECT id, name FROM tbCustomers ORDER BY id"),
                ElementsAre("1|Acme Lda", "2|O'Neil & Filhos"));
    EXPECT_THAT(rows("fktarget",
                     "SELECT COLUMNPROPERTY(OBJECT_ID('tbCustomers'), 'id', 'IsIdentity'), "
                     "OBJECTPROPERTY(OBJECT_ID('FK_tbOrders_tbCustomers'), 'IsForeignKey'), "
                     "(SELECT COUNT(*) FROM sysobjects WHERE name = 'Tmp_tbCustomers')"),
                ElementsAre("0|1|0"));
    EXPECT_THAT(rows("fktarget", "SELECT id, customerId FROM tbOrders ORDER BY id"),
                ElementsAre("10|1", "11|2"));
}

// A data statement through the statement runner, as the system data and the maintenance
// commands send theirs: the target's audit trigger writes its row, and a change it refuses
// (RAISERROR + ROLLBACK TRANSACTION) reaches the question with the trigger's message and
// leaves the row as it was.
TEST_F(SchemaRules, ADataStatementFiresTheTargetsTrigger) {
    auto target = env.openServer("shop");
    testing_support::FakeHost host;
    app::MainForm form;
    form.FXSilence.value = 0;
    auto store = env.openStore();
    upgrade::StatementRunner runner(*target, *store, form, host,
                                    upgrade::ExecutionMode::IgnoreErrors);

    EXPECT_EQ(runner.execute("INSERT INTO tbOrders (customerId, quantity) VALUES (1, 5)",
                             upgrade::ExecutionMode::AskOnError),
              std::nullopt);
    EXPECT_THAT(rows("shop", "SELECT orderId, action, quantity FROM tbOrderAudit ORDER BY id"),
                ElementsAre("1|INSERT|10", "2|INSERT|150", "3|INSERT|5"));

    host.answer({app::mb::kAnswerYes});
    auto refused = runner.execute("UPDATE tbOrders SET status = 'C' WHERE id = 2",
                                  upgrade::ExecutionMode::AskOnError);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->nativeError(), 50000);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Erro: Orders over 100 units cannot be cancelled.\n\r\n\rDeseja continuar?");
    EXPECT_THAT(rows("shop", "SELECT id, status FROM tbOrders ORDER BY id"),
                ElementsAre("1|N", "2|S", "3|N"));
    EXPECT_THAT(rows("shop", "SELECT COUNT(*) FROM tbOrderAudit"), ElementsAre("3"));
}

}  // namespace
