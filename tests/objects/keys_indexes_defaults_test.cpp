#include "objects/keys_indexes_defaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/error.h"
#include "objects_harness.h"

namespace objects {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::logInsert;
using testing::ObjectsHarness;
using testing::Rows;
using testing::textColumns;
using testing::textRow;

const std::vector<db::Column> kKeyRows = textColumns({"nome", "tabela", "campo"});
const std::vector<db::Column> kDefaultRows = textColumns({"DF_name", "tabela", "campo", "valor"});
const std::vector<db::Column> kTargetKey = textColumns({"PK_Name", "tabela", "campo"});

void storeKeys(ObjectsHarness& h, Rows rows) {
    h.store.onQuery("SELECT * FROM tbPrimary_Keys ORDER BY pkey_id", kKeyRows, std::move(rows));
}

// The target's key of `table`, its rows in column-name order as the catalog gives them.
void targetKey(ObjectsHarness& h, const std::string& table, Rows rows) {
    h.target.onQuery("SOURCE_sysobjects_2.name = '" + table + "' ORDER BY", kTargetKey,
                     std::move(rows));
}

TEST(KeyStatements, TextsAsTheirPiecesGiveThem) {
    EXPECT_EQ(keyColumnList({"id", "ano"}), " [id]  ,  [ano] ");
    EXPECT_EQ(keyColumnList({"a]b"}), " [a]]b] ");
    EXPECT_EQ(addPrimaryKeyStatement("T", "PK_T", keyColumnList({"id", "ano"})),
              "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED ( [id]  ,  [ano] ) "
              "ON [PRIMARY]");
    EXPECT_EQ(keyIntegrityMessage("tbO'Neil"),
              "Não foi possivel criar a chave primária, falta integridade nos dados da tabela "
              "'tbO'Neil'." +
                  testing::kBreak + "Clique em OK para continuar.");
    EXPECT_EQ(createIndexStatement("IX_tbX_data", "tbX", "data"),
              "CREATE INDEX IX_tbX_data ON [tbX] ([data]) ON [PRIMARY]");
    EXPECT_EQ(createIndexStatement("IX_tbO'Neil_nome", "tbO'Neil", "nome"),
              "CREATE INDEX [IX_tbO'Neil_nome] ON [tbO'Neil] ([nome]) ON [PRIMARY]");
    EXPECT_EQ(addDefaultStatement("tbX", "DF_tbX_qtd", "(0)", "qtd"),
              "ALTER TABLE [tbX] ADD CONSTRAINT [DF_tbX_qtd] DEFAULT (0) FOR [qtd] ");
    EXPECT_EQ(fillNullsStatement("tb]X", "qtd", "('')"),
              "UPDATE [tb]]X] SET [qtd] = ('') WHERE [qtd] is null");
}

TEST(PrimaryKeys, AKeyIsAddedToATableWithoutOneInStoredOrder) {
    ObjectsHarness h;
    storeKeys(h, {textRow({"PK_T", "T", "id"}), textRow({"PK_T", "T", "ano"}),
                  textRow({"PK_U", "U", "cod"})});
    targetKey(h, "U", {textRow({"PK_U", "U", "COD"})});  // the same key in other letters

    EXPECT_TRUE(h.runPhase(primaryKeysPhase()));

    const std::string add =
        "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED ( [id]  ,  [ano] ) ON "
        "[PRIMARY]";
    EXPECT_THAT(h.targetStatements(), ElementsAre(add));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(add)));
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Primary Keys ...");
    EXPECT_EQ(h.form.ProgressBar1.max, 3);
    EXPECT_EQ(h.form.ProgressBar1.value, 3);
    EXPECT_EQ(h.target.log.size(), 3u);  // one key query per table
}

// The target lists ano before id; the stored order is id, ano: the lists differ and the
// key is dropped and added again under the name of the group's last row, its columns in
// small letters.
TEST(PrimaryKeys, AKeyWhoseColumnsDifferIsDroppedAndAddedAgain) {
    ObjectsHarness h;
    storeKeys(h, {textRow({"PK_T_old", "T", "ID"}), textRow({"PK_T", "T", "Ano"})});
    targetKey(h, "T", {textRow({"PK_T_1", "T", "ano"}), textRow({"PK_T_1", "T", "id"})});

    EXPECT_TRUE(h.runPhase(primaryKeysPhase()));

    const std::string drop = "ALTER TABLE [T] DROP CONSTRAINT [PK_T_1]";
    const std::string add =
        "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED ( [id]  ,  [ano] ) ON "
        "[PRIMARY]";
    EXPECT_THAT(h.targetStatements(), ElementsAre(drop, add));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(drop), logInsert(add)));
}

