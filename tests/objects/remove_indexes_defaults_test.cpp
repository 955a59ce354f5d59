#include "objects/remove_indexes_defaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/error.h"
#include "objects_harness.h"
#include "upgrade/target_catalog.h"

namespace objects {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ObjectsHarness;
using testing::textColumns;
using testing::textRow;

TEST(RemovalPhases, RunOnlyWhileTheirBoxIsTicked) {
    app::MainForm form;
    EXPECT_FALSE(indexRemovalPhase().condition(form));
    EXPECT_FALSE(defaultRemovalPhase().condition(form));
    form.FXIndexes.value = 1;
    EXPECT_TRUE(indexRemovalPhase().condition(form));
    EXPECT_FALSE(defaultRemovalPhase().condition(form));
    form.FXDefaults.value = 1;
    EXPECT_TRUE(defaultRemovalPhase().condition(form));
}

// IX_Customer over two columns of a table with a key and a default comes back four
// times: every drop is sent, the failing repeats are ignored, nothing is logged.
TEST(IndexRemoval, DropsEveryListedIndexWithErrorsIgnored) {
    ObjectsHarness h;
    const auto row = textRow({"IX_Customer", "tbCustomer", "nome"});
    h.target.onQuery(upgrade::ixIndexListQuery(), textColumns({"IX_Name", "tabela", "campo"}),
                     {row, row, row, textRow({"IX_Customer", "tbCustomer", "cidade"})});
    h.target.failOn("DROP INDEX",
                    db::Error(db::errc::kServerError,
                              "Cannot drop the index 'tbCustomer.IX_Customer', because it does "
                              "not exist in the system catalog."));

    EXPECT_TRUE(h.runPhase(indexRemovalPhase()));

    EXPECT_THAT(h.targetStatements(), ElementsAre("DROP INDEX [tbCustomer].[IX_Customer]",
                                                  "DROP INDEX [tbCustomer].[IX_Customer]",
                                                  "DROP INDEX [tbCustomer].[IX_Customer]",
                                                  "DROP INDEX [tbCustomer].[IX_Customer]"));
    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Remover Indexes ...");
    EXPECT_EQ(h.form.ProgressBar1.value, 4);
}

TEST(DefaultRemoval, DropsEveryListedDefaultByItsName) {
    ObjectsHarness h;
    h.target.onQuery(upgrade::defaultListQuery(),
                     textColumns({"DF_name", "tabela", "campo", "valor"}),
                     {textRow({"DF_tbX_qtd", "tbX", "qtd", "(0)"}),
                      textRow({"DF__tbO'Neil__nome__1A2B", "tbO'Neil", "nome", "('')"})});

    EXPECT_TRUE(h.runPhase(defaultRemovalPhase()));

    EXPECT_THAT(h.targetStatements(),
                ElementsAre("ALTER TABLE [tbX] DROP CONSTRAINT [DF_tbX_qtd]",
                            "ALTER TABLE [tbO'Neil] DROP CONSTRAINT [DF__tbO'Neil__nome__1A2B]"));
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Remover Defaults ...");
}

TEST(IndexRemoval, AFailingListQueryEndsTheRun) {
    ObjectsHarness h;
    h.form.FXIndexes.value = 1;
    h.target.onQuery("SELECT TOP 1 * FROM tbVersao", textColumns({"upgrading"}),
                     {{db::Value::integer(0)}});
    h.target.failOn("FROM sysindexkeys",
                    db::Error(db::errc::kObjectNotFound, "Invalid object name 'sysindexkeys'."));

    EXPECT_EQ(h.pressUpgrade({indexRemovalPhase(), defaultRemovalPhase()}),
              app::OperationOutcome::Failed);

    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "Invalid object name 'sysindexkeys'.");
    EXPECT_THAT(h.targetSent("as DF_name"), IsEmpty());
}

}  // namespace
}  // namespace objects
