#include "capture/capture_system_data.h"

#include <gmock/gmock.h>

#include "capture/data_command.h"
#include "capture/system_data_statements.h"
#include "db/error.h"
#include "phase_test_fixture.h"

namespace capture {
namespace {

using db::Value;
using ::testing::ElementsAre;
using Rows = testing_support::FakeConnection::Rows;
namespace ado = db::ado;

const std::string kDadosInsert =
    "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, force_update, "
    "delete_first) VALUES (";

// The phase run by itself over a scripted reference: each helper adds the answers the
// reference gives for one table.
class SystemDataPhase : public PhaseTest {
protected:
    // The phase list: user tables by name, with their object ids.
    void userTables(std::initializer_list<std::pair<const char*, int>> tables) {
        Rows rows;
        for (const auto& [name, id] : tables)
            rows.push_back({Value::text(name), Value::integer(id)});
        server.onQuery(kUserTablesQuery, {{"name", ado::kVarWChar}, {"id", ado::kInteger}}, rows);
    }

    // The table's rule row: disable, only_if_empty, force_update, Delete_First.
    void rule(const std::string& table, Value disable, Value onlyIfEmpty = Value::boolean(false),
              Value forceUpdate = Value::integer(0), Value deleteFirst = Value::integer(0)) {
        server.onQuery("tbSQLUpdate WHERE descrit = '" + table + "'",
                       {{"descrit", ado::kVarChar},
                        {"disable", ado::kInteger},
                        {"only_if_empty", ado::kBoolean},
                        {"force_update", ado::kInteger},
                        {"Delete_First", ado::kInteger}},
                       {{Value::text(table), disable, onlyIfEmpty, forceUpdate, deleteFirst}});
    }

    void identityColumn(int tableId) {
        server.onQuery("sysColumns WHERE ID = " + std::to_string(tableId) + " ",
                       {{"name", ado::kVarWChar}}, {{Value::text("id")}});
    }

    void primaryKey(const std::string& table, const char* firstColumn) {
        server.onQuery(
            "AND SOURCE_sysobjects_2.name = '" + table + "' ORDER BY",
            textColumns({"PK_Name", "tabela", "campo"}),
            {{Value::text("PK_" + table), Value::text(table), Value::text(firstColumn)}});
    }

    // A table whose rows are captured: rule disable 0, its key, its rows.
    void capturedTable(const std::string& table, const char* keyColumn,
                       std::vector<db::Column> columns, Rows rows) {
        rule(table, Value::integer(0));
        primaryKey(table, keyColumn);
        server.onQuery("SELECT * FROM " + table, std::move(columns), std::move(rows));
    }

    void capture() { runCatalogPhase(run, systemDataPhase()); }

