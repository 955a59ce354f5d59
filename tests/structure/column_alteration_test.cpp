#include "structure/column_alteration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "structure_fakes.h"

namespace structure {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using structure::testing::Col;
using structure::testing::intCol;
using structure::testing::kBreak;
using structure::testing::logInsert;
using structure::testing::setStoredColumns;
using structure::testing::StructureHarness;
using structure::testing::varcharCol;

bool sentQuery(const StructureHarness& h, const std::string& fragment) {
    for (const std::string& sql : h.target.log) {
        if (sql.find(fragment) != std::string::npos) return true;
    }
    return false;
}

Col column(std::string campo, std::string tipo, int tamanho, bool nullable,
           db::Value collation = {}) {
    return {std::move(campo), std::move(tipo), db::Value::integer(tamanho), db::Value::integer(0),
            db::Value::integer(0), db::Value::integer(nullable ? 1 : 0), db::Value::integer(0),
            {}, std::move(collation)};
}

// One existing column: its stored and target definitions, and what is sent.
struct AlterCase {
    const char* name;
    Col stored;
    Col target;
    std::vector<std::string> statements;
    bool indexLookup;
};

class ColumnAlteration : public ::testing::TestWithParam<AlterCase> {};

TEST_P(ColumnAlteration, SendsTheAlterationItNeeds) {
    const AlterCase& c = GetParam();
    StructureHarness h;
    setStoredColumns(h.store, {{"tbX", c.stored}});
    h.target.tables["tbX"] = {c.target};

    EXPECT_TRUE(h.update());

    EXPECT_THAT(h.targetStatements(), ElementsAreArray(c.statements));
    EXPECT_EQ(c.indexLookup, sentQuery(h, "as IX_Name"));
    std::vector<std::string> logged;
    for (const std::string& statement : c.statements) logged.push_back(logInsert(statement));
    EXPECT_THAT(h.loggedStatements(), ElementsAreArray(logged));
}

const db::Value kOtherCollation = db::Value::text("SQL_Latin1_General_CP1_CI_AS");
const db::Value kWantedCollation = db::Value::text("Latin1_General_CI_AI");

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ColumnAlteration, ::testing::Values(
    AlterCase{"EqualInEveryProperty", varcharCol("nome", 50), varcharCol("nome", 50), {}, false},
    AlterCase{"WiderAndNotNull", varcharCol("nome", 80, false), varcharCol("nome", 50, true),
        {"ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (80)  COLLATE Latin1_General_CI_AI  NOT NULL "}, true},
    AlterCase{"CharInAnotherCollation", column("cod", "char", 3, true, kWantedCollation),
        column("cod", "char", 3, true, kOtherCollation),
        {"ALTER TABLE [tbX] ALTER COLUMN  [cod] [char] (3)  COLLATE Latin1_General_CI_AI  NULL "}, true},
    AlterCase{"NvarcharLengthInCharacters", column("n", "nvarchar", 200, true), column("n", "nvarchar", 100, true, kWantedCollation),
        {"ALTER TABLE [tbX] ALTER COLUMN  [n] [nvarchar] (100)  COLLATE Latin1_General_CI_AI  NULL "}, true},
    AlterCase{"IntGetsNoCollateAndNoIndexDrop", column("q", "bigint", 8, true), column("q", "int", 4, true),
        {"ALTER TABLE [tbX] ALTER COLUMN  [q] [bigint]  NULL "}, false},
    AlterCase{"TextGetsNoCollateAndNoIndexDrop", column("t", "text", 16, true), column("t", "ntext", 16, true, kOtherCollation),
        {"ALTER TABLE [tbX] ALTER COLUMN  [t] [text]  NULL "}, false},
    AlterCase{"TextInAnotherCollationIsLeftAlone", column("t", "text", 16, true), column("t", "text", 16, true, kOtherCollation), {}, false},
    AlterCase{"NullStoredTipoNeverDiffers", column("id", "", 4, false), column("id", "int", 4, false), {}, false},
    AlterCase{"NullInTheTargetNeverDiffers", varcharCol("nome", 80),
        Col{"nome", "varchar", {}, db::Value::integer(0), db::Value::integer(0), db::Value::integer(1),
            db::Value::integer(0), {}, kWantedCollation},
        {}, false}),
    [](const ::testing::TestParamInfo<AlterCase>& info) { return std::string(info.param.name); });
// clang-format on

const std::vector<db::Column> kIndexColumns = {{"IX_Name", db::ado::kVarWChar},
                                               {"tabela", db::ado::kVarWChar},
                                               {"campo", db::ado::kVarWChar},
                                               {"id", db::ado::kInteger}};

