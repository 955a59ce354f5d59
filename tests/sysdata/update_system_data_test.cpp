#include "sysdata/update_system_data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/error.h"
#include "sysdata/system_data_statements.h"
#include "sysdata_harness.h"
#include "upgrade/phase_row_loop.h"

namespace sysdata {
namespace {

using testing::Dados;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::kBreak;
using testing::logInserts;
using testing::SysdataHarness;

const db::Error kDuplicate(db::errc::kIntegrityViolation,
                           "Violation of PRIMARY KEY constraint 'PK_tbX'. Cannot insert duplicate "
                           "key in object 'tbX'.");

Dados row(const std::string& table, int id, bool onlyIfEmpty = false, bool forceUpdate = false) {
    const std::string key = std::to_string(id);
    return {table,       "id",       key, "INSERT INTO " + table + " (id) VALUES (" + key + ")",
            onlyIfEmpty, forceUpdate};
}

TEST(SystemDataPhase, RunsOnlyWhileItsBoxIsTicked) {
    app::MainForm form;
    EXPECT_TRUE(systemDataPhase().condition(form));  // ticked by design
    form.FXDadosUpdate.value = 0;
    EXPECT_FALSE(systemDataPhase().condition(form));
}

// An empty tbDados ends the phase after the delete-first pass, without a progress text.
TEST(SystemDataPhase, AnEmptyStoreEndsWithoutProgress) {
    SysdataHarness h;
    h.form.FXDadosUpdateMenus.value = 0;
    h.form.FXEvolucao.caption = "before";
    h.storeRows({});

    EXPECT_TRUE(h.runPhase());

    EXPECT_THAT(h.store.log, ElementsAre(deleteFirstQuery(false, true), "SELECT * FROM tbDados"));
    EXPECT_EQ(h.form.FXEvolucao.caption, "before");
    EXPECT_THAT(h.targetStatements(), IsEmpty());
}

// Table runs: the decision is taken from each run's first row, once (a later row's flag is
// not looked at), so a table split into two runs is counted twice; the window is kept alive
// once per run; the bar counts every row.
TEST(SystemDataPhase, TheApplyDecisionIsTakenOncePerTableRun) {
    SysdataHarness h;
    h.storeRows({row("tbA", 1, true), row("tbA", 2, false), row("tbB", 1), row("tbA", 3, true)});
    h.target.onQuery("SELECT COUNT(*) as no FROM tbA", {{"no", db::ado::kInteger}},
                     {{db::Value::integer(0)}});

    EXPECT_TRUE(h.runPhase());

    EXPECT_THAT(h.targetStatements(),
                ElementsAre("INSERT INTO tbA (id) VALUES (1)", "INSERT INTO tbA (id) VALUES (2)",
                            "INSERT INTO tbB (id) VALUES (1)", "INSERT INTO tbA (id) VALUES (3)"));
    int counts = 0;
    for (const std::string& sql : h.target.log) counts += sql == "SELECT COUNT(*) as no FROM tbA";
    EXPECT_EQ(counts, 2);
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Dados de Sistema ...");
    EXPECT_EQ(h.form.ProgressBar1.max, 4);
    EXPECT_EQ(h.form.ProgressBar1.value, 4);
    EXPECT_EQ(h.host.pumps, 4);  // the start of the pass, then one per table run
}

TEST(SystemDataPhase, ARunStartingOnATableWithRowsIsPassedOver) {
    SysdataHarness h;
    h.storeRows({row("tbA", 1, true), row("tbA", 2), row("tbB", 1)});
    h.target.onQuery("SELECT COUNT(*) as no FROM tbA", {{"no", db::ado::kInteger}},
                     {{db::Value::integer(1)}});

    EXPECT_TRUE(h.runPhase());

    EXPECT_THAT(h.targetStatements(), ElementsAre("INSERT INTO tbB (id) VALUES (1)"));
    EXPECT_EQ(h.form.ProgressBar1.value, 3);
}

// A failed deletion asks, naming the table; Yes goes on and the statement is logged. No
// shows the description with the row's command as stored, and the phase ends with false
// before anything else is sent or logged.
TEST(SystemDataPhase, AFailureAsksNamingTheTableAndNoShowsTheStoredCommand) {
    for (const int answer : {app::mb::kAnswerYes, app::mb::kAnswerNo}) {
        SysdataHarness h;
        h.storeRows(
            {{"tbX", "nome", "O'Neil", "INSERT INTO tbX (nome) VALUES ('O!39!Neil')", false, true},
             row("tbY", 1)});
        h.targetRow("SELECT nome FROM tbX WHERE nome = 'O''Neil'");
        h.target.failOn("DELETE FROM tbX", kDuplicate);
        h.host.answer({answer});

        EXPECT_EQ(h.runPhase(), answer == app::mb::kAnswerYes);

        ASSERT_GE(h.host.messages.size(), 1u);
        EXPECT_EQ(h.host.messages[0].text,
                  "Erro: [tbX] " + kDuplicate.description() + kBreak + "Deseja continuar?");
        EXPECT_EQ(h.host.messages[0].flags, 36);
        EXPECT_EQ(h.host.messages[0].title, "Schemix");
        if (answer == app::mb::kAnswerYes) {
            EXPECT_EQ(h.host.messages.size(), 1u);
            EXPECT_THAT(h.loggedStatements(),
                        ElementsAre(testing::logInsert("DELETE FROM tbX WHERE nome = 'O''Neil'"),
                                    testing::logInsert(
                                        "INSERT INTO tbX (nome) VALUES ('O' + CHAR(39) + 'Neil')"),
                                    testing::logInsert("INSERT INTO tbY (id) VALUES (1)")));
        } else {
            ASSERT_EQ(h.host.messages.size(), 2u);
            EXPECT_EQ(h.host.messages[1].text, kDuplicate.description() + kBreak +
                                                   "INSERT INTO tbX (nome) VALUES ('O!39!Neil')");
            EXPECT_EQ(h.host.messages[1].flags, 64);
            EXPECT_EQ(h.host.messages[1].title, std::nullopt);
            EXPECT_THAT(h.targetStatements(),
                        ElementsAre("DELETE FROM tbX WHERE nome = 'O''Neil'"));
            EXPECT_THAT(h.loggedStatements(), IsEmpty());
        }
    }
}

// A new row's failed insert is never asked about, only logged; a forced update's failed
// re-insert is asked about after its large fields; with FXSilence ticked nothing is asked
// and everything is still logged, a failing log insert let go.
TEST(SystemDataPhase, NewRowsAreNeverAskedAboutAndSilenceAsksNothing) {
    for (const bool silenced : {false, true}) {
        SysdataHarness h;
        h.form.FXSilence.value = silenced ? 1 : 0;
        h.storeRows({row("tbNew", 1), row("tbOld", 2, false, true)});
        h.targetRow("SELECT id FROM tbOld WHERE id = 2");
        h.target.failOn("INSERT INTO", kDuplicate);
        h.store.failOn("INSERT INTO tbLogs (descrit) VALUES ('DELETE",
                       db::Error(db::errc::kStoreError, "database or disk is full"));

        EXPECT_TRUE(h.runPhase());

        if (silenced) {
            EXPECT_THAT(h.host.messages, IsEmpty());
        } else {
            ASSERT_EQ(h.host.messages.size(), 1u);
            EXPECT_EQ(h.host.messages[0].text,
                      "Erro: [tbOld] " + kDuplicate.description() + kBreak + "Deseja continuar?");
        }
        EXPECT_EQ(h.loggedStatements(),
                  logInserts({"INSERT INTO tbNew (id) VALUES (1)", "DELETE FROM tbOld WHERE id = 2",
                              "INSERT INTO tbOld (id) VALUES (2)"}));
    }
}

// The version row: the deletion's question names no table, the insert's does.
TEST(SystemDataPhase, TheVersionRowsDeletionAsksWithoutATableName) {
    SysdataHarness h;
    h.storeRows(
        {{"tbVersao", "versao", "4.0.1", "INSERT INTO tbVersao (versao) VALUES ('4.0.1')"}});
    h.target.failOn("DELETE FROM tbVersao", kDuplicate);
    h.target.failOn("INSERT INTO tbVersao", kDuplicate);
    h.host.answer({app::mb::kAnswerYes, app::mb::kAnswerYes});

    EXPECT_TRUE(h.runPhase());

    ASSERT_EQ(h.host.messages.size(), 2u);
    EXPECT_EQ(h.host.messages[0].text,
              "Erro: " + kDuplicate.description() + kBreak + "Deseja continuar?");
    EXPECT_EQ(h.host.messages[0].title, "Schemix");
    EXPECT_EQ(h.host.messages[1].text,
              "Erro: [tbVersao] " + kDuplicate.description() + kBreak + "Deseja continuar?");
    EXPECT_EQ(h.loggedStatements().size(), 2u);
}

// An existing menu entry: one question at most, about the last of its three failures.
TEST(SystemDataPhase, AMenuEntryAsksOnceAboutItsLastFailure) {
    SysdataHarness h;
    h.storeRows({{"tbMenu_Main", "id_menu", "7", "INSERT INTO tbMenu_Main (id_menu) VALUES (7)"}});
    h.targetRow("SELECT * FROM tbMenu_Main WHERE id_menu = '7'",
                {{"users_groups", db::ado::kVarChar}}, {{db::Value::text("Vendas")}});
    h.target.failOn("DELETE FROM tbMenu_Main", db::Error(db::errc::kServerError, "first"));
    h.target.failOn("UPDATE tbMenu_Main", db::Error(db::errc::kServerError, "last"));

    EXPECT_TRUE(h.runPhase());

    EXPECT_EQ(h.targetStatements().size(), 3u);
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "Erro: [tbMenu_Main] last" + kBreak + "Deseja continuar?");
}

// Failures outside ask-on-error execution end the phase: on a stored row with its command
// shown, elsewhere (the delete-first pass, menu cleaning) without a box.
TEST(SystemDataPhase, AFailedQueryEndsThePhase) {
    const db::Error missing(db::errc::kObjectNotFound, "Invalid object name 'tbX'.");
    {
        SysdataHarness h;
        h.storeRows({row("tbX", 1)});
        h.target.failOn("SELECT id FROM tbX", missing);
        EXPECT_FALSE(h.runPhase());
        ASSERT_EQ(h.host.messages.size(), 1u);
        EXPECT_EQ(h.host.messages[0].text,
                  "Invalid object name 'tbX'." + kBreak + "INSERT INTO tbX (id) VALUES (1)");
        EXPECT_EQ(h.host.messages[0].flags, 64);
    }
    {
        SysdataHarness h;
        h.storeRows({{"tbX", "id", "1", "INSERT INTO tbX (id) VALUES (1)", false, false, true}});
        h.target.failOn("DELETE FROM tbX", missing);
        h.host.answer({app::mb::kAnswerNo});
        EXPECT_FALSE(h.runPhase());
        EXPECT_EQ(h.host.messages.size(), 1u);  // the question only
    }
    {
        SysdataHarness h;
        h.storeRows({row("tbX", 1)});
        h.form.FXDadosUpdateMenusClean.value = 1;
        h.form.FXDadosUpdateMenusClean.visible = true;
        h.target.failOn("DELETE FROM tbMenu_Main_Items_Fields",
                        db::Error(db::errc::kObjectNotFound,
                                  "Invalid object name 'tbMenu_Main_Items_Fields'."));
        EXPECT_FALSE(h.runPhase());
        EXPECT_THAT(h.host.messages, IsEmpty());
        EXPECT_THAT(h.targetStatements(),
                    ElementsAre("DELETE FROM tbMenu_Main", "DELETE FROM tbMenu_Main_Items",
                                "DELETE FROM tbMenu_Main_Items_Fields"));
    }
}

// Menu cleaning runs only while "Limpar Menus" is ticked and visible: seven tables emptied
// in order after the delete-first pass, before the row pass, nothing logged.
TEST(SystemDataPhase, MenusAreCleanedOnlyWhenTickedAndVisible) {
    for (const bool visible : {true, false}) {
        SysdataHarness h;
        h.form.FXDadosUpdateMenusClean.value = 1;
        h.form.FXDadosUpdateMenusClean.visible = visible;
        h.storeRows({{"tbX", "id", "1", "INSERT INTO tbX (id) VALUES (1)", false, false, true}});

        EXPECT_TRUE(h.runPhase());

        if (!visible) {
            EXPECT_THAT(h.targetStatements(), ElementsAre("DELETE FROM tbX WHERE id = 1",
                                                          "INSERT INTO tbX (id) VALUES (1)"));
            continue;
        }
        EXPECT_THAT(
            h.targetStatements(),
            ElementsAre("DELETE FROM tbX WHERE id = 1", "DELETE FROM tbMenu_Main",
                        "DELETE FROM tbMenu_Main_Items", "DELETE FROM tbMenu_Main_Items_Fields",
                        "DELETE FROM tbMenu_Main_Items_Fields_Order",
                        "DELETE FROM tbMenu_Main_Items_Fields_Order_UserDefaults",
                        "DELETE FROM tbMenu_Main_Items_Fields_UserDefaults",
                        "DELETE FROM tbMenu_Main_Sub", "INSERT INTO tbX (id) VALUES (1)"));
        EXPECT_EQ(h.loggedStatements(),
                  logInserts({"DELETE FROM tbX WHERE id = 1", "INSERT INTO tbX (id) VALUES (1)"}));
    }
}

// A cancel press is honoured at the start of the next table run: the button restored, the
// store cursor and both connections closed and, as in every other phase, the upgrading
// mark released.
TEST(SystemDataPhase, ACancelAtATableRunReleasesTheMark) {
    SysdataHarness h;
    h.form.UpgradeGuardActive = true;
    h.form.Command2.caption = app::kCancelCaption;
    h.form.Command2.enabled = false;
    h.storeRows({row("tbA", 1), row("tbA", 2), row("tbB", 1)});
    // Pump 1 starts the pass, pump 2 the run of tbA, pump 3 the run of tbB.
    h.host.atPump(3, [&] { h.form.CancelRequested = true; });

    EXPECT_THROW(h.runPhase(), upgrade::RunCancelled);

    EXPECT_THAT(h.targetStatements(),
                ElementsAre("INSERT INTO tbA (id) VALUES (1)", "INSERT INTO tbA (id) VALUES (2)",
                            "UPDATE tbVersao SET upgrading = 0"));
    EXPECT_FALSE(h.target.isOpen());
    EXPECT_FALSE(h.store.isOpen());
    EXPECT_EQ(h.form.Command2.caption, "Processar Upgrade");
    EXPECT_TRUE(h.form.Command2.enabled);
    EXPECT_THAT(h.host.messages, IsEmpty());
}

}  // namespace
}  // namespace sysdata
