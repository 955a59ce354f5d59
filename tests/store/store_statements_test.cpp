// Every statement form the capture and the upgrade send to the store, run on a real
// store file: the statements, then one query, compared with the rows it must give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/error.h"
#include "store/definitions_store.h"
#include "store/sql_value.h"
#include "temp_folder.h"

namespace store {
namespace {

using testing_support::TempFolder;

std::string text(const std::string& value) { return SQLValue(value, kSqlText); }
std::string number(long long value) { return SQLValue(db::Value::integer(value), kSqlNumber); }

// One row as "a|b|c": null as <null>, Booleans True/False, bytes as <n bytes>.
std::string render(const db::Recordset& rs) {
    std::string row;
    for (std::size_t i = 0; i < rs.fieldCount(); ++i) {
        const db::Value& v = rs.field(i).value();
        if (i > 0) row += "|";
        if (v.isNull()) {
            row += "<null>";
        } else if (v.kind() == db::Value::Kind::Bytes) {
            row += "<" + std::to_string(v.asBytes().size()) + " bytes>";
        } else {
            row += v.toText();
        }
    }
    return row;
}

std::vector<std::string> rowsOf(db::Connection& store, const std::string& query) {
    db::Recordset rs = store.open(query, db::CursorType::Static, db::LockType::ReadOnly);
    if (!rs.eof()) {
        rs.moveLast();
        rs.moveFirst();
    }
    std::vector<std::string> rows;
    for (; !rs.eof(); rs.moveNext()) rows.push_back(render(rs));
    EXPECT_EQ(rs.recordCount(), static_cast<long>(rows.size()));
    return rows;
}

// The statement that stores one captured data row, as the capture builds it.
std::string dadosInsert(const std::string& table, const std::string& keyColumn,
                        const std::string& keyLiteral, const std::string& command, int onlyIfEmpty,
                        int forceUpdate, int deleteFirst) {
    return "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
           "force_update, delete_first) "
           "VALUES (" +
           text(table) + "," + text(keyColumn) + "," + keyLiteral + "," + text(command) + "," +
           std::to_string(onlyIfEmpty) + ", " + std::to_string(forceUpdate) + ", " +
           std::to_string(deleteFirst) + " )";
}

// tbDados rows for the delete-first queries, in this stored order.
std::vector<std::string> dadosRows() {
    return {
        dadosInsert("tbUsers", "code", number(2), "INSERT INTO tbUsers (code) VALUES (2)", -1, 0,
                    -1),
        dadosInsert("tbMenu_Main", "ID", number(7), "INSERT INTO tbMenu_Main (ID) VALUES (7)", 0, 0,
                    -1),
        dadosInsert("tbMenu_Main", "ID", number(7), "INSERT INTO tbMenu_Main (ID, x) VALUES (7, 1)",
                    0, 0, -1),
        dadosInsert("tbPesquisas", "nome", text("O'Neil"),
                    "INSERT INTO tbPesquisas (nome) VALUES ('O!39!Neil')", 0, -1, -1),
        dadosInsert("tbCodes", "code", number(1), "INSERT INTO tbCodes (code) VALUES (1)", 0, -1,
                    0),
        dadosInsert("tbAlpha", "code", number(9), "INSERT INTO tbAlpha (code) VALUES (9)", 0, 0,
                    -1),
    };
}

const std::string kGroupSelect =
    "SELECT tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value FROM tbDados WHERE "
    "(((tbDados.delete_first)<>0))";
const std::string kGroupOrder =
    " GROUP BY tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value ORDER BY "
    "tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value";

struct StatementCase {
    const char* name;
    std::vector<std::string> statements;
    std::string query;
    std::vector<std::string> rows;
};

std::vector<StatementCase> statementCases() {
    const std::string longChunk = std::string(4000, 'a') + "'" + std::string(3999, 'b');
    return {
        {"TablesAndColumns",
         {"DELETE FROM tbObjects",
          "INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, isnullable, "
          "isidentity, cdefault) "
          "VALUES (" +
              text("tbA") + ", " + text("Nome") + ", " + text("nvarchar") + ", " + number(100) +
              ", " + number(0) + ", " + number(0) + ", " + number(1) + ", " + number(0) + ", " +
              text("('')") + ")",
          "INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, isnullable, "
          "isidentity, cdefault) "
          "VALUES (" +
              text("tbA") + ", " + text("ID") + ", " + text("int") + ", " + number(4) + ", " +
              number(10) + ", " + number(0) + ", " + number(0) + ", " + number(1) + ", " +
              SQLValue(db::Value(), kSqlText) + ")"},
         "SELECT * FROM tbObjects ORDER BY object_id",
         {"1|tbA|Nome|nvarchar|100|0|0|1|0|('')", "2|tbA|ID|int|4|10|0|0|1|<null>"}},
        {"FunctionChunksJoin",
         {"DELETE FROM tbFunctions",
          "INSERT INTO tbFunctions (nome, descrit) VALUES (" + text("fnA") + ", " +
              text("CREATE FUNCTION fnA() ") + ")",
          "UPDATE tbFunctions SET descrit = descrit + " +
              text("RETURNS varchar AS BEGIN RETURN 'it''s' ") + " WHERE nome = " + text("fnA"),
          "UPDATE tbFunctions SET descrit = descrit + " + text("END") +
              " WHERE nome = " + text("FNA")},
         "SELECT * FROM tbFunctions ORDER BY function_id",
         // SQLValue trims each chunk, so the blanks at the joins are lost, as they always were.
         {"1|fnA|CREATE FUNCTION fnA()RETURNS varchar AS BEGIN RETURN 'it''s'END"}},
        {"ViewChunksOfAnySize",
         {"DELETE FROM tbViews",
          "INSERT INTO tbViews (nome, descrit) VALUES (" + text("vA") + ", " + text(longChunk) +
              ")",
          "UPDATE tbViews SET descrit = descrit + " + text(longChunk) +
              " WHERE nome = " + text("vA")},
         "SELECT nome, length(descrit) AS size FROM tbViews ORDER BY view_id",
         {"vA|16000"}},
        {"ProcedureLookupIgnoresCase",
         {"DELETE FROM tbProcedures",
          "INSERT INTO tbProcedures (nome, descrit) VALUES (" + text("spA") + ", " +
              text("CREATE PROC spA AS") + ")",
          "INSERT INTO tbProcedures (nome, descrit) VALUES (" + text("spB") + ", " +
              text("CREATE PROC spB AS") + ")",
          "UPDATE tbProcedures SET descrit = descrit + " + text(" SELECT 1") +
              " WHERE nome = " + text("spa")},
         "SELECT * FROM tbProcedures WHERE nome = " + text("SPA"),
         {"1|spA|CREATE PROC spA ASSELECT 1"}},
        {"ProceduresInOrder",
         {"INSERT INTO tbProcedures (nome, descrit) VALUES ('spB', 'b')",
          "INSERT INTO tbProcedures (nome, descrit) VALUES ('spA', 'a')"},
         "SELECT * FROM tbProcedures ORDER BY procedure_id",
         {"1|spB|b", "2|spA|a"}},
        {"IndexesPrimaryKeysDefaults",
         {"DELETE FROM tbIndexes", "DELETE FROM tbPrimary_Keys", "DELETE FROM tbDefaults",
          "INSERT INTO tbIndexes (nome, tabela, campo) VALUES (" + text("IX_tbA_Nome") + ", " +
              text("tbA") + ", " + text("Nome") + ")",
          "INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES (" + text("PK_tbA") + ", " +
              text("tbA") + ", " + text("Ano") + ")",
          "INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES (" + text("PK_tbA") + ", " +
              text("tbA") + ", " + text("Nr") + ")",
          "INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES (" + text("DF_tbA_Nome") +
              ", " + text("tbA") + ", " + text("Nome") + ", " + text("('n/a')") + ")"},
         "SELECT 'ix' AS k, index_id, nome, tabela, campo FROM tbIndexes UNION ALL "
         "SELECT 'pk', pkey_id, nome, tabela, campo FROM tbPrimary_Keys UNION ALL "
         "SELECT 'df', default_id, DF_name, tabela, campo || '=' || valor FROM tbDefaults",
         {"ix|1|IX_tbA_Nome|tbA|Nome", "pk|1|PK_tbA|tbA|Ano", "pk|2|PK_tbA|tbA|Nr",
          "df|1|DF_tbA_Nome|tbA|Nome=('n/a')"}},
        {"IndexesReadInOrder",
         {"INSERT INTO tbIndexes (nome, tabela, campo) VALUES ('IX_b', 'tbB', 'x')",
          "INSERT INTO tbIndexes (nome, tabela, campo) VALUES ('IX_a', 'tbA', 'y')"},
         "SELECT * FROM tbIndexes ORDER BY index_id",
         {"1|IX_b|tbB|x", "2|IX_a|tbA|y"}},
        {"PrimaryKeysReadInOrder",
         {"INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES ('PK_b', 'tbB', 'id')",
          "INSERT INTO tbPrimary_Keys (nome, tabela, campo) VALUES ('PK_a', 'tbA', 'id')"},
         "SELECT * FROM tbPrimary_Keys ORDER BY pkey_id",
         {"1|PK_b|tbB|id", "2|PK_a|tbA|id"}},
        {"DefaultsReadInOrder",
         {"INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES ('DF_b', 'tbB', 'x', "
          "'(0)')",
          "INSERT INTO tbDefaults (DF_name, tabela, campo, valor) VALUES ('DF_a', 'tbA', 'y', "
          "'(getdate())')"},
         "SELECT * FROM tbDefaults ORDER BY default_id",
         {"1|DF_b|tbB|x|(0)", "2|DF_a|tbA|y|(getdate())"}},
        {"DataRowsInStoredOrder",
         {"DELETE FROM tbDados", "DELETE FROM tbDados_Gigantic",
          dadosInsert("tbZeta", "ID", number(12),
                      "SET IDENTITY_INSERT tbZeta ON INSERT INTO tbZeta (ID, Nome) VALUES (12, "
                      "'O!39!Neil')  "
                      "SET IDENTITY_INSERT tbZeta OFF ",
                      -1, 0, 0),
          "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
          "force_update, delete_first) "
          "VALUES (" +
              text("tbSecurityPolicies") + ", 'code'," + text("12") + "," +
              text("Não permitir 'x'") + "," + "0" + ", 0, " + "-1" + ")"},
         "SELECT * FROM tbDados",
         {"tbZeta|ID|12|SET IDENTITY_INSERT tbZeta ON INSERT INTO tbZeta (ID, Nome) VALUES (12, "
          "'O!39!Neil')  SET "
          "IDENTITY_INSERT tbZeta OFF|True|False|False",
          "tbSecurityPolicies|code|12|Não permitir 'x'|False|False|True"}},
        {"DeleteFirstAllTables",
         dadosRows(),
         kGroupSelect + kGroupOrder,
         {"tbAlpha|code|9", "tbMenu_Main|ID|7", "tbPesquisas|nome|O'Neil", "tbUsers|code|2"}},
        {"DeleteFirstWithoutMenusOrSearches",
         dadosRows(),
         kGroupSelect +
             " AND tbDados.tabela NOT LIKE 'tbMenu%' AND tbDados.tabela NOT LIKE 'tbPesquisas%'" +
             kGroupOrder,
         {"tbAlpha|code|9", "tbUsers|code|2"}},
        {"DeleteFirstWithoutSearches",
         dadosRows(),
         kGroupSelect + " AND tbDados.tabela NOT LIKE 'tbPesquisas%'" + kGroupOrder,
         {"tbAlpha|code|9", "tbMenu_Main|ID|7", "tbUsers|code|2"}},
        {"DeleteFirstWithoutMenus",
         dadosRows(),
         kGroupSelect + " AND tbDados.tabela NOT LIKE 'tbMenu%'" + kGroupOrder,
         {"tbAlpha|code|9", "tbPesquisas|nome|O'Neil", "tbUsers|code|2"}},
        {"LargeTextFieldsFoundByKey",
         {"INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field, "
          "target_value) VALUES(" +
              text("tbTexts") + ", " + text("code") + "," + number(3) + ", " + text("Body") + ", " +
              text(MarkApostrophes("it's long")) + ")",
          "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field, "
          "target_value) VALUES(" +
              text("tbTexts") + ", " + text("code") + "," + number(4) + ", " + text("Body") + ", " +
              text("other") + ")"},
         "SELECT * FROM tbDados_Gigantic WHERE tabela = " + text("TBTEXTS") +
             " AND pkey_campo = " + text("code") + " AND pkey_value = " + text("3"),
         {"1|tbTexts|code|3|Body|it!39!s long|<null>"}},
        {"NewestLargeFieldIdentifier",
         {"INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) VALUES('a', "
          "'b',1, 'c')",
          "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) VALUES('a', "
          "'b',2, 'c')"},
         "SELECT Max(ID) AS maximo FROM tbDados_Gigantic",
         {"2"}},
        {"StatementLog",
         {"INSERT INTO tbLogs (descrit) VALUES ('old')", "DELETE FROM tbLogs",
          "INSERT INTO tbLogs (descrit) VALUES (" +
              text("CREATE INDEX IX_a ON [tbA] ([Nome]) ON [PRIMARY]") + ")",
          "INSERT INTO tbLogs (descrit) VALUES (" +
              text("UPDATE tbA SET x = 'a' + CHAR(39) + 'b'") + ")"},
         "SELECT descrit FROM tbLogs",
         {"CREATE INDEX IX_a ON [tbA] ([Nome]) ON [PRIMARY]",
          "UPDATE tbA SET x = 'a' + CHAR(39) + 'b'"}},
        {"MaintenanceCommands",
         {"INSERT INTO tbExecute (activo, comando) VALUES (1, 'UPDATE t SET a = "
          "'+CHR(39)+'x!39!y'+CHR(39))",
          "INSERT INTO tbExecute (activo, comando) VALUES (0, 'DELETE FROM t')"},
         "SELECT * FROM tbExecute ORDER BY execute_id",
         {"1|1|UPDATE t SET a = 'x!39!y'", "2|0|DELETE FROM t"}},
        {"AutoNumbersGrowAcrossDeletes",
         {"INSERT INTO tbViews (nome, descrit) VALUES ('v1', 'a')",
          "INSERT INTO tbViews (nome, descrit) VALUES ('v2', 'b')", "DELETE FROM tbViews",
          "INSERT INTO tbViews (nome, descrit) VALUES ('v1', 'a')"},
         "SELECT * FROM tbViews ORDER BY view_id",
         {"3|v1|a"}},
    };
}

class StoreStatements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(StoreStatements, GiveTheExpectedRows) {
    TempFolder folder(std::string("statements-") + GetParam().name);
    createEmptyStore(storePath(folder.path()));
    auto store = openStore(storePath(folder.path()));
    for (const std::string& statement : GetParam().statements) {
        SCOPED_TRACE(statement.substr(0, 200));
        store->execute(statement);
    }
    EXPECT_EQ(rowsOf(*store, GetParam().query), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(Forms, StoreStatements, ::testing::ValuesIn(statementCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The capture's large binary field: insert the row, find it as the largest ID, write
// the bytes into it through the store API.
TEST(StoreStatementsLargeBinary, TargetImageIsWrittenIntoTheNewestRow) {
    TempFolder folder("statements-image");
    createEmptyStore(storePath(folder.path()));
    auto store = openStore(storePath(folder.path()));
    db::Bytes image(20000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i % 251);

    store->execute(
        "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) VALUES(" +
        text("tbImages") + ", " + text("ID") + "," + number(5) + ", " + text("Foto") + ")");
    db::Recordset newest =
        store->open("SELECT Max(ID) AS maximo FROM tbDados_Gigantic", db::CursorType::Static);
    const std::string id = std::to_string(newest.field("maximo").value().asInteger());
    newest.close();
    db::Recordset target = store->open("SELECT target_image FROM tbDados_Gigantic WHERE ID = " + id,
                                       db::CursorType::Keyset, db::LockType::Optimistic);
    ASSERT_FALSE(target.eof());
    store->writeLongValue("tbDados_Gigantic", "ID", id, "target_image", db::Value::bytes(image));

    db::Recordset rs =
        store->open("SELECT * FROM tbDados_Gigantic WHERE tabela = " + text("tbImages") +
                        " AND pkey_campo = " + text("ID") + " AND pkey_value = " + text("5"),
                    db::CursorType::Static);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.field("target_image").value(), db::Value::bytes(image));
    EXPECT_EQ(rs.field("target_image").type(), 205);
    EXPECT_EQ(rs.field("target_image").actualSize(), 20000);
    EXPECT_TRUE(rs.field("target_value").value().isNull());
}

TEST(StoreStatementsFailure, AMissingStoreTableIsAnObjectNotFound) {
    TempFolder folder("statements-missing");
    createEmptyStore(storePath(folder.path()));
    auto store = openStore(storePath(folder.path()));
    store->execute("DROP TABLE tbExecute");
    try {
        store->open("SELECT * FROM tbExecute ORDER BY execute_id", db::CursorType::Static);
        FAIL() << "read a missing table";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::errc::kObjectNotFound);
        EXPECT_EQ(e.description(),
                  "no such table: tbExecute in: SELECT * FROM tbExecute ORDER BY execute_id");
    }
}

}  // namespace
}  // namespace store
