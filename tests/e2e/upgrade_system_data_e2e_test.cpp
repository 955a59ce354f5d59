// The system data update end to end: a capture of the reference "sysref" (system_data.sql
// and system_data_upgrade.sql), then upgrades of "sysdatatarget", which holds the same
// tables with the differences of system_data_target.sql, checked in the target's rows and
// in the statement log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/main_form.h"
#include "capture/capture_run.h"
#include "e2e_support.h"
#include "fake_host.h"
#include "phase_list/upgrade_phases.h"

namespace {

using app::OperationOutcome;
using ::testing::ElementsAre;
using Rows = std::vector<std::string>;

constexpr const char* kSuccess = "As definições da base de dados foram actualizadas com sucesso!";

// Presses the upgrade button again (a cancel) at the `n`th time the window is kept alive
// during the system data phase: the first is the start of its row pass, then one per table
// run.
class CancellingHost : public testing_support::FakeHost {
public:
    CancellingHost(app::MainForm& form, app::ConnectionOpeners openers, int n)
        : m_form(form), m_openers(std::move(openers)), m_n(n) {}
    void pumpEvents() override {
        FakeHost::pumpEvents();
        if (m_form.FXEvolucao.caption == "A carregar definições: Dados de Sistema ..." &&
            ++m_seen == m_n) {
            phase_list::pressUpgradeButton(m_form, *this, m_openers);
        }
    }

private:
    app::MainForm& m_form;
    app::ConnectionOpeners m_openers;
    int m_n;
    int m_seen = 0;
};

class UpgradeSystemData : public ::testing::Test {
protected:
    UpgradeSystemData()
        : env(false, false,
              {{"sysref", "tests/fixtures/system_data.sql"},
               {"sysref", "tests/fixtures/system_data_upgrade.sql"},
               {"sysdatatarget", "tests/fixtures/system_data_target_collation.sql"},
               {"sysdatatarget", "tests/fixtures/system_data.sql"},
               {"sysdatatarget", "tests/fixtures/system_data_upgrade.sql"},
               {"sysdatatarget", "tests/fixtures/system_data_target.sql"}}) {
        captureReference();
        env.pointAt(form, "sysdatatarget");
        form.FXBackup.value = 0;
        form.FXSilence.value = 0;  // any failed statement but a new row's insert asks
    }

    void captureReference() {
        app::MainForm captureForm;
        env.pointAt(captureForm, "sysref");
        testing_support::FakeHost captureHost;
        EXPECT_EQ(capture::runCapture(captureForm, captureHost, env.openers()),
                  OperationOutcome::Completed);
    }

    std::optional<OperationOutcome> upgrade(app::Host& upgradeHost) {
        return phase_list::pressUpgradeButton(form, upgradeHost, env.openers());
    }

    Rows target(const std::string& query) {
        return e2e::queryRows(*env.openServer("sysdatatarget"), query);
    }

    db::Value value(const std::string& database, const std::string& query) {
        auto server = env.openServer(database);
        db::Recordset rs = server->open(query, db::CursorType::Static);
        return rs.eof() ? db::Value::text("<no row>") : rs.field(0).value();
    }

    // The reference's long text (tbPesquisas row 1) without its blanks at each end, as the
    // capture keeps it.
    std::string longText() {
        const std::string text =
            value("sysref", "SELECT sql_text FROM tbPesquisas WHERE id_pesquisa = 1").asText();
        const std::size_t first = text.find_first_not_of(' ');
        return text.substr(first, text.find_last_not_of(' ') - first + 1);
    }

    Rows logged() { return e2e::storeRows(*env.openStore(), "tbLogs", "rowid"); }

    std::vector<std::string> texts(const testing_support::FakeHost& shown) {
        std::vector<std::string> out;
        for (const auto& message : shown.messages) out.push_back(message.text);
        return out;
    }

