// A reference and a target whose table names hold an apostrophe, captured and upgraded end
// to end: every statement that quotes such a name for SQL Server must be valid T-SQL, and
// every one kept in the store must keep the name as it is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "phase_list/upgrade_phases.h"
#include "store/sql_value.h"

namespace {

using app::OperationOutcome;
using ::testing::ElementsAre;

class QuotedNames : public ::testing::Test {
protected:
    QuotedNames()
        : env(false, false,
              {{"quotedref", "tests/fixtures/quoted_names_reference.sql"},
               {"quotedtarget", "tests/fixtures/quoted_names_target.sql"}}) {}

    // The rows of a target query, each row's columns joined by '|'.
    std::vector<std::string> targetRows(const std::string& query) {
        return e2e::queryRows(*env.openServer("quotedtarget"), query);
    }

    e2e::Environment env;
};

TEST_F(QuotedNames, CaptureAndUpgradeRunWithoutAnErrorMessage) {
    app::MainForm captureForm;
    env.pointAt(captureForm, "quotedref");
    testing_support::FakeHost captureHost;
    EXPECT_EQ(capture::runCapture(captureForm, captureHost, env.openers()),
              OperationOutcome::Completed);
    EXPECT_THAT(captureHost.messageTexts(),
                ElementsAre("As definições da base de dados foram guardadas com sucesso!"));
    {
        // tbD'Avila is excluded by its rule row; tbO'Neil's columns keep their name.
        auto store = env.openStore();
        EXPECT_THAT(
            e2e::storeRows(*store, "tbObjects", "object_id", "object_id"),
            ElementsAre("tbO'Neil|id|int|4|10|0|0|0|NULL", "tbO'Neil|nome|varchar|50|0|0|0|0|('')",
                        "tbO'Neil|cod|char|3|0|0|0|0|NULL", "tbO'Neil|qtd|int|4|10|0|1|0|NULL",
                        "tbO'Neil|seq|int|4|10|0|0|1|NULL", "tbSQLUpdate|id|int|4|10|0|0|1|NULL",
                        "tbSQLUpdate|descrit|varchar|128|0|0|0|0|NULL",
                        "tbSQLUpdate|exclude|int|4|10|0|0|0|(0)",
                        "tbSQLUpdate|disable|int|4|10|0|1|0|NULL",
                        "tbSQLUpdate|only_if_empty|bit|1|1|0|0|0|(0)",
                        "tbSQLUpdate|force_update|int|4|10|0|0|0|(0)",
                        "tbSQLUpdate|Delete_First|int|4|10|0|0|0|(0)",
                        "tbVersao|versao|varchar|20|0|0|0|0|NULL",
                        "tbVersao|upgrading|int|4|10|0|1|0|NULL"));
    }

    {
        auto store = env.openStore();
        EXPECT_THAT(e2e::storeRows(*store, "tbViews", "nome", "view_id"),
                    ElementsAre("vwO'Neil|CREATE VIEW [dbo].[vwO'Neil] AS SELECT [id], [nome] FROM "
                                "[dbo].[tbO'Neil]\n"));
    }

    app::MainForm form;
    env.pointAt(form, "quotedtarget");
    form.FXBackup.value = 0;
    form.FXSilence.value = 0;  // any failed statement would ask
    testing_support::FakeHost host;
    EXPECT_EQ(phase_list::pressUpgradeButton(form, host, env.openers()),
              OperationOutcome::Completed);
    EXPECT_THAT(host.messageTexts(),
                ElementsAre("As definições da base de dados foram actualizadas com sucesso!"));

    // nome altered (its IX index dropped first), cod added without its made-up default, qtd
    // added, seq rebuilt as the identity column; the row kept. Then the key, the index and
    // nome's default, which the rebuild took away, are there again; the system data adds
    // the reference's row.
    EXPECT_THAT(
        targetRows("SELECT c.name, t.name, c.length, c.isnullable, c.colstat, d.name FROM "
                   "syscolumns c "
                   "JOIN sysobjects o ON o.id = c.id JOIN systypes t ON t.xusertype = c.xtype "
                   "LEFT JOIN sysobjects d ON d.id = c.cdefault "
                   "WHERE o.name = 'tbO''Neil' ORDER BY c.colid"),
        ElementsAre("id|int|4|0|0|NULL", "nome|varchar|50|0|0|DF_tbO'Neil_nome", "seq|int|4|0|1|NULL",
                    "cod|char|3|0|0|NULL", "qtd|int|4|1|0|NULL"));
    EXPECT_THAT(targetRows("SELECT id, nome, seq, cod, qtd FROM [tbO'Neil] ORDER BY id"),
                ElementsAre("1|d'Ouro|1|abc|2", "7|O'Neil|40|   |NULL"));
    EXPECT_THAT(targetRows("SELECT name FROM sysobjects WHERE name LIKE 'Tmp%' OR name LIKE 'IX%'"),
                ElementsAre());
    EXPECT_THAT(targetRows("SELECT i.name FROM sysindexes i JOIN sysobjects o ON o.id = i.id WHERE o.name = "
                           "'tbO''Neil' AND i.indid BETWEEN 1 AND 250 ORDER BY i.name"),
                ElementsAre("IX_tbO'Neil_nome", "PK_tbO'Neil"));
    {
        auto store = env.openStore();
        // The statement log keeps the names as they are (a logged text loses its trailing
        // blanks); an index name that is no regular identifier is bracketed.
        EXPECT_THAT(
            e2e::storeRows(*store, "tbLogs", "descrit"),
            ElementsAre(
                "ALTER TABLE [tbO'Neil] ADD  [cod] [char] (3)  COLLATE Latin1_General_CI_AI  NOT NULL "
                "DEFAULT ('')",
                "ALTER TABLE [tbO'Neil] ADD  [qtd] [int]  NULL",
                "ALTER TABLE [tbO'Neil] ADD CONSTRAINT [DF_tbO'Neil_nome] DEFAULT ('') FOR [nome]",
                "ALTER TABLE [tbO'Neil] ADD CONSTRAINT [PK_tbO'Neil] PRIMARY KEY NONCLUSTERED ( [id] ) ON "
                "[PRIMARY]",
                "ALTER TABLE [tbO'Neil] ALTER COLUMN  [nome] [varchar] (50)  COLLATE "
                "Latin1_General_CI_AI  NOT NULL",
                "ALTER TABLE [tbSQLUpdate] ADD CONSTRAINT [DF_tbSQLUpdate_Delete_First] DEFAULT (0) FOR "
                "[Delete_First]",
                "ALTER TABLE [tbSQLUpdate] ADD CONSTRAINT [DF_tbSQLUpdate_exclude] DEFAULT (0) FOR [exclude]",
                "ALTER TABLE [tbSQLUpdate] ADD CONSTRAINT [DF_tbSQLUpdate_force_update] DEFAULT (0) FOR "
                "[force_update]",
                "ALTER TABLE [tbSQLUpdate] ADD CONSTRAINT [DF_tbSQLUpdate_only_if_empty] DEFAULT (0) FOR "
                "[only_if_empty]",
                "ALTER TABLE [tbSQLUpdate] ADD CONSTRAINT [PK_tbSQLUpdate] PRIMARY KEY NONCLUSTERED ( [id] ) ON "
                "[PRIMARY]",
                "CREATE INDEX [IX_tbO'Neil_nome] ON [tbO'Neil] ([nome]) ON [PRIMARY]",
                "CREATE TABLE [tbSQLUpdate] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [descrit] "
                "[varchar] (128)  COLLATE Latin1_General_CI_AI  NOT NULL  ,  [exclude] [int]  NOT NULL "
                " ,  "
                "[disable] [int]  NULL  ,  [only_if_empty] [bit]  NOT NULL  ,  [force_update] [int]  "
                "NOT "
                "NULL  ,  [Delete_First] [int]  NOT NULL ) ON [PRIMARY]",
                "DROP INDEX [tbO'Neil].[IX_tbO'Neil_nome]",
                "SET IDENTITY_INSERT [tbO'Neil] ON INSERT INTO [tbO'Neil] (id, nome, cod, qtd, seq) "
                "VALUES (1, 'd' + CHAR(39) + 'Ouro', 'abc', 2, 1)  SET IDENTITY_INSERT [tbO'Neil] OFF",
                "UPDATE [tbO'Neil] SET [nome] = ('') WHERE [nome] is null",
                "UPDATE [tbSQLUpdate] SET [Delete_First] = (0) WHERE [Delete_First] is null",
                "UPDATE [tbSQLUpdate] SET [exclude] = (0) WHERE [exclude] is null",
                "UPDATE [tbSQLUpdate] SET [force_update] = (0) WHERE [force_update] is null",
                "UPDATE [tbSQLUpdate] SET [only_if_empty] = (0) WHERE [only_if_empty] is null"));
    }

    // A second run finds the view vwO'Neil in the target and drops it by its bracketed name.
    testing_support::FakeHost again;
    EXPECT_EQ(phase_list::pressUpgradeButton(form, again, env.openers()), OperationOutcome::Completed);
    EXPECT_THAT(again.messageTexts(), ElementsAre("As definições da base de dados foram actualizadas com sucesso!"));
    auto store = env.openStore();
    EXPECT_THAT(e2e::storeRows(*store, "tbLogs", "descrit"), ElementsAre("DROP VIEW [vwO'Neil]"));
}

// The system data of a table named with an apostrophe: its rows are read, and the kept
// command writes the name in brackets, so that it runs on a server as it comes back from
// the store.
TEST_F(QuotedNames, ATableNamedWithAnApostropheKeepsARunnableCommand) {
    app::MainForm form;
    env.pointAt(form, "quotedref");
    testing_support::FakeHost host;
    ASSERT_EQ(capture::runCapture(form, host, env.openers()), OperationOutcome::Completed);
    auto store = env.openStore();
    EXPECT_THAT(e2e::storeRows(*store, "tbDados", "rowid"),
                ElementsAre("tbO'Neil|id|1|SET IDENTITY_INSERT [tbO'Neil] ON INSERT INTO [tbO'Neil] "
                            "(id, nome, cod, qtd, seq) VALUES (1, 'd!39!Ouro', 'abc', 2, 1)  SET "
                            "IDENTITY_INSERT [tbO'Neil] OFF|False|False|False"));

    db::Recordset kept = store->open("SELECT comando FROM tbDados", db::CursorType::Static);
    auto server = env.openServer("quotedref");
    server->execute("DELETE FROM [tbO'Neil]");
    server->execute(store::DeTransform(kept.field(0).value()));
    db::Recordset row = server->open("SELECT id, nome, seq FROM [tbO'Neil]", db::CursorType::Static);
    EXPECT_EQ(row.field("nome").value().toText(), "d'Ouro");
    EXPECT_EQ(row.field("seq").value().toText(), "1");
}

}  // namespace
