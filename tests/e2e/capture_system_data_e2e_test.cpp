// The capture of system data against the sandbox: the fixture "sysdata" holds a table for
// each way the rules table treats rows, large texts and images, and a table without a key.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "db/error.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "store/definitions_store.h"
#include "store_validation_rule.h"

namespace {

using app::OperationOutcome;
using ::testing::ElementsAre;
using Rows = std::vector<std::string>;

class CaptureSystemDataEndToEnd : public ::testing::Test {
protected:
    OperationOutcome capture() {
        app::MainForm form;
        env.pointAt(form, "sysdata");
        return capture::runCapture(form, host, env.openers());
    }

    // The stored rows of one captured table, in stored order:
    // pkey_campo|pkey_value|comando|only_if_empty|force_update|delete_first
    Rows dados(const std::string& table) {
        auto store = env.openStore();
        Rows rows;
        for (const std::string& row : e2e::storeRows(*store, "tbDados", "rowid")) {
            if (row.rfind(table + "|", 0) == 0) rows.push_back(row.substr(table.size() + 1));
        }
        return rows;
    }

    // One value as the reference holds it.
    db::Value referenceValue(const std::string& query) {
        auto server = env.openServer("sysdata");
        db::Recordset rs = server->open(query, db::CursorType::Static, db::LockType::ReadOnly);
        return rs.field(0).value();
    }