    e2e::Environment env;
    app::MainForm form;
    testing_support::FakeHost host;
};

// What the kept command writes for the long text: each apostrophe as ' + CHAR(39) + '.
std::string asSent(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\'' ? std::string("' + CHAR(39) + '") : std::string(1, c);
    return out;
}

TEST_F(UpgradeSystemData, TheTargetsSystemTablesEndWithTheReferencesRowsUnderEachRule) {
    ASSERT_EQ(upgrade(host), OperationOutcome::Completed);
    EXPECT_THAT(texts(host), ElementsAre(kSuccess));

    // The version row replaced by the captured one; the guard released at the end.
    EXPECT_THAT(target("SELECT versao, data_versao, upgrading FROM tbVersao"),
                ElementsAre("4.0.1|2005-06-30 18:00:00|0"));
    // Menus: the reference's columns, the target's users_groups (null kept as null); a new
    // entry takes the reference's (captured '' is null).
    EXPECT_THAT(target("SELECT id_menu, descrit, ordem, users_groups FROM tbMenu_Main ORDER BY 1"),
                ElementsAre("1|Clientes|10|Gestores", "2|Fornecedores|20|NULL",
                            "3|Documentos d'arquivo|30|Compras"));
    EXPECT_THAT(target("SELECT id_item, descrit, accao, users_groups FROM tbMenu_Main_Items ORDER "
                       "BY 1"),
                ElementsAre("1|Ficha de cliente|frmClientes|NULL",
                            "2|Extracto de conta|rptExtracto|Direcção",
                            "5|Pesquisa d'arquivo|frmArquivo|NULL"));
    // Delete-first by the first key column: every row of id_item 1 went, the captured ones
    // came back; id_item 2 stays.
    EXPECT_THAT(target("SELECT id_item, id_sub, descrit, users_groups FROM tbMenu_Main_Sub ORDER "
                       "BY 1, 2"),
                ElementsAre("1|1|Dados gerais|Vendas", "1|2|Moradas|NULL", "2|1|Fica|Vendas"));
    // Only-if-empty: the empty table gets every row, the other none.
    EXPECT_THAT(target("SELECT id_pesquisa, descrit, DATALENGTH(sql_text) FROM tbPesquisas "
                       "ORDER BY 1"),
                ElementsAre("1|Documentos por cliente|8997", "2|Clientes d'Aveiro|48",
                            "4|Pesquisa vazia|NULL"));
    EXPECT_EQ(value("sysdatatarget", "SELECT sql_text FROM tbPesquisas WHERE id_pesquisa = 1"),
              db::Value::text(longText()));
    EXPECT_THAT(target("SELECT ordem, id_pesquisa, campo FROM tbPesquisas_Fields"),
                ElementsAre("1|1|numero"));
    // Policies: an existing one untouched; new ones in their two forms.
    EXPECT_THAT(target("SELECT code, descrit, users_groups FROM tbSecurityPolicies ORDER BY 1"),
                ElementsAre("1|Descrição local|Admin", "12|Não permitir alterar o preço d'origem|",
                            "20|Permitir exportar listagens|Todos"));
    // Force update: every row replaced, images byte for byte; a NULL image is NULL again.
    EXPECT_THAT(
        target("SELECT nome, valor, valor_numerico, DATALENGTH(imagem) FROM tbParametros "
               "ORDER BY nome"),
        ElementsAre("Assinatura d'Ouro|NULL|19.5|12", "Empresa|Sociedade d'Exemplo, Lda.|NULL|NULL",
                    "Logotipo|logotipo.gif|NULL|20000"));
    for (const char* key : {"Logotipo", "Assinatura d''Ouro"}) {
        const std::string query =
            std::string("SELECT imagem FROM tbParametros WHERE nome = '") + key + "'";
        EXPECT_EQ(value("sysdatatarget", query), value("sysref", query)) << key;
    }
    EXPECT_EQ(value("sysdatatarget", "SELECT texto FROM tbTextos WHERE chave = 'A'"),
              db::Value::text(longText()));
    // Delete-first with large fields: the image, a NULL and an empty one; the text.
    EXPECT_THAT(target("SELECT id, DATALENGTH(imagem) FROM tbAnexos ORDER BY id"),
                ElementsAre("1|20000", "2|NULL", "3|0", "4|1"));
    EXPECT_EQ(value("sysdatatarget", "SELECT imagem FROM tbAnexos WHERE id = 1"),
              value("sysref", "SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'"));
    EXPECT_EQ(value("sysdatatarget", "SELECT texto FROM tbModelos WHERE id = 1"),
              db::Value::text(longText()));
    // A new row the server refuses (a binary column takes no placeholder text) is passed
    // over; disabled tables are untouched.
    EXPECT_THAT(target("SELECT id FROM tbTipos"), ElementsAre("1"));
    EXPECT_THAT(target("SELECT descrit FROM tbUsers ORDER BY id_user"), ElementsAre("sa", "joana"));
    // The rest of the menu family.
    EXPECT_THAT(target("SELECT id_menu FROM tbMenu ORDER BY 1"), ElementsAre("1", "9"));
    EXPECT_THAT(target("SELECT id_field FROM tbMenu_Main_Fields ORDER BY 1"),
                ElementsAre("1", "2"));
    EXPECT_THAT(target("SELECT users_groups FROM tbMenu_Main_Items_Fields_UserDefaults"),
                ElementsAre("Vendas"));

    const std::string text = asSent(longText());
    EXPECT_THAT(
        logged(),
        ElementsAre(
            "DELETE FROM tbAnexos WHERE id = 1", "DELETE FROM tbAnexos WHERE id = 2",
            "DELETE FROM tbAnexos WHERE id = 3",
            "DELETE FROM tbMenu_Main_Items_Fields_UserDefaults WHERE id_default = 1",
            "DELETE FROM tbMenu_Main_Sub WHERE id_item = 1", "DELETE FROM tbModelos WHERE id = 1",
            "INSERT INTO tbAnexos (id, imagem) VALUES (1, 'BINARYUPDATE1E10414936DE')",
            "INSERT INTO tbAnexos (id, imagem) VALUES (2, 'BINARYUPDATE1E10414936DE')",
            "INSERT INTO tbAnexos (id, imagem) VALUES (3, 'BINARYUPDATE1E10414936DE')",
            "INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES (1, "
            "'Clientes', 10, 'Vendas;Administração')",
            "INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES (2, "
            "'Fornecedores', 20, null)",
            "INSERT INTO tbMenu_Main (id_menu, descrit, ordem, users_groups) VALUES (3, "
            "'Documentos d' + CHAR(39) + 'arquivo', 30, null)",
            "INSERT INTO tbMenu_Main_Fields (id_field, campo) VALUES (2, 'morada')",
            "SET IDENTITY_INSERT tbMenu_Main_Items ON INSERT INTO tbMenu_Main_Items (id_item, "
            "id_menu, descrit, accao, users_groups) VALUES (1, 1, 'Ficha de cliente', "
            "'frmClientes', 'Vendas')  SET IDENTITY_INSERT tbMenu_Main_Items OFF",
            "SET IDENTITY_INSERT tbMenu_Main_Items ON INSERT INTO tbMenu_Main_Items (id_item, "
            "id_menu, descrit, accao, users_groups) VALUES (2, 1, 'Extracto de conta', "
            "'rptExtracto', null)  SET IDENTITY_INSERT tbMenu_Main_Items OFF",
            "SET IDENTITY_INSERT tbMenu_Main_Items ON INSERT INTO tbMenu_Main_Items (id_item, "
            "id_menu, descrit, accao, users_groups) VALUES (5, 3, 'Pesquisa d' + CHAR(39) + "
            "'arquivo', 'frmArquivo', null)  SET IDENTITY_INSERT tbMenu_Main_Items OFF",
            "INSERT INTO tbMenu_Main_Items_Fields_Order_UserDefaults (id_default, users_groups) "
            "VALUES (1, 'Vendas')",
            "INSERT INTO tbMenu_Main_Items_Fields_UserDefaults (id_default, users_groups) VALUES "
            "(1, 'Vendas')",
            "INSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) VALUES (1, 1, "
            "'Dados gerais', 'Vendas')",
            "INSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) VALUES (1, 2, "
            "'Moradas', null)",
            "INSERT INTO tbModelos (id, texto) VALUES (1, '" + text + "')",
            "DELETE FROM tbParametros WHERE nome = 'Logotipo'",
            "INSERT INTO tbParametros (nome, valor, valor_numerico, data_alteracao, imagem) "
            "VALUES ('Logotipo', 'logotipo.gif', null, CONVERT(DATETIME,'2004-03-07 "
            "14:05:09',102), 'BINARYUPDATE1E10414936DE')",
            "DELETE FROM tbParametros WHERE nome = 'Assinatura d''Ouro'",
            "INSERT INTO tbParametros (nome, valor, valor_numerico, data_alteracao, imagem) "
            "VALUES ('Assinatura d' + CHAR(39) + 'Ouro', null, 19.5, null, "
            "'BINARYUPDATE1E10414936DE')",
            "DELETE FROM tbParametros WHERE nome = 'Empresa'",
            "INSERT INTO tbParametros (nome, valor, valor_numerico, data_alteracao, imagem) "
            "VALUES ('Empresa', 'Sociedade d' + CHAR(39) + 'Exemplo, Lda.', null, null, "
            "'BINARYUPDATE1E10414936DE')",
            "SET IDENTITY_INSERT tbPesquisas ON INSERT INTO tbPesquisas (id_pesquisa, descrit, "
            "sql_text, users_groups) VALUES (1, 'Documentos por cliente', '" +
                text + "', null)  SET IDENTITY_INSERT tbPesquisas OFF",
            "SET IDENTITY_INSERT tbPesquisas ON INSERT INTO tbPesquisas (id_pesquisa, descrit, "
            "sql_text, users_groups) VALUES (2, 'Clientes d' + CHAR(39) + 'Aveiro', 'SELECT * "
            "FROM tbClientes WHERE cidade = ' + CHAR(39) + 'Aveiro' + CHAR(39) + '', 'Vendas')  "
            "SET IDENTITY_INSERT tbPesquisas OFF",
            "SET IDENTITY_INSERT tbPesquisas ON INSERT INTO tbPesquisas (id_pesquisa, descrit, "
            "sql_text, users_groups) VALUES (4, 'Pesquisa vazia', null, null)  SET "
            "IDENTITY_INSERT tbPesquisas OFF",
            "INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES ('12','Não "
            "permitir alterar o preço d''origem', '')",
            "INSERT INTO tbSecurityPolicies (code, descrit) VALUES ('20','Permitir exportar "
            "listagens')",
            "DELETE FROM tbTextos WHERE chave = 'A'",
            "INSERT INTO tbTextos (chave, texto) VALUES ('A', '" + text + "')",
            "INSERT INTO tbTipos (id, c_tinyint, c_smallint, c_bigint, c_bit, c_real, c_float, "
            "c_money, c_smallmoney, c_decimal, c_numeric, c_datetime, c_smalldatetime, c_char, "
            "c_varchar, c_text, c_nchar, c_nvarchar, c_ntext, c_binary, c_varbinary, c_image, "
            "c_guid) VALUES (2, null, null, null, null, null, null, null, null, null, null, "
            "null, null, null, null, null, null, null, null, 'BINARYUPDATE1E10414936DE', "
            "'BINARYUPDATE1E10414936DE', 'BINARYUPDATE1E10414936DE', null)",
            "DELETE FROM tbVersao",
            "INSERT INTO tbVersao (versao, data_versao, upgrading) VALUES ('4.0.1', "
            "CONVERT(DATETIME,'2005-06-30 18:00:00',102), 0)"));
}

// With Menus and Searches unticked the two families are left alone exactly as their lists
// say: no tbMenu* key is deleted first (tbMenu_Main_Sub keeps its extra rows), the listed
// menu tables and every search table get no row; tbMenu_Main_Fields (in no list) and the
// UserDefaults tables still get theirs.
TEST_F(UpgradeSystemData, UntickedFamiliesAreLeftAloneAsTheirListsSay) {
    form.FXDadosUpdateMenus.value = 0;
    form.FXDadosUpdatePesquisas.value = 0;
    ASSERT_EQ(upgrade(host), OperationOutcome::Completed);
    EXPECT_THAT(texts(host), ElementsAre(kSuccess));

    EXPECT_THAT(target("SELECT id_menu, descrit, users_groups FROM tbMenu_Main ORDER BY 1"),
                ElementsAre("1|Clientes (antigo)|Gestores", "3|Documentos d'arquivo|Compras"));
    EXPECT_THAT(target("SELECT id_item FROM tbMenu_Main_Items ORDER BY 1"), ElementsAre("1", "2"));
    EXPECT_THAT(target("SELECT id_item, id_sub, descrit FROM tbMenu_Main_Sub ORDER BY 1, 2"),
                ElementsAre("1|1|Antigo", "1|2|Moradas", "1|3|A remover", "2|1|Fica"));
    EXPECT_THAT(target("SELECT id_pesquisa FROM tbPesquisas"), ElementsAre());
    EXPECT_THAT(target("SELECT id_field FROM tbMenu_Main_Fields ORDER BY 1"),
                ElementsAre("1", "2"));
    EXPECT_THAT(target("SELECT id_default FROM tbMenu_Main_Items_Fields_UserDefaults"),
                ElementsAre("1"));
    EXPECT_THAT(target("SELECT id_default FROM tbMenu_Main_Items_Fields_Order_UserDefaults"),
                ElementsAre("1"));
    for (const std::string& statement : logged()) {
        EXPECT_EQ(statement.find("tbPesquisas"), std::string::npos) << statement;
        EXPECT_EQ(statement.find("tbMenu_Main "), std::string::npos) << statement;
        EXPECT_EQ(statement.find("tbMenu_Main_Sub"), std::string::npos) << statement;
    }
}

// "Limpar Menus": seven menu tables emptied before the row pass, tbMenu and
// tbMenu_Main_Fields kept. With Menus ticked the entries come back new (the reference's
// user groups); unticked, the listed tables stay empty and only the UserDefaults tables are
// filled again.
TEST_F(UpgradeSystemData, MenuCleaningEmptiesTheMenusBeforeTheRowPass) {
    form.FXDadosUpdateMenusClean.value = 1;
    form.FXDadosUpdateMenusClean.visible = true;
    ASSERT_EQ(upgrade(host), OperationOutcome::Completed);
    EXPECT_THAT(target("SELECT id_menu, users_groups FROM tbMenu_Main ORDER BY 1"),
                ElementsAre("1|Vendas;Administração", "2|NULL", "3|NULL"));
    EXPECT_THAT(target("SELECT id_item, users_groups FROM tbMenu_Main_Items ORDER BY 1"),
                ElementsAre("1|Vendas", "2|NULL", "5|NULL"));
    EXPECT_THAT(target("SELECT id_item, id_sub FROM tbMenu_Main_Sub ORDER BY 1, 2"),
                ElementsAre("1|1", "1|2"));
    EXPECT_THAT(target("SELECT id_menu FROM tbMenu ORDER BY 1"), ElementsAre("1", "9"));

    form.FXDadosUpdateMenus.value = 0;
    env.openServer("sysdatatarget")->execute("UPDATE tbVersao SET upgrading = 0");
    testing_support::FakeHost again;
    ASSERT_EQ(upgrade(again), OperationOutcome::Completed);
    for (const char* table : {"tbMenu_Main", "tbMenu_Main_Items", "tbMenu_Main_Items_Fields",
                              "tbMenu_Main_Items_Fields_Order", "tbMenu_Main_Sub"}) {
        EXPECT_THAT(target(std::string("SELECT COUNT(*) FROM ") + table), ElementsAre("0"))
            << table;
    }
    for (const char* table : {"tbMenu_Main_Items_Fields_Order_UserDefaults",
                              "tbMenu_Main_Items_Fields_UserDefaults", "tbMenu_Main_Fields"}) {
        EXPECT_THAT(target(std::string("SELECT COUNT(*) FROM ") + table),
                    ElementsAre(std::string(table) == "tbMenu_Main_Fields" ? "2" : "1"))
            << table;
    }
    EXPECT_THAT(target("SELECT id_menu FROM tbMenu ORDER BY 1"), ElementsAre("1", "9"));
}

// No to a question: the run error exit shows the failure with the row's command as
// stored; the phase ends the run, the upgrading mark stays raised.
TEST_F(UpgradeSystemData, NoToAQuestionShowsTheDescriptionAndTheStoredCommand) {
    auto server = env.openServer("sysdatatarget");
    server->execute("DELETE FROM tbMenu_Main_Sub WHERE id_item = 1 AND id_sub = 2");
    server->execute("UPDATE tbMenu_Main_Sub SET descrit = N'Moradas' WHERE id_item = 2");
    server->execute("CREATE UNIQUE INDEX UX_tbMenu_Main_Sub_descrit ON tbMenu_Main_Sub (descrit)");
    host.answer({app::mb::kAnswerNo});

    ASSERT_EQ(upgrade(host), OperationOutcome::Failed);

    const std::string failure =
        "Cannot insert duplicate key row in object 'tbMenu_Main_Sub' with unique index "
        "'UX_tbMenu_Main_Sub_descrit'.";
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text,
              "Erro: [tbMenu_Main_Sub] " + failure + "\n\r\n\rDeseja continuar?");
    EXPECT_EQ(host.messages[0].title, "Schemix");
    EXPECT_EQ(host.messages[1].text,
              failure +
                  "\n\r\n\rINSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) "
                  "VALUES (1, 2, 'Moradas', null)");
    EXPECT_EQ(host.messages[1].flags, app::mb::kInformation);
    EXPECT_THAT(target("SELECT upgrading FROM tbVersao"), ElementsAre("1"));
    EXPECT_EQ(logged().back(),
              "INSERT INTO tbMenu_Main_Sub (id_item, id_sub, descrit, users_groups) VALUES (1, 1, "
              "'Dados gerais', 'Vendas')");
}