// A key that cannot be made is never logged and is recorded among the run's failed
// statements. Duplicates in its data: the message names the table unless FXSilence is
// ticked. Any other failure (a nullable key column): the question of ask-on-error
// execution unless FXSilence is ticked. A key made is logged, a failing log insert let go.
TEST(PrimaryKeys, AKeyThatCannotBeMadeIsReportedAndNotLogged) {
    for (const bool silenced : {false, true}) {
        ObjectsHarness h;
        h.form.FXSilence.value = silenced ? 1 : 0;
        storeKeys(h, {textRow({"PK_A", "tbA", "id"}), textRow({"PK_B", "tbB", "id"}),
                      textRow({"PK_C", "tbC", "id"})});
        h.target.failOn(
            "[PK_A]",
            db::Error(db::errc::kIntegrityViolation,
                      "CREATE UNIQUE INDEX terminated because a duplicate key was found for "
                      "index ID 2. Most significant primary key is '1'."));
        const db::Error nullable(
            db::errc::kServerError,
            "Cannot define PRIMARY KEY constraint on nullable column in table 'tbB'.");
        h.target.failOn("[PK_B]", nullable);
        h.store.failOn("INSERT INTO tbLogs",
                       db::Error(db::errc::kStoreError, "database or disk is full"));

        EXPECT_TRUE(h.runPhase(primaryKeysPhase()));

        const std::string addB =
            "ALTER TABLE [tbB] ADD CONSTRAINT [PK_B] PRIMARY KEY NONCLUSTERED ( [id] ) ON "
            "[PRIMARY]";
        EXPECT_EQ(h.targetStatements().size(), 3u);
        EXPECT_THAT(h.store.executed,
                    ElementsAre(logInsert(
                        "ALTER TABLE [tbC] ADD CONSTRAINT [PK_C] PRIMARY KEY NONCLUSTERED ( [id] ) "
                        "ON [PRIMARY]")));
        const auto& failed = h.run().statements.failedStatements();
        ASSERT_EQ(failed.size(), 2u);
        EXPECT_EQ(failed[0].error.number(), db::errc::kIntegrityViolation);
        EXPECT_EQ(failed[1].sql, addB);
        EXPECT_EQ(failed[1].error.description(), nullable.description());
        if (silenced) {
            EXPECT_THAT(h.host.messages, IsEmpty());
        } else {
            ASSERT_EQ(h.host.messages.size(), 2u);
            EXPECT_EQ(h.host.messages[0].text, keyIntegrityMessage("tbA"));
            EXPECT_EQ(h.host.messages[0].flags, 64);
            EXPECT_EQ(h.host.messages[0].title, std::nullopt);
            EXPECT_EQ(h.host.messages[1].text,
                      "Erro: " + nullable.description() + testing::kBreak + "Deseja continuar?");
            EXPECT_EQ(h.host.messages[1].flags, 36);
            EXPECT_EQ(h.host.messages[1].title, "Schemix");
        }
    }
}

// No to the question after a key that cannot be made ends the run in its error handler,
// which names the key.
TEST(PrimaryKeys, NoAfterAFailedKeyEndsTheRunNamingTheKey) {
    ObjectsHarness h;
    storeKeys(h, {textRow({"PK_B", "tbB", "id"}), textRow({"PK_C", "tbC", "id"})});
    h.target.failOn("[PK_B]", db::Error(db::errc::kServerError, "nullable"));
    h.host.answer({app::mb::kAnswerNo});

    EXPECT_EQ(h.pressUpgrade({primaryKeysPhase()}), app::OperationOutcome::Failed);

    EXPECT_THAT(h.targetSent("[PK_C]"), IsEmpty());
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_EQ(h.host.messages.back().text, "nullable " + testing::kBreak + "Objecto: PK_B");
}

TEST(Indexes, OnlyAColumnWithoutAnIxIndexGetsOne) {
    ObjectsHarness h;
    h.store.onQuery(
        "SELECT * FROM tbIndexes ORDER BY index_id", kKeyRows,
        {textRow({"IX_tbX_data", "tbX", "data"}), textRow({"IX_tbX_nome", "tbX", "nome"})});
    h.target.onQuery("SOURCE_sysobjects_2.name = 'tbX' AND SOURCE_syscolumns.name = 'nome'",
                     textColumns({"IX_Name", "tabela", "campo"}),
                     {textRow({"IX_Outro", "tbX", "nome"})});

    EXPECT_TRUE(h.runPhase(indexesPhase()));

    const std::string create = "CREATE INDEX IX_tbX_data ON [tbX] ([data]) ON [PRIMARY]";
    EXPECT_THAT(h.targetStatements(), ElementsAre(create));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(create)));
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Indexes ...");
    EXPECT_EQ(h.form.ProgressBar1.value, 2);
}

