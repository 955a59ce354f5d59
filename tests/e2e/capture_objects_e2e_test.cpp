// The capture of functions, views, procedures, indexes, primary keys and defaults against
// the sandbox: the fixture "objects" plus long objects the tests create, so that the text
// the server keeps is known to the character.
#include <gtest/gtest.h>

#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "app/main_form.h"

namespace {

using app::OperationOutcome;
using Rows = std::vector<std::string>;

std::size_t characters(const std::string& utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

// A source text of `length` characters that begins with `head` and ends with `tail`; a
// comment between them holds words (one with an apostrophe, one with accented letters)
// and, across every multiple of 4,000 characters, where the server cuts the text into its
// chunks, a run of blanks.
std::string sourceText(const std::string& head, const std::string& tail, std::size_t length) {
    static const char* const kWords[] = {"d'arquivo", "ação", "linha"};
    std::string text = head + "/* ";
    std::size_t count = characters(text);
    const std::size_t fillerEnd = length - characters(tail) - 3;
    for (std::size_t word = 0; fillerEnd - count >= 16; ++word) {
        const std::size_t nextCut = (count / 4000 + 1) * 4000;
        if (nextCut - count < 16) {
            text.append(nextCut + 3 - count, ' ');
            count = nextCut + 3;
        } else {
            text += kWords[word % 3];
            text += ' ';
            count = characters(text);
        }
    }
    text.append(fillerEnd - count, '-');
    return text + " */" + tail;
}

class CaptureObjectsEndToEnd : public ::testing::Test {
protected:
    OperationOutcome capture(const std::string& database, app::ConnectionOpeners openers) {
        app::MainForm form;
        env.pointAt(form, database);
        return capture::runCapture(form, host, openers);
    }
    OperationOutcome capture(const std::string& database) { return capture(database, env.openers()); }

    void create(const std::string& database, const std::string& batch) {
        env.openServer(database)->execute(batch);
    }

    Rows rows(const std::string& table, const std::string& order, const std::string& skip = "") {
        return e2e::storeRows(*env.openStore(), table, order, skip);
    }

    // The seven tables the structure phases write, each row with its identifier.
    std::vector<Rows> structureTables() {
        return {rows("tbObjects", "object_id"),       rows("tbFunctions", "function_id"),
                rows("tbViews", "view_id"),           rows("tbProcedures", "procedure_id"),
                rows("tbIndexes", "index_id"),        rows("tbPrimary_Keys", "pkey_id"),
                rows("tbDefaults", "default_id")};
    }

    e2e::Environment env{false, false, {{"objects", "tests/fixtures/objects.sql"}}};
    testing_support::FakeHost host;
};

TEST_F(CaptureObjectsEndToEnd, EveryObjectPhaseWritesTheRowsTheCatalogHolds) {
    const std::string view = sourceText("CREATE VIEW dbo.vwLonga\r\nAS\r\n",
                                        "\r\nSELECT Nr, Ano FROM dbo.tbFacturas\r\n", 9500);
    const std::string excluded = sourceText("CREATE VIEW dbo.vwExcluida\r\nAS\r\n",
                                            "\r\nSELECT Nr FROM dbo.tbFacturas\r\n", 8100);
    const std::string procedure = sourceText("CREATE PROCEDURE dbo.spLonga\r\nAS\r\n",
                                             "\r\nSELECT 'O''Neil' AS nome\r\n", 4500);
    create("objects", view);
    create("objects", excluded);
    create("objects", procedure);

    ASSERT_EQ(capture("objects"), OperationOutcome::Completed);
    ASSERT_EQ(host.messages.size(), 1u) << host.messages.front().text;

    // Three chunks, one row, the text exactly as sent; the excluded view is not there.
    EXPECT_EQ(rows("tbViews", "view_id", "view_id"), Rows{"vwLonga|" + view});
    // Over 4,000 characters with blanks at the cut, stored exactly; spOutroEstado has
    // another status.
    EXPECT_EQ(rows("tbProcedures", "procedure_id", "procedure_id"), Rows{"spLonga|" + procedure});
    // fnSemTexto has no syscomments rows: a null text. fnLinhas is no scalar function.
    EXPECT_EQ(rows("tbFunctions", "function_id", "function_id"),
              (Rows{"fnDobro|CREATE FUNCTION dbo.fnDobro (@valor int)\nRETURNS int\nAS\nBEGIN\n"
                    "    RETURN @valor * 2\nEND\n",
                    "fnSemTexto|NULL"}));
    // The key's columns by name, not in key order.
    EXPECT_EQ(rows("tbPrimary_Keys", "pkey_id", "pkey_id"),
              (Rows{"PK_tbFacturas|tbFacturas|Ano", "PK_tbFacturas|tbFacturas|Nr"}));
    // Not IX_tbSemChave_Data (a table without a key), not Idx_tbFacturas_Cliente.
    EXPECT_EQ(rows("tbIndexes", "index_id", "index_id"), Rows{"IX_tbFacturas_Data|tbFacturas|Data"});
    EXPECT_EQ(rows("tbDefaults", "default_id", "default_id"),
              (Rows{"DF_tbFacturas_Data|tbFacturas|Data|(getdate())",
                    "DF_tbFacturas_Nota|tbFacturas|Nota|('')"}));
}

TEST_F(CaptureObjectsEndToEnd, AReferenceWithoutObjectsLeavesTheirTablesAsTheyWere) {
    ASSERT_EQ(capture("reference"), OperationOutcome::Completed);
    const std::vector<Rows> before = structureTables();
    ASSERT_EQ(before[2].size(), 2u);  // the reference's two views

    create("objects", "CREATE DATABASE semobjectos");
    create("semobjectos", "CREATE TABLE tbSQLUpdate (descrit varchar(128) NULL, exclude int NULL)");
    ASSERT_EQ(capture("semobjectos"), OperationOutcome::Completed);

    const std::vector<Rows> after = structureTables();
    EXPECT_EQ(after[0], (Rows{std::to_string(before[0].size() + 1) + "|tbSQLUpdate|descrit|varchar|128|0|0|1|0|NULL",
                              std::to_string(before[0].size() + 2) + "|tbSQLUpdate|exclude|int|4|10|0|1|0|NULL"}));
    for (std::size_t table = 1; table < after.size(); ++table) EXPECT_EQ(after[table], before[table]) << table;
}

TEST_F(CaptureObjectsEndToEnd, ACaptureFailingInThePrimaryKeysPhaseLeavesAllSevenTablesAsTheyWere) {
    ASSERT_EQ(capture("reference"), OperationOutcome::Completed);
    const std::vector<Rows> before = structureTables();

    app::ConnectionOpeners openers = env.openers();
    openers.openStore = [this] {
        auto keyRows = std::make_shared<int>(0);
        return std::make_unique<e2e::FailingStore>(env.openStore(), [keyRows](std::string_view sql) {
            return sql.rfind("INSERT INTO tbPrimary_Keys", 0) == 0 && ++*keyRows == 2;
        });
    };
    EXPECT_EQ(capture("objects", openers), OperationOutcome::Failed);
    EXPECT_EQ(host.messages.back().text, "database or disk is full");
    EXPECT_EQ(structureTables(), before);
}

}  // namespace
