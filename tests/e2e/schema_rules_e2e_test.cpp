// The product against targets that hold foreign keys and triggers: an identity rebuild
// that SQL Server refuses because another table references the table, and maintenance
// commands whose data statements fire the target's trigger.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "phase_list/upgrade_phases.h"

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

    // The shop as the reference of itself: the upgrade finds its tables and objects as
    // they should be, all but the collation of its character columns.
    void captureShopAsItsOwnReference() {
        app::MainForm form;
        env.pointAt(form, "shop");
        testing_support::FakeHost host;
        ASSERT_EQ(capture::runCapture(form, host, env.openers()), OperationOutcome::Completed);
    }

    std::optional<OperationOutcome> upgradeShop(testing_support::FakeHost& host) {
        app::MainForm form;
        env.pointAt(form, "shop");
        form.FXBackup.value = 0;
        form.FXSilence.value = 0;
        return phase_list::pressUpgradeButton(form, host, env.openers());
    }

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

// The shop's character columns are in the server's collation, the upgrade wants
// Latin1_General_CI_AI: its column alteration sends ALTER COLUMN ... COLLATE for each, and
// SQL Server refuses those that a key, a foreign key or a check uses (5074, then 4922). The
// run shows each refusal and goes on; those columns keep their collation. The view it drops
// and creates again comes back without the permission granted on it.
TEST_F(SchemaRules, CollationAlterationsMeetKeysForeignKeysAndChecks) {
    captureShopAsItsOwnReference();
    testing_support::FakeHost host;
    EXPECT_EQ(upgradeShop(host), OperationOutcome::Completed);
    const std::string lf = "\n\r\n\r";
    EXPECT_THAT(
        host.messageTexts(),
        ElementsAre(
            "Erro: The object 'UQ_tbCustomers_code' is dependent on column 'code'." + lf +
                "ALTER TABLE [tbCustomers] ALTER COLUMN  [code] [varchar] (10)  COLLATE "
                "Latin1_General_CI_AI  NOT NULL ",
            "Erro: The object 'FK_tbOrderLines_tbProducts' is dependent on column 'product'." + lf +
                "ALTER TABLE [tbOrderLines] ALTER COLUMN  [product] [char] (6)  COLLATE "
                "Latin1_General_CI_AI  NOT NULL ",
            "Erro: The object 'CK_tbOrders_status' is dependent on column 'status'." + lf +
                "ALTER TABLE [tbOrders] ALTER COLUMN  [status] [char] (1)  COLLATE "
                "Latin1_General_CI_AI  NOT NULL ",
            "Erro: The object 'PK_tbProducts' is dependent on column 'code'." + lf +
                "ALTER TABLE [tbProducts] ALTER COLUMN  [code] [char] (6)  COLLATE "
                "Latin1_General_CI_AI  NOT NULL ",
            "As definições da base de dados foram actualizadas com sucesso!"));
    EXPECT_THAT(
        rows("shop",
             "SELECT o.name, c.name, c.collation FROM syscolumns c JOIN sysobjects o ON "
             "o.id = c.id WHERE o.name IN ('tbCustomers', 'tbOrders') AND c.collation IS NOT "
             "NULL ORDER BY o.name, c.colid"),
        ElementsAre("tbCustomers|code|SQL_Latin1_General_CP1_CI_AS",
                    "tbCustomers|name|Latin1_General_CI_AI",
                    "tbOrders|status|SQL_Latin1_General_CP1_CI_AS"));
    EXPECT_THAT(rows("shop",
                     "SELECT o.name FROM sysprotects p JOIN sysobjects o ON o.id = p.id "
                     "WHERE p.action = 193 ORDER BY o.name"),
                ElementsAre("tbCustomers", "tbOrders"));
}

// The maintenance commands send data statements as the system data does. The first fires
// the audit trigger, which writes its row; the trigger refuses the second (RAISERROR +
// ROLLBACK TRANSACTION): its message reaches the question, and the row stays as it was.
TEST_F(SchemaRules, AMaintenanceCommandFiresTheTargetsTrigger) {
    captureShopAsItsOwnReference();
    {
        auto store = env.openStore();
        store->execute(
            "INSERT INTO tbExecute (activo, comando) VALUES (1, "
            "'INSERT INTO tbOrders (customerId, quantity) VALUES (1, 5)')");
        store->execute(
            "INSERT INTO tbExecute (activo, comando) VALUES (1, "
            "'UPDATE tbOrders SET status = ''C'' WHERE id = 2')");
    }
    testing_support::FakeHost host;
    host.answer({app::mb::kAnswerYes});
    EXPECT_EQ(upgradeShop(host), OperationOutcome::Completed);
    ASSERT_GE(host.messages.size(), 2u);
    const auto& question = host.messages[host.messages.size() - 2];
    EXPECT_EQ(question.text,
              "Erro: Orders over 100 units cannot be cancelled.\n\r\n\rDeseja continuar?");
    EXPECT_EQ(question.flags, app::mb::kYesNo | app::mb::kQuestion);
    EXPECT_EQ(host.messages.back().text,
              "As definições da base de dados foram actualizadas com sucesso!");
    EXPECT_THAT(rows("shop", "SELECT orderId, action, quantity FROM tbOrderAudit ORDER BY id"),
                ElementsAre("1|INSERT|10", "2|INSERT|150", "3|INSERT|5"));
    EXPECT_THAT(rows("shop", "SELECT id, status FROM tbOrders ORDER BY id"),
                ElementsAre("1|N", "2|S", "3|N"));
}

}  // namespace