// A default is created where the column has none and its NULLs are filled, also when the
// creation failed and was let through; a column with another default is left alone.
TEST(Defaults, AMissingDefaultIsCreatedAndItsNullsFilled) {
    ObjectsHarness h;
    h.form.FXSilence.value = 1;
    h.store.onQuery("SELECT * FROM tbDefaults ORDER BY default_id", kDefaultRows,
                    {textRow({"DF_tbX_qtd", "tbX", "qtd", "(0)"}),
                     textRow({"DF_tbX_obs", "tbX", "obs", "('')"}),
                     textRow({"DF_tbX_data", "tbX", "data", "(getdate())"})});
    h.target.onQuery("SOURCE_sysobjects.name = 'tbX' AND SOURCE_syscolumns.name = 'data'",
                     kDefaultRows, {textRow({"DF_Velho", "tbX", "data", "('20000101')"})});
    h.target.failOn("[DF_tbX_obs]",
                    db::Error(db::errc::kServerError, "Column already has a DEFAULT bound to it."));

    EXPECT_TRUE(h.runPhase(defaultsPhase()));

    const std::vector<std::string> sent = {
        "ALTER TABLE [tbX] ADD CONSTRAINT [DF_tbX_qtd] DEFAULT (0) FOR [qtd] ",
        "UPDATE [tbX] SET [qtd] = (0) WHERE [qtd] is null",
        "ALTER TABLE [tbX] ADD CONSTRAINT [DF_tbX_obs] DEFAULT ('') FOR [obs] ",
        "UPDATE [tbX] SET [obs] = ('') WHERE [obs] is null"};
    EXPECT_EQ(h.targetStatements(), sent);
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(sent[0]), logInsert(sent[1]),
                                                  logInsert(sent[2]), logInsert(sent[3])));
    EXPECT_EQ(h.form.FXEvolucao.caption, "A carregar definições: Defaults ...");
}

TEST(Defaults, AFailingNullFillEndsThePhase) {
    ObjectsHarness h;
    h.store.onQuery("SELECT * FROM tbDefaults ORDER BY default_id", kDefaultRows,
                    {textRow({"DF_tbX_qtd", "tbX", "qtd", "(0)"})});
    h.target.failOn("UPDATE [tbX]",
                    db::Error(db::errc::kServerError, "Invalid column name 'qtd'."));
    EXPECT_THROW(h.runPhase(defaultsPhase()), db::Error);
    EXPECT_EQ(h.loggedStatements().size(), 1u);  // the default's creation only
    EXPECT_EQ(h.run().currentObject, "DF_tbX_qtd");  // what the run error handler names
}

// In debug mode a table declined by the table structure phase gets nothing in any of the
// three phases, its rows passed over with the bar; out of debug mode nothing is skipped.
TEST(KeysIndexesDefaults, ASkippedTableIsPassedOverOnlyInDebugMode) {
    struct PhaseCase {
        upgrade::UpgradePhase phase;
        const char* storeQuery;
        std::vector<db::Column> columns;
        Rows rows;
    };
    const std::vector<PhaseCase> cases = {
        {primaryKeysPhase(),
         "FROM tbPrimary_Keys",
         kKeyRows,
         {textRow({"PK_A", "tbA", "id"}), textRow({"PK_A", "tbA", "n"}),
          textRow({"PK_B", "tbB", "id"})}},
        {indexesPhase(),
         "FROM tbIndexes",
         kKeyRows,
         {textRow({"IX_A", "tbA", "id"}), textRow({"IX_A2", "tbA", "n"}),
          textRow({"IX_B", "tbB", "id"})}},
        {defaultsPhase(),
         "FROM tbDefaults",
         kDefaultRows,
         {textRow({"DF_A", "tbA", "id", "(0)"}), textRow({"DF_A2", "tbA", "n", "(0)"}),
          textRow({"DF_B", "tbB", "id", "(0)"})}}};
    for (const PhaseCase& c : cases) {
        for (const bool debug : {true, false}) {
            ObjectsHarness h;
            h.form.FXDebug.value = debug ? 1 : 0;
            h.form.SkippedTables = std::vector<std::string>{"tbA"};
            h.store.onQuery(c.storeQuery, c.columns, c.rows);

            EXPECT_TRUE(h.runPhase(c.phase));

            EXPECT_EQ(h.targetSent("tbA").empty(), debug) << c.phase.name;
            EXPECT_FALSE(h.targetSent("tbB").empty()) << c.phase.name;
            EXPECT_EQ(h.form.ProgressBar1.value, 3) << c.phase.name;
            EXPECT_THAT(h.host.messages, IsEmpty());
        }
    }
}

}  // namespace
}  // namespace objects
