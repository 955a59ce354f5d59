#include "structure/sql_set_identity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/ado_types.h"
#include "structure/update_table_structure.h"
#include "structure_fakes.h"

namespace structure {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using structure::testing::Col;
using structure::testing::intCol;
using structure::testing::setStoredColumns;
using structure::testing::StructureHarness;
using structure::testing::varcharCol;

TEST(SQLSetIdentity, CopyBatchIsExact) {
    EXPECT_THAT(rebuildCopyStatements("tbX", "[id], [nome]", 1),
                ElementsAre("SET IDENTITY_INSERT dbo.[Tmp_tbX] ON IF EXISTS(SELECT * FROM [tbX]) "
                            "EXEC('INSERT INTO [Tmp_tbX]([id], [nome]) SELECT [id], [nome] FROM [tbX]') ",
                            " SET IDENTITY_INSERT dbo.[Tmp_tbX] OFF "));
    EXPECT_THAT(rebuildCopyStatements("tbX", "[id], [nome]", 0),
                ElementsAre("IF EXISTS(SELECT * FROM [tbX]) EXEC('INSERT INTO [Tmp_tbX]([id], [nome]) SELECT "
                            "[id], [nome] FROM [tbX]') "));
}

// Names that a plain name would break: a blank, an apostrophe (doubled inside the
// EXEC text and the sp_rename literals) and a closing bracket (doubled inside brackets).
struct NameCase {
    const char* name;
    std::string table;
    std::string copy;
    std::string rename;
};

class SQLSetIdentityNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(SQLSetIdentityNames, AreBracketedAndQuoted) {
    const NameCase& c = GetParam();
    EXPECT_THAT(rebuildCopyStatements(c.table, "[id]", 0), ElementsAre(c.copy));
    EXPECT_EQ(rebuildRenameStatement(c.table), c.rename);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SQLSetIdentityNames, ::testing::Values(
    NameCase{"Blank", "Customer Orders",
        "IF EXISTS(SELECT * FROM [Customer Orders]) EXEC('INSERT INTO [Tmp_Customer Orders]([id]) SELECT [id] FROM [Customer Orders]') ",
        "EXECUTE sp_rename 'Tmp_Customer Orders', 'Customer Orders'"},
    NameCase{"Apostrophe", "tbO'Neil",
        "IF EXISTS(SELECT * FROM [tbO'Neil]) EXEC('INSERT INTO [Tmp_tbO''Neil]([id]) SELECT [id] FROM [tbO''Neil]') ",
        "EXECUTE sp_rename 'Tmp_tbO''Neil', 'tbO''Neil'"},
    NameCase{"ClosingBracket", "a]b",
        "IF EXISTS(SELECT * FROM [a]]b]) EXEC('INSERT INTO [Tmp_a]]b]([id]) SELECT [id] FROM [a]]b]') ",
        "EXECUTE sp_rename 'Tmp_a]b', 'a]b'"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });
// clang-format on

// One rebuild: the target's columns, the column and wanted state, and the rebuild table.
struct RebuildCase {
    const char* name;
    std::string column;
    int wanted;
    std::string createTable;
};

class SQLSetIdentityRebuild : public ::testing::TestWithParam<RebuildCase> {};

TEST_P(SQLSetIdentityRebuild, RebuildsFromTheTargetCatalog) {
    const RebuildCase& c = GetParam();
    StructureHarness h;
    h.form.ProgressBar1.max = 10;
    // The target table: id was an identity column; nome is nvarchar(20) without a collation
    // of its own in the rebuild.
    Col nome{"nome", "nvarchar", db::Value::integer(40), db::Value::integer(0), db::Value::integer(0),
             db::Value::integer(0), db::Value::integer(0), db::Value::text("('')"), {}};
    h.target.tables["tbX"] = {intCol("id", false, true), nome, intCol("n", true)};
    h.target.onQuery("SELECT TOP 1 * FROM [tbX]",
                     {{"id", db::ado::kInteger}, {"nome", db::ado::kVarWChar}, {"n", db::ado::kInteger}}, {});

    EXPECT_TRUE(SQLSetIdentity(h.run(), "tbX", c.column, c.wanted));

    std::vector<std::string> expected = {"SET QUOTED_IDENTIFIER ON", "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE",
                                         "BEGIN TRANSACTION", c.createTable};
    for (const std::string& copy : rebuildCopyStatements("tbX", "[id], [nome], [n]", c.wanted)) expected.push_back(copy);
    expected.push_back("DROP TABLE [tbX]");
    expected.push_back("EXECUTE sp_rename 'Tmp_tbX', 'tbX'");
    expected.push_back("COMMIT TRANSACTION");
    EXPECT_THAT(h.targetStatements(), ElementsAreArray(expected));
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_EQ(3, h.form.ProgressBar1.value);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SQLSetIdentityRebuild, ::testing::Values(
    RebuildCase{"OnlyTheNamedColumnBecomesIdentity", "n", 1,
        "CREATE TABLE [Tmp_tbX] ( [id] [int]  NOT NULL  ,  [nome] [nvarchar] (20)  NOT NULL  ,  [n] [int]  IDENTITY (1, 1)  NULL ) ON [PRIMARY]"},
    RebuildCase{"NoColumnKeepsIdentity", "id", 0,
        "CREATE TABLE [Tmp_tbX] ( [id] [int]  NOT NULL  ,  [nome] [nvarchar] (20)  NOT NULL  ,  [n] [int]  NULL ) ON [PRIMARY]"},
    // The server matched the column without regard to letter case; so does the rebuild.
    RebuildCase{"ColumnNameInAnotherCase", "ID", 1,
        "CREATE TABLE [Tmp_tbX] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [nvarchar] (20)  NOT NULL  ,  [n] [int]  NULL ) ON [PRIMARY]"}),
    [](const ::testing::TestParamInfo<RebuildCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(SQLSetIdentity, UnknownTableShowsItsOwnMessage) {
    StructureHarness h;
    EXPECT_FALSE(SQLSetIdentity(h.run(), "tbNone", "id", 1));
    ASSERT_EQ(1u, h.host.messages.size());
    EXPECT_EQ("Erro: SQLSetIdentity Function VB", h.host.messages[0].text);
    EXPECT_EQ(64, h.host.messages[0].flags);
    EXPECT_EQ(std::nullopt, h.host.messages[0].title);
    EXPECT_THAT(h.targetStatements(),
                ElementsAre("SET QUOTED_IDENTIFIER ON", "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE"));
}

// A copy the server refuses leaves the old table and its rows in place: nothing is
// dropped, and the transaction that created the rebuild table is rolled back. The update
// then ends with that one message.
TEST(SQLSetIdentity, RefusedCopyNeverDropsTheTable) {
    StructureHarness h;
    setStoredColumns(h.store, {{"tbX", intCol("id", false, true)}, {"tbX", intCol("n")}});
    h.target.tables["tbX"] = {intCol("id"), intCol("n")};
    h.target.onQuery("SELECT TOP 1 * FROM [tbX]", {{"id", db::ado::kInteger}, {"n", db::ado::kInteger}}, {});
    h.target.failOn("EXEC('INSERT INTO [Tmp_tbX]",
                    db::Error(db::errc::kIntegrityViolation,
                              "Cannot insert the value NULL into column 'id', table 'app.dbo.Tmp_tbX'; "
                              "column does not allow nulls. INSERT fails."));

    EXPECT_FALSE(h.update());

    ASSERT_EQ(1u, h.host.messages.size());
    EXPECT_EQ("Cannot insert the value NULL into column 'id', table 'app.dbo.Tmp_tbX'; column does not allow "
              "nulls. INSERT fails.",
              h.host.messages[0].text);
    EXPECT_EQ(64, h.host.messages[0].flags);
    for (const std::string& sql : h.targetStatements()) {
        EXPECT_EQ(std::string::npos, sql.find("DROP TABLE")) << sql;
        EXPECT_EQ(std::string::npos, sql.find("sp_rename")) << sql;
        EXPECT_EQ(std::string::npos, sql.find("COMMIT")) << sql;
    }
    EXPECT_EQ("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION", h.targetStatements().back());
}

// A rollback that fails too (the connection is gone) is no second message: the box
// shows why the rebuild failed.
TEST(SQLSetIdentity, AFailedRollbackAddsNoMessage) {
    StructureHarness h;
    h.target.tables["tbX"] = {intCol("id"), intCol("n")};
    h.target.onQuery("SELECT TOP 1 * FROM [tbX]", {{"id", db::ado::kInteger}, {"n", db::ado::kInteger}}, {});
    h.target.failOn("DROP TABLE", db::Error(db::errc::kUnreachable, "Communication link failure"));
    h.target.failOn("ROLLBACK", db::Error(db::errc::kUnreachable, "Communication link failure"));

    EXPECT_FALSE(SQLSetIdentity(h.run(), "tbX", "id", 1));

    ASSERT_EQ(1u, h.host.messages.size());
    EXPECT_EQ("Communication link failure", h.host.messages[0].text);
    EXPECT_EQ("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION", h.targetStatements().back());
}

// An identity difference alone rebuilds the table without altering the column; the
// progress bar stays within its maximum although the rebuild advances it too.
TEST(SQLSetIdentity, IdentityOnlyDifferenceRebuildsWithoutAlteration) {
    StructureHarness h;
    setStoredColumns(h.store, {{"tbX", intCol("id", false, true)}, {"tbX", varcharCol("nome", 50)}});
    h.target.tables["tbX"] = {intCol("id"), varcharCol("nome", 50)};
    h.target.onQuery("SELECT TOP 1 * FROM [tbX]", {{"id", db::ado::kInteger}, {"nome", db::ado::kVarChar}}, {});

    EXPECT_TRUE(h.update());

    ASSERT_EQ(9u, h.targetStatements().size());
    EXPECT_EQ("CREATE TABLE [Tmp_tbX] ( [id] [int]  IDENTITY (1, 1)  NOT NULL  ,  [nome] [varchar] (50)  NULL ) ON [PRIMARY]",
              h.targetStatements()[3]);
    for (const std::string& sql : h.targetStatements()) EXPECT_EQ(std::string::npos, sql.find("ALTER COLUMN"));
    EXPECT_EQ(2, h.form.ProgressBar1.max);
    EXPECT_EQ(2, h.form.ProgressBar1.value);
}

}  // namespace
}  // namespace structure