    e2e::Environment env{false, false, {{"sysdata", "tests/fixtures/system_data.sql"}}};
    testing_support::FakeHost host;
};

TEST_F(CaptureSystemDataEndToEnd, EachTableIsCapturedAsItsRuleSays) {
    ASSERT_EQ(capture(), OperationOutcome::Completed);

    // tbSemChave has rows but no key; tbLogs has no rule row and is passed over silently.
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Erro: Não foi possível determinar a primary key.tbSemChave");
    EXPECT_EQ(host.messages[0].flags, app::mb::kInformation);
    EXPECT_EQ(host.clipboard, "");
    for (const char* table : {"tbSemChave", "tbLogs", "tbUsers", "tbDocumentos", "tbSQLUpdate"}) {
        EXPECT_EQ(dados(table), Rows{}) << table;
    }

    // An empty text and a null are both null; the apostrophe is marked; force_update 1.
    EXPECT_EQ(
        dados("tbMenu_Main"),
        (Rows{"id_menu|1|INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES "
              "(1, 'Clientes', 10, 'Vendas;Administração')|False|True|False",
              "id_menu|2|INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES "
              "(2, 'Fornecedores', 20, null)|False|True|False",
              "id_menu|3|INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES "
              "(3, 'Documentos d!39!arquivo', 30, null)|False|True|False"}));
    // An identity table: the command inserts the identity value explicitly (the trailing
    // blank after OFF is trimmed when stored).
    EXPECT_EQ(
        dados("tbMenu_Main_Items")[2],
        "id_item|5|SET IDENTITY_INSERT tbMenu_Main_Items ON INSERT INTO tbMenu_Main_Items "
        "(id_item, id_menu, descrit, accao, users_groups) VALUES (5, 3, 'Pesquisa d!39!arquivo', "
        "'frmArquivo', null)  SET IDENTITY_INSERT tbMenu_Main_Items OFF|False|False|False");
    // A two-column key: the first key column, not both; Delete_First 1.
    EXPECT_EQ(
        dados("tbMenu_Main_Sub"),
        (Rows{"id_item|1|INSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) "
              "VALUES (1, 1, 'Dados gerais', 'Vendas')|False|False|True",
              "id_item|1|INSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) "
              "VALUES (1, 2, 'Moradas', null)|False|False|True"}));
    // Key (id_pesquisa, ordem) with ordem first by column id: ordem is the key column.
    // Null force_update and Delete_First count as false.
    EXPECT_EQ(dados("tbPesquisas_Fields"),
              (Rows{"ordem|1|INSERT INTO tbPesquisas_Fields (ordem, id_pesquisa, campo, titulo) "
                    "VALUES (1, 1, 'numero', 'Número')|True|False|False",
                    "ordem|2|INSERT INTO tbPesquisas_Fields (ordem, id_pesquisa, campo, titulo) "
                    "VALUES (2, 1, 'cliente', 'Cliente')|True|False|False"}));
    // Policies: the code as key, the description itself, never force-updated.
    EXPECT_EQ(dados("tbSecurityPolicies"),
              (Rows{"code|1|Ocultar preços de custo|False|False|False",
                    "code|12|Não permitir alterar o preço d'origem|False|False|False",
                    "code|20|Permitir exportar listagens|False|False|False"}));
    // A text key that is numeric text is still a text key; a version is no number.
    EXPECT_EQ(dados("tbVersao"),
              Rows{"versao|4.0.1|INSERT INTO tbVersao (versao, data_versao, upgrading) VALUES "
                   "('4.0.1', CONVERT(DATETIME,'2005-06-30 18:00:00',102), 0)|False|False|False"});
    // Every type of column, as the reference's driver reports it: numbers, Booleans as 1 and
    // 0, dates rounded to the second, texts trimmed, binaries as the placeholder.
    EXPECT_EQ(
        dados("tbTipos"),
        (Rows{"id|1|INSERT INTO tbTipos (id, c_tinyint, c_smallint, c_bigint, c_bit, c_real, "
              "c_float, c_money, c_smallmoney, c_decimal, c_numeric, c_datetime, "
              "c_smalldatetime, c_char, c_varchar, c_text, c_nchar, c_nvarchar, c_ntext, "
              "c_binary, c_varbinary, c_image, c_guid) VALUES (1, 255, -32768, "
              "9223372036854775807, 1, 1.5, -2.25, 123456.7891, -214748.3648, 12345678.91, "
              "-1234567890.1234, CONVERT(DATETIME,'2004-03-07 14:05:10',102), "
              "CONVERT(DATETIME,'2004-03-07 14:05:00',102), 'abc', 'O!39!Neil', 'texto longo', "
              "'ção', 'açaí', 'Olá mundo', 'BINARYUPDATE1E10414936DE', "
              "'BINARYUPDATE1E10414936DE', 'BINARYUPDATE1E10414936DE', "
              "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}')|False|False|False",
              "id|2|INSERT INTO tbTipos (id, c_tinyint, c_smallint, c_bigint, c_bit, c_real, "
              "c_float, c_money, c_smallmoney, c_decimal, c_numeric, c_datetime, "
              "c_smalldatetime, c_char, c_varchar, c_text, c_nchar, c_nvarchar, c_ntext, "
              "c_binary, c_varbinary, c_image, c_guid) VALUES (2, null, null, null, null, null, "
              "null, null, null, null, null, null, null, null, null, null, null, null, null, "
              "'BINARYUPDATE1E10414936DE', 'BINARYUPDATE1E10414936DE', "
              "'BINARYUPDATE1E10414936DE', null)|False|False|False"}));
}

TEST_F(CaptureSystemDataEndToEnd, LargeTextsAndImagesAreKeptWhole) {
    ASSERT_EQ(capture(), OperationOutcome::Completed);

    // 9,000 characters with blanks at each end: trimmed, apostrophes marked, in the
    // command and again in tbDados_Gigantic.
    const std::string text =
        referenceValue("SELECT sql_text FROM tbPesquisas WHERE id_pesquisa = 1").asText();
    ASSERT_EQ(text.front(), ' ');
    ASSERT_EQ(text.back(), ' ');
    std::size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    ASSERT_EQ(characters, 9000u);
    const std::string trimmed = text.substr(
        text.find_first_not_of(' '), text.find_last_not_of(' ') - text.find_first_not_of(' ') + 1);
    std::string marked;
    for (char c : trimmed) marked += c == '\'' ? std::string("!39!") : std::string(1, c);
    EXPECT_EQ(
        dados("tbPesquisas").front(),
        "id_pesquisa|1|SET IDENTITY_INSERT tbPesquisas ON INSERT INTO tbPesquisas (id_pesquisa, "
        "descrit, sql_text, users_groups) VALUES (1, 'Documentos por cliente', '" +
            marked + "', null)  SET IDENTITY_INSERT tbPesquisas OFF|True|False|False");

    auto store = env.openStore();
    EXPECT_THAT(
        e2e::storeRows(*store, "tbDados_Gigantic", "ID", "ID"),
        ElementsAre(
            "tbParametros|nome|Logotipo|imagem|NULL|" +
                referenceValue("SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'").toText(),
            // A text key with an apostrophe finds its image too.
            "tbParametros|nome|Assinatura d'Ouro|imagem|NULL|" +
                referenceValue("SELECT imagem FROM tbParametros WHERE nome = 'Assinatura d''Ouro'")
                    .toText(),
            "tbParametros|nome|Empresa|imagem|NULL|NULL",
            "tbPesquisas|id_pesquisa|1|sql_text|" + marked + "|NULL",
            "tbTipos|id|1|c_binary|NULL|\x01\x02\x03\x04", "tbTipos|id|1|c_varbinary|NULL|\xCA\xFE",
            "tbTipos|id|1|c_image|NULL|GIF", "tbTipos|id|2|c_binary|NULL|NULL",
            "tbTipos|id|2|c_varbinary|NULL|NULL", "tbTipos|id|2|c_image|NULL|NULL"));
    db::Recordset image =
        store->open("SELECT target_image FROM tbDados_Gigantic WHERE pkey_value = 'Logotipo'",
                    db::CursorType::Static);
    EXPECT_EQ(image.field(0).value().asBytes().size(), 20000u);
    EXPECT_EQ(image.field(0).value(),
              referenceValue("SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'"));
    EXPECT_EQ(
        dados("tbParametros")[0],
        "nome|Logotipo|INSERT INTO tbParametros (nome, valor, valor_numerico, data_alteracao, "
        "imagem) VALUES ('Logotipo', 'logotipo.gif', null, CONVERT(DATETIME,'2004-03-07 "
        "14:05:09',102), 'BINARYUPDATE1E10414936DE')|False|True|False");
}

TEST_F(CaptureSystemDataEndToEnd, ARowTheStoreRefusesIsReportedAndTheOthersAreStored) {
    testsupport::refuseDadosRows(
        store::storePath(env.home().path()), "NEW.tabela = 'tbMenu_Main' AND NEW.pkey_value = '2'",
        "One or more values are prohibited by the validation rule set for 'tbDados'.");
    ASSERT_EQ(capture(), OperationOutcome::Completed);

    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].text,
              "One or more values are prohibited by the validation rule set for 'tbDados'. - "
              "tbMenu_Main: id_menu=2");
    EXPECT_EQ(host.messages[2].text, "As definições da base de dados foram guardadas com sucesso!");
    EXPECT_EQ(host.clipboard,
              "\r\n\r\nINSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES (2, "
              "'Fornecedores', 20, null)");
    Rows menu = dados("tbMenu_Main");
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].substr(0, 10), "id_menu|1|");
    EXPECT_EQ(menu[1].substr(0, 10), "id_menu|3|");
    EXPECT_EQ(dados("tbVersao").size(), 1u);  // the tables after it are there too
}

}  // namespace