    // The tbDados rows the phase tried to write, in order.
    std::vector<std::string> dadosInserts() const {
        std::vector<std::string> inserts;
        for (const std::string& sql : store.log) {
            if (sql.rfind(kDadosInsert, 0) == 0) inserts.push_back(sql);
        }
        return inserts;
    }
};

TEST_F(SystemDataPhase, OneTableFromRuleToLargeValuesInTheirOrder) {
    userTables({{"tbAnexos", 5}});
    identityColumn(5);
    const std::string longText = " it's " + std::string(8000, 'a');
    capturedTable(
        "tbAnexos", "nome",
        {{"nome", ado::kVarChar},
         {"ordem", ado::kInteger},
         {"texto", ado::kLongVarChar},
         {"imagem", ado::kLongVarBinary}},
        {{Value::text("d'Ouro"), Value::integer(3), Value::text(longText), Value::bytes({1, 2, 3})},
         {Value::text("Nulo"), Value::integer(4), Value(), Value()}});
    // Each new tbDados_Gigantic row is the largest so far.
    auto newest = std::make_shared<int>(6);
    store.onExecute("INSERT INTO tbDados_Gigantic", [this, newest] {
        store.onQuery(kNewestGiganticIdQuery, {{"maximo", ado::kInteger}},
                      {{Value::integer(++*newest)}});
    });
    server.onQuery("WHERE nome = 'd''Ouro'", {{"imagem", ado::kLongVarBinary}},
                   {{Value::bytes({1, 2, 3})}});
    server.onQuery("WHERE nome = 'Nulo'", {{"imagem", ado::kLongVarBinary}}, {{Value()}});

    capture();

    EXPECT_THAT(
        server.log,
        ElementsAre(
            kUserTablesQuery, "SELECT * FROM tbSQLUpdate WHERE descrit = 'tbAnexos'",
            "SELECT * FROM sysColumns WHERE ID = 5 AND colstat <> 0",
            " SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, "
            "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS "
            "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id = "
            "SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK')  JOIN sysindexes AS "
            "SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND "
            "SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid = "
            "SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON "
            "SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS "
            "SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND "
            "SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) WHERE SOURCE_sysobjects_2.name "
            "<> "
            "'dtproperties'  AND SOURCE_sysobjects_2.name = 'tbAnexos' ORDER BY "
            "SOURCE_sysobjects_2.name, SOURCE_syscolumns.colid",
            "SELECT * FROM tbAnexos",
            // The binary values are fetched once the table's rows have all been read.
            "SELECT imagem FROM tbAnexos WHERE nome = 'd''Ouro'",
            "SELECT imagem FROM tbAnexos WHERE nome = 'Nulo'"));
    const std::string marked = "it!39!s " + std::string(8000, 'a');
    EXPECT_THAT(
        store.log,
        ElementsAre(
            "DELETE FROM tbDados", "DELETE FROM tbDados_Gigantic",
            "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field, "
            "target_value) VALUES('tbAnexos', 'nome','d'+CHR(39)+'Ouro', 'texto', '" +
                marked + "')",
            "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) "
            "VALUES('tbAnexos', 'nome','d'+CHR(39)+'Ouro', 'imagem')",
            "SELECT Max(ID) AS maximo FROM tbDados_Gigantic",
            kDadosInsert +
                "'tbAnexos','nome','d'+CHR(39)+'Ouro','SET IDENTITY_INSERT tbAnexos ON INSERT INTO "
                "tbAnexos (nome, ordem, texto, imagem) VALUES ('+CHR(39)+'d!39!Ouro'+CHR(39)+', 3, "
                "'+CHR(39)+'" +
                marked +
                "'+CHR(39)+', "
                "'+CHR(39)+'BINARYUPDATE1E10414936DE'+CHR(39)+')  SET IDENTITY_INSERT tbAnexos "
                "OFF',0, 0, 0 )",
            // The second row: a null text is no large field; a null binary still is.
            "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) "
            "VALUES('tbAnexos', 'nome','Nulo', 'imagem')",
            "SELECT Max(ID) AS maximo FROM tbDados_Gigantic",
            kDadosInsert +
                "'tbAnexos','nome','Nulo','SET IDENTITY_INSERT tbAnexos ON INSERT INTO tbAnexos "
                "(nome, ordem, texto, imagem) VALUES ('+CHR(39)+'Nulo'+CHR(39)+', 4, null, "
                "'+CHR(39)+'BINARYUPDATE1E10414936DE'+CHR(39)+')  SET IDENTITY_INSERT tbAnexos "
                "OFF',0, 0, 0 )",
            "LONG VALUE tbDados_Gigantic.target_image WHERE ID = 8: 3 bytes"));
    EXPECT_EQ(form.FXEvolucao.caption, "A carregar definições: Dados do Sistema ...");
    EXPECT_EQ(form.ProgressBar1.max, 1);
    EXPECT_EQ(form.ProgressBar1.value, 1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(run.currentDataTable, "tbAnexos");
}

// One value of each type family, as the whole stored row of a table tbX (id int, valor).
struct FamilyCase {
    const char* name;
    int type;
    Value value;
    std::string written;  // the value as the command writes it
};

class StoredCommandPerTypeFamily : public SystemDataPhase,
                                   public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(StoredCommandPerTypeFamily, IsTheGoldenRow) {
    const FamilyCase& c = GetParam();
    userTables({{"tbX", 9}});
    capturedTable("tbX", "id", {{"id", ado::kInteger}, {"valor", c.type}},
                  {{Value::integer(7), c.value}});
    store.onQuery(kNewestGiganticIdQuery, {{"maximo", ado::kInteger}}, {{Value::integer(1)}});

    capture();

    std::string stored;  // the command as a store literal: each ' as '+CHR(39)+'
    for (char ch : "INSERT INTO tbX (id, valor) VALUES (7, " + c.written + ")") {
        stored += ch == '\'' ? std::string("'+CHR(39)+'") : std::string(1, ch);
    }
    EXPECT_THAT(dadosInserts(),
                ElementsAre(kDadosInsert + "'tbX','id',7,'" + stored + "',0, 0, 0 )"));
}

db::DateTime dateTime(int year, int month, int day, int hour, int minute, int second) {
    db::DateTime dt;
    dt.year = year;
    dt.month = month;
    dt.day = day;
    dt.hour = hour;
    dt.minute = minute;
    dt.second = second;
    return dt;
}

INSTANTIATE_TEST_SUITE_P(
    Families, StoredCommandPerTypeFamily,
    ::testing::Values(
        FamilyCase{"Integer", ado::kInteger, Value::integer(-12), "-12"},
        FamilyCase{"BitTrue", ado::kBoolean, Value::boolean(true), "1"},
        FamilyCase{"BitFalse", ado::kBoolean, Value::boolean(false), "0"},
        FamilyCase{"Money", ado::kCurrency, Value::decimal("1234.5"), "1234.5"},
        FamilyCase{"Float", ado::kDouble, Value::real(-2.25), "-2.25"},
        FamilyCase{"NullNumeric", ado::kNumeric, Value(), "null"},
        FamilyCase{"DateTime", ado::kDBTimeStamp, Value::dateTime(dateTime(2004, 3, 7, 14, 5, 9)),
                   "CONVERT(DATETIME,'2004-03-07 14:05:09',102)"},
        FamilyCase{"DateBefore1500", ado::kDBTimeStamp,
                   Value::dateTime(dateTime(1499, 12, 31, 0, 0, 0)), "null"},
        FamilyCase{"NullDate", ado::kDate, Value(), "null"},
        FamilyCase{"TextWithApostrophe", ado::kVarChar, Value::text("  O'Neil "), "'O!39!Neil'"},
        FamilyCase{"EmptyText", ado::kVarWChar, Value::text(""), "null"},
        FamilyCase{"NullLongText", ado::kLongVarChar, Value(), "null"},
        FamilyCase{"Guid", ado::kGUID, Value::text("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
                   "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
        FamilyCase{"Image", ado::kLongVarBinary, Value::bytes({0x47, 0x49, 0x46}),
                   "'BINARYUPDATE1E10414936DE'"},
        FamilyCase{"NullBinary", ado::kBinary, Value(), "'BINARYUPDATE1E10414936DE'"},
        // adFileTime, no type the table names: the text form as it is, unquoted.
        FamilyCase{"OtherType", 64, Value::text("a b"), "a b"}),
    [](const ::testing::TestParamInfo<FamilyCase>& info) { return std::string(info.param.name); });

// The size of a value as the server counts it decides, not the length of its UTF-8 text.
TEST(LargeField, IsABinaryOrAValueOfMoreThan7998Bytes) {
    struct Case {
        const char* name;
        int type;
        Value value;
        bool large;
    };
    std::string accented;
    for (int i = 0; i < 7998; ++i) accented += "ç";
    const Case cases[] = {
        {"varchar of 7998", ado::kVarChar, Value::text(std::string(7998, 'x')), false},
        {"text of 7999", ado::kLongVarChar, Value::text(std::string(7999, 'x')), true},
        {"varchar of 7998 accented", ado::kVarChar, Value::text(accented), false},
        {"nvarchar of 3999 (7998 bytes)", ado::kVarWChar, Value::text(std::string(3999, 'x')),
         false},
        {"ntext of 4000 (8000 bytes)", ado::kLongVarWChar, Value::text(std::string(4000, 'x')),
         true},
        {"null image", ado::kLongVarBinary, Value(), true},
        {"binary of 4", ado::kBinary, Value::bytes({1, 2, 3, 4}), true},
        {"int", ado::kInteger, Value::integer(1), false},
    };
    for (const Case& c : cases) {
        const db::Column column{"f", c.type};
        EXPECT_EQ(isLargeField(db::Field(column, c.value)), c.large) << c.name;
    }
}

// A wide value whose letters the server's code page lacks is an N literal, so that its
// replay does not turn them into question marks; everything else keeps its plain form.
TEST(DataCommandValue, AWideTextOutsideTheCodePageIsAnNLiteral) {
    struct Case {
        int type;
        Value value;
        const char* written;
    };
    const Case cases[] = {
        {ado::kVarWChar, Value::text("Ωμέγα'ς"), "N'Ωμέγα!39!ς'"},
        {ado::kWChar, Value::text("漢字"), "N'漢字'"},
        {ado::kLongVarWChar, Value::text("Щука"), "N'Щука'"},
        {ado::kVarWChar, Value::text("Ação €"), "'Ação €'"},
        {ado::kVarWChar, Value(), "null"},
        {ado::kVarChar, Value::text("O'Neil"), "'O!39!Neil'"},
    };
    for (const Case& c : cases) {
        std::string command;
        appendDataCommandValue(command, db::Field(db::Column{"f", c.type}, c.value));
        EXPECT_EQ(command, c.written);
    }
}

// The stored key follows the value's text; the look-up quotes every text key, so that
// SQL Server compares texts with a text.
TEST(KeyLiterals, TheLookUpQuotesEveryTextKey) {
    EXPECT_EQ(storeKeyLiteral(Value::integer(7)), "7");
    EXPECT_EQ(serverKeyLiteral(Value::integer(7)), "7");
    EXPECT_EQ(storeKeyLiteral(Value::text("2005")), "2005");
    EXPECT_EQ(serverKeyLiteral(Value::text("2005")), "'2005'");
    EXPECT_EQ(storeKeyLiteral(Value::text(" d'Ouro ")), "'d'+CHR(39)+'Ouro'");
    EXPECT_EQ(serverKeyLiteral(Value::text(" d'Ouro ")), "'d''Ouro'");
}

TEST_F(SystemDataPhase, OnlyTablesWithDisableZeroAndAKeyAreCaptured) {
    userTables({{"tbA", 1}, {"tbB", 2}, {"tbC", 3}, {"tbD", 4}, {"tbE", 5}});
    rule("tbB", Value::integer(1));
    rule("tbC", Value());
    rule("tbD", Value::integer(0));  // no primary key
    capturedTable("tbE", "id", {{"id", ado::kInteger}}, {{Value::integer(1)}});

    capture();

    // tbA has no rule row: no message either.
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Erro: Não foi possível determinar a primary key.tbD");
    EXPECT_EQ(host.messages[0].flags, app::mb::kInformation);
    EXPECT_EQ(host.messages[0].title, std::nullopt);
    EXPECT_EQ(server.log.size(), 1u + 5u + 2u + 3u);  // list, rules, tbD's two, tbE's three
    EXPECT_THAT(dadosInserts(),
                ElementsAre(kDadosInsert + "'tbE','id',1,'INSERT INTO tbE (id) VALUES "
                                           "(1)',0, 0, 0 )"));
    EXPECT_EQ(form.ProgressBar1.value, 5);
}

TEST_F(SystemDataPhase, TheRuleFlagsTravelWithEveryRowAndPoliciesKeepTheirDescription) {
    userTables({{"tbMenu", 1}, {"tbSecurityPolicies", 2}});
    capturedTable("tbMenu", "id", {{"id", ado::kInteger}}, {{Value::integer(1)}});
    rule("tbMenu", Value::integer(0), Value::boolean(true), Value::integer(5), Value::integer(1));
    capturedTable(
        "tbSecurityPolicies", "code",
        {{"code", ado::kInteger}, {"descrit", ado::kVarChar}, {"users_groups", ado::kVarChar}},
        {{Value::integer(12), Value::text("Não permitir alterar o preço d'origem"),
          Value::text("")}});
    rule("tbSecurityPolicies", Value::integer(0), Value::boolean(true), Value::integer(5),
         Value::integer(1));

    capture();

    EXPECT_THAT(
        dadosInserts(),
        ElementsAre(
            kDadosInsert + "'tbMenu','id',1,'INSERT INTO tbMenu (id) VALUES (1)',-1, -1, -1 )",
            kDadosInsert + "'tbSecurityPolicies', 'code','12','Não permitir alterar o "
                           "preço d'+CHR(39)+'origem',-1, 0, -1)"));
}

TEST_F(SystemDataPhase, AFailingRowInsertIsReportedKeptAndPassedOver) {
    userTables({{"tbMenu", 1}, {"tbSecurityPolicies", 2}});
    capturedTable("tbMenu", "id_menu", {{"id_menu", ado::kInteger}, {"descrit", ado::kVarChar}},
                  {{Value::integer(1), Value::text("A")},
                   {Value::integer(2), Value::text("B'C")},
                   {Value::integer(3), Value::text("D")}});
    capturedTable("tbSecurityPolicies", "code",
                  {{"code", ado::kInteger}, {"descrit", ado::kVarChar}},
                  {{Value::integer(12), Value::text("Ocultar custos")}});
    const db::Error refused(db::errc::kIntegrityViolation, "Registo recusado.");
    store.failOn("'tbMenu','id_menu',2,", refused);
    store.failOn("'tbSecurityPolicies', 'code','12'", refused);

    capture();

    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Registo recusado. - tbMenu: id_menu=2");
    EXPECT_EQ(host.messages[0].flags, app::mb::kInformation);
    EXPECT_EQ(host.messages[0].title, std::nullopt);
    EXPECT_EQ(host.messages[1].text, "Registo recusado. - tbSecurityPolicies: code=12");
    // The commands, each after a blank line; for a policy the command built, not the
    // description.
    EXPECT_EQ(
        run.failedCommands,
        "\r\n\r\nINSERT INTO tbMenu (id_menu, descrit) VALUES (2, 'B!39!C')"
        "\r\n\r\nINSERT INTO tbSecurityPolicies (code, descrit) VALUES (12, 'Ocultar custos')");
    EXPECT_EQ(dadosInserts().size(), 4u);  // the failed ones were tried too
    EXPECT_EQ(form.ProgressBar1.value, 2);
}

TEST_F(SystemDataPhase, AnyOtherFailureLeavesThePhase) {
    userTables({{"tbA", 1}, {"tbB", 2}});
    capturedTable("tbA", "id", {{"id", ado::kInteger}, {"imagem", ado::kLongVarBinary}},
                  {{Value::integer(1), Value()}});
    capturedTable("tbB", "id", {{"id", ado::kInteger}}, {{Value::integer(1)}});
    store.failOn("INSERT INTO tbDados_Gigantic", db::Error(db::errc::kStoreError, "disk full"));

    try {
        capture();
        FAIL() << "no error";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::errc::kStoreError);
        EXPECT_EQ(e.description(), "disk full");
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(dadosInserts().empty());
    EXPECT_EQ(run.currentDataTable, "tbA");
}

// A store that lost its transaction with the failure (a full disk) has lost the rows
// written before it too: passing over the row would go on writing outside any transaction.
TEST_F(SystemDataPhase, ARowFailureThatCostTheStoreItsTransactionLeavesThePhase) {
    userTables({{"tbMenu", 1}});
    capturedTable("tbMenu", "id", {{"id", ado::kInteger}},
                  {{Value::integer(1)}, {Value::integer(2)}});
    store.onExecute("'tbMenu','id',1,", [this] { store.lostTransaction = true; });
    store.failOn("'tbMenu','id',1,", db::Error(db::errc::kStoreError, "database or disk is full"));

    EXPECT_THROW(capture(), db::Error);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(run.failedCommands, "");
    EXPECT_EQ(dadosInserts().size(), 1u);
}

TEST_F(SystemDataPhase, WithoutUserTablesTheStoreTablesStayAsTheyWere) {
    capture();
    EXPECT_THAT(server.log, ElementsAre(kUserTablesQuery));
    EXPECT_TRUE(store.log.empty());
    EXPECT_EQ(form.FXEvolucao.caption, "");
}

}  // namespace
}  // namespace capture