// An image of 20 MB in a delete_first table goes through the capture and the large-value
// step whole, byte for byte.
TEST_F(UpgradeSystemData, ATwentyMegabyteImageArrivesWhole) {
    db::Bytes image(20 * 1024 * 1024);
    std::uint32_t state = 7;
    for (auto& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string insert = "INSERT INTO tbAnexos (id, imagem) VALUES (5, 0x";
    insert.reserve(insert.size() + 2 * image.size() + 1);
    for (const std::uint8_t byte : image) {
        insert += kHex[byte >> 4];
        insert += kHex[byte & 0x0F];
    }
    insert += ")";
    env.openServer("sysref")->execute(insert);
    insert = std::string();
    captureReference();

    ASSERT_EQ(upgrade(host), OperationOutcome::Completed);
    EXPECT_THAT(texts(host), ElementsAre(kSuccess));
    EXPECT_THAT(target("SELECT id, DATALENGTH(imagem) FROM tbAnexos ORDER BY id"),
                ElementsAre("1|20000", "2|NULL", "3|0", "4|1", "5|20971520"));
    EXPECT_TRUE(value("sysdatatarget", "SELECT imagem FROM tbAnexos WHERE id = 5") ==
                db::Value::bytes(image));
}

// A cancel at a table run of the system data releases the upgrading mark as every other
// phase's cancel does, so that the next unattended run (the command line answering each
// question with its default button, which declines a database marked as being upgraded)
// goes through.
TEST_F(UpgradeSystemData, ACancelAtATableRunLetsTheNextUnattendedRunComplete) {
    CancellingHost cancelling(form, env.openers(), 3);
    ASSERT_EQ(upgrade(cancelling), OperationOutcome::Cancelled);
    EXPECT_TRUE(cancelling.messages.empty());
    EXPECT_THAT(target("SELECT versao, upgrading FROM tbVersao"), ElementsAre("3.9.0|0"));
    // The first table run (tbAnexos) was applied, the second (tbMenu) was not reached.
    EXPECT_THAT(target("SELECT id, DATALENGTH(imagem) FROM tbAnexos ORDER BY id"),
                ElementsAre("1|20000", "2|NULL", "3|0", "4|1"));
    EXPECT_THAT(target("SELECT id_menu FROM tbMenu ORDER BY 1"), ElementsAre("1", "9"));

    const testsupport::CommandResult second = testsupport::runCommand(
        {std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli", "--home", env.home().path().string(),
         "upgrade", "-S", "127.0.0.1," + std::to_string(env.server().port()), "-d", "sysdatatarget",
         "-U", "sa", "-P", env.server().password(), "--no-backup", "--answer", "default"},
        "",
        {"SQLUPGRADE_REGISTRY_MACHINE=" + (env.home() / "machine.reg").string(),
         "SQLUPGRADE_REGISTRY_USER=" + (env.home() / "user.reg").string(),
         "SQLUPGRADE_COMMON_APPDATA=" + (env.home() / "appdata").string()});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_THAT(target("SELECT versao, upgrading FROM tbVersao"), ElementsAre("4.0.1|0"));
}

}  // namespace
