// How a capture and an upgrade read the catalog: in a few set-based queries, never with
// the per-item queries the catalog model answers in their place (which would still give
// the right result, since a question the model cannot answer falls back to them, but one
// round trip per table, column, index or default).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "phase_list/upgrade_phases.h"
#include "db/error.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::HasSubstr;
using app::OperationOutcome;

class CatalogReads : public ::testing::Test {
protected:
    std::size_t traceMark() const { return std::filesystem::file_size(env.tracePath()); }
    std::string traceSince(std::size_t mark) const {
        std::ifstream in(env.tracePath(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(mark));
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    OperationOutcome upgrade() {
        app::MainForm form;
        env.pointAt(form, "target");
        form.FXBackup.value = 0;
        testing_support::FakeHost host;
        return phase_list::pressUpgradeButton(form, host, env.openers()).value_or(OperationOutcome::Failed);
    }

    e2e::Environment env{true, false, {}, true};
};

// The texts that only the per-item catalog queries send.
void expectNoPerItemQuery(const std::string& sent) {
    EXPECT_THAT(sent, Not(HasSubstr("WHERE SOURCE_sysobjects.name = ")));    // columns
    EXPECT_THAT(sent, Not(HasSubstr("WHERE SOURCE_sysobjects_2.name = ")));  // keys, indexes
    EXPECT_THAT(sent, Not(HasSubstr("AND  SOURCE_sysobjects.name = ")));     // defaults
    EXPECT_THAT(sent, Not(HasSubstr("FROM sysusers WHERE name = ")));        // roles, users
    EXPECT_THAT(sent, Not(HasSubstr("WHERE sysobjects.name = 'tbUsers'")));
    EXPECT_THAT(sent, Not(HasSubstr("' AND name = ")));                      // functions, views
    EXPECT_THAT(sent, Not(HasSubstr("sysobjects.status = 1610612736 AND sysobjects.name = ")));
}

TEST_F(CatalogReads, ACaptureAndTwoUpgradesUseNoPerItemCatalogQuery) {
    std::size_t mark = traceMark();
    app::MainForm captureForm;
    env.pointAt(captureForm, "reference");
    testing_support::FakeHost captureHost;
    ASSERT_EQ(capture::runCapture(captureForm, captureHost, env.openers()), OperationOutcome::Completed);
    const std::string capture = traceSince(mark);
    EXPECT_THAT(capture, Not(HasSubstr("WHERE exclude <> 0 AND descrit = ")));
    EXPECT_THAT(capture, Not(HasSubstr("AND sysobjects.name = ")));      // chunks of a function or view
    EXPECT_THAT(capture, Not(HasSubstr("WHERE syscomments.id =")));      // chunks of a procedure

    mark = traceMark();
    ASSERT_EQ(upgrade(), OperationOutcome::Completed);  // the target changes
    expectNoPerItemQuery(traceSince(mark));
    mark = traceMark();
    ASSERT_EQ(upgrade(), OperationOutcome::Completed);  // now it is as the store says
    expectNoPerItemQuery(traceSince(mark));
}


// A target on which another session drops a table after the catalog model was read and
// before the upgrade's first statement for it: the stale model must not hide the failure.
class DroppedMidway : public e2e::ForwardingConnection {
public:
    DroppedMidway(std::unique_ptr<db::Connection> inner, std::function<void()> dropIt)
        : ForwardingConnection(std::move(inner)), m_dropIt(std::move(dropIt)) {}
    long execute(std::string_view sql) override {
        if (m_dropIt && sql.starts_with("ALTER TABLE [tbO'Neil]")) std::exchange(m_dropIt, nullptr)();
        return inner().execute(sql);
    }

private:
    std::function<void()> m_dropIt;
};

TEST(CatalogReadsStale, ATableDroppedAfterTheReadFailsItsStatementNamingItAndLeavesTheStore) {
    e2e::Environment env(false, false,
                         {{"quotedref", "tests/fixtures/quoted_names_reference.sql"},
                          {"quotedtarget", "tests/fixtures/quoted_names_target.sql"}});
    app::MainForm captureForm;
    env.pointAt(captureForm, "quotedref");
    testing_support::FakeHost captureHost;
    ASSERT_EQ(capture::runCapture(captureForm, captureHost, env.openers()), OperationOutcome::Completed);
    const auto definitions = [&env] {
        auto store = env.openStore();
        return e2e::storeRows(*store, "tbObjects", "object_id", "object_id");
    };
    const auto before = definitions();

    app::ConnectionOpeners openers = env.openers();
    openers.openServer = [&env, open = openers.openServer](const db::ServerSettings& settings) {
        return std::make_unique<DroppedMidway>(open(settings), [&env] {
            env.openServer("quotedtarget")->execute("DROP TABLE [tbO'Neil]");
        });
    };
    app::MainForm form;
    env.pointAt(form, "quotedtarget");
    form.FXBackup.value = 0;
    form.FXSilence.value = 0;
    testing_support::FakeHost host;
    host.answer({app::mb::kAnswerNo});  // "Deseja continuar?" after the failed statement: no
    EXPECT_NE(phase_list::pressUpgradeButton(form, host, openers), OperationOutcome::Completed);

    ASSERT_FALSE(host.messages.empty());
    const std::string& failure = host.messages.front().text;
    EXPECT_THAT(failure, HasSubstr("tbO'Neil"));
    EXPECT_THAT(failure, HasSubstr("ALTER TABLE [tbO'Neil]"));
    EXPECT_THAT(host.messageTexts(), Not(Contains("As definições da base de dados foram actualizadas com sucesso!")));
    EXPECT_EQ(definitions(), before);
    // A run that ends through its error exit leaves the target marked, as any failed run.
    EXPECT_THAT(e2e::queryRows(*env.openServer("quotedtarget"), "SELECT upgrading FROM tbVersao"),
                ElementsAre("1"));
}

}  // namespace