// The index query returns an index once per constraint or default of its table; each
// index is dropped once, before the column is altered, and the drops are logged.
TEST(ColumnAlterationIndexes, EachIxIndexIsDroppedOnceBeforeTheAlteration) {
    StructureHarness h;
    setStoredColumns(h.store, {{"tbX", varcharCol("nome", 80)}});
    h.target.tables["tbX"] = {varcharCol("nome", 50)};
    auto row = [](const char* name) {
        return std::vector<db::Value>{db::Value::text(name), db::Value::text("tbX"),
                                      db::Value::text("nome"), db::Value::integer(1)};
    };
    h.target.onQuery("as IX_Name", kIndexColumns, {row("IX_tbX_nome"), row("IX_tbX_nome"), row("IX_tbX_nome_id")});

    EXPECT_TRUE(h.update());

    const std::string alter = "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (80)  COLLATE Latin1_General_CI_AI  NULL ";
    EXPECT_THAT(h.targetStatements(),
                ElementsAre("DROP INDEX [tbX].[IX_tbX_nome]", "DROP INDEX [tbX].[IX_tbX_nome_id]", alter));
    EXPECT_THAT(h.loggedStatements(),
                ElementsAre(logInsert("DROP INDEX [tbX].[IX_tbX_nome]"),
                            logInsert("DROP INDEX [tbX].[IX_tbX_nome_id]"), logInsert(alter)));
}

TEST(ColumnAlterationDefaults, NotNullWithoutStoredDefaultLosesItsTargetDefault) {
    StructureHarness h;
    Col stored = intCol("qtd");
    Col target = intCol("qtd", true);
    target.cdefault = db::Value::text("(1)");
    setStoredColumns(h.store, {{"tbX", stored}});
    h.target.tables["tbX"] = {target};
    h.target.onQuery("as DF_name",
                     {{"DF_name", db::ado::kVarWChar}, {"tabela", db::ado::kVarWChar},
                      {"campo", db::ado::kVarWChar}, {"valor", db::ado::kVarWChar}},
                     {{db::Value::text("DF_tbX_qtd"), db::Value::text("tbX"), db::Value::text("qtd"),
                       db::Value::text("(1)")}});

    EXPECT_TRUE(h.update());

    const std::string alter = "ALTER TABLE [tbX] ALTER COLUMN  [qtd] [int]  NOT NULL ";
    EXPECT_THAT(h.targetStatements(), ElementsAre(alter, "ALTER TABLE [tbX] DROP CONSTRAINT [DF_tbX_qtd]"));
    EXPECT_THAT(h.loggedStatements(), ElementsAre(logInsert(alter)));

    // With a stored default, or nullable, the target's default is not looked up.
    for (const bool nullable : {false, true}) {
        StructureHarness keep;
        Col withDefault = intCol("qtd", nullable);
        withDefault.cdefault = db::Value::text("(0)");
        setStoredColumns(keep.store, {{"tbX", withDefault}});
        keep.target.tables["tbX"] = {column("qtd", "bigint", 8, !nullable)};
        EXPECT_TRUE(keep.update());
        EXPECT_FALSE(sentQuery(keep, "as DF_name"));
        EXPECT_EQ(1u, keep.targetStatements().size());
    }
}

TEST(ColumnAlterationFailures, RefusedAlterationIsShownWithItsStatementAndTheRunGoesOn) {
    for (const bool silent : {false, true}) {
        StructureHarness h;
        h.form.FXSilence.value = silent ? 1 : 0;
        setStoredColumns(h.store, {{"tbX", varcharCol("nome", 80)}, {"tbX", intCol("n", true)}});
        h.target.tables["tbX"] = {varcharCol("nome", 50)};
        const std::string alter =
            "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (80)  COLLATE Latin1_General_CI_AI  NULL ";
        h.target.failOn("ALTER COLUMN  [nome]",
                        db::Error(db::errc::kServerError,
                                  "ALTER TABLE ALTER COLUMN nome failed because one or more objects access this column."));

        EXPECT_TRUE(h.update());

        if (silent) {
            EXPECT_THAT(h.host.messages, IsEmpty());
        } else {
            ASSERT_EQ(1u, h.host.messages.size());
            EXPECT_EQ("Erro: ALTER TABLE ALTER COLUMN nome failed because one or more objects access this column." +
                          kBreak + alter,
                      h.host.messages[0].text);
            EXPECT_EQ(0, h.host.messages[0].flags);
            EXPECT_EQ(std::nullopt, h.host.messages[0].title);
        }
        EXPECT_THAT(h.targetStatements(), ElementsAre(alter, "ALTER TABLE [tbX] ADD  [n] [int]  NULL "));
        EXPECT_EQ(2u, h.loggedStatements().size());
    }
}

// The log insert after a CREATE TABLE lets a store failure go; the one after an ALTER
// COLUMN takes the failure exit.
TEST(ColumnAlterationFailures, FailedLogInsertAfterAlterationEndsTheUpdate) {
    StructureHarness h;
    setStoredColumns(h.store, {{"tbA", intCol("id")}, {"tbX", varcharCol("nome", 80)}});
    h.target.tables["tbX"] = {varcharCol("nome", 50)};
    h.store.failOn("INSERT INTO tbLogs", db::Error(db::errc::kStoreError, "database is locked"));

    EXPECT_FALSE(h.update());

    EXPECT_EQ(2u, h.targetStatements().size());
    ASSERT_EQ(1u, h.host.messages.size());
    EXPECT_EQ("database is locked", h.host.messages[0].text);
    EXPECT_EQ(64, h.host.messages[0].flags);
}

}  // namespace
}  // namespace structure
