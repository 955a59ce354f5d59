// The object phases end to end through the command line: a capture of a reference with
// keys, IX indexes, defaults, functions, views and procedures, then upgrades of an older
// target, checked in the target's catalog, in the statement log and in what the server
// received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "e2e_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::CommandResult;
using Rows = std::vector<std::string>;

// A procedure of about 9,000 characters (three chunks of source text), with an apostrophe.
std::string longProcedure() {
    std::string text = "CREATE PROCEDURE dbo.spLonga\r\nAS\r\n/* ";
    while (text.size() < 9000) text += "linha d'exemplo de um procedimento longo ";
    return text + "*/\r\nSELECT COUNT(*) AS total FROM tbFacturas\r\n";
}

class UpgradeObjects : public ::testing::Test {
protected:
    UpgradeObjects()
        : env(false, false,
              {{"objref", "tests/fixtures/objects_upgrade_reference.sql"},
               {"objtarget", "tests/fixtures/objects_upgrade_target.sql"}},
              true) {
        env.openServer("objref")->execute(longProcedure());
    }

    // The command line with the test's own program folder, registry and shadow folder.
    CommandResult cli(const std::string& command, const std::string& database,
                      std::vector<std::string> more = {}) {
        std::vector<std::string> argv{std::string(SQLUPGRADE_BIN_DIR) + "/sqlupgrade-cli",
                                      "--home",
                                      env.home().path().string(),
                                      command,
                                      "-S",
                                      "127.0.0.1," + std::to_string(env.server().port()),
                                      "-d",
                                      database,
                                      "-U",
                                      "sa",
                                      "-P",
                                      env.server().password()};
        argv.insert(argv.end(), more.begin(), more.end());
        return testsupport::runCommand(
            argv, "",
            {"SQLUPGRADE_REGISTRY_MACHINE=" + (env.home() / "machine.reg").string(),
             "SQLUPGRADE_REGISTRY_USER=" + (env.home() / "user.reg").string(),
             "SQLUPGRADE_COMMON_APPDATA=" + (env.home() / "appdata").string()});
    }

    // An upgrade that asks after every failed statement and answers No, so that any
    // failure ends it.
    CommandResult upgrade(std::vector<std::string> more = {}) {
        more.insert(more.end(), {"--no-backup", "--no-silent", "--answer", "no"});
        return cli("upgrade", "objtarget", more);
    }

    Rows rows(const std::string& database, const std::string& query) {
        return e2e::queryRows(*env.openServer(database), query);
    }

    // The statement log in the order it was written.
    Rows logged() { return e2e::storeRows(*env.openStore(), "tbLogs", "rowid"); }

    // Whether a statement of the log contains `fragment`.
    bool logMentions(const std::string& fragment) {
        for (const std::string& statement : logged()) {
            if (statement.find(fragment) != std::string::npos) return true;
        }
        return false;
    }

    // The asking upgrade after `batch` has changed the target and the reference has been
    // captured.
    CommandResult upgradeChangedTarget(const std::string& batch) {
        env.openServer("objtarget")->execute(batch);
        const CommandResult captured = cli("capture", "objref");
        EXPECT_EQ(captured.exitCode, 0) << captured.err;
        return upgrade();
    }

    // The source text of every function, view and procedure, its chunks joined.
    std::map<std::string, std::string> modules(const std::string& database) {
        std::map<std::string, std::string> texts;
        auto server = env.openServer(database);
        db::Recordset rs = server->open(
            "SELECT o.name, c.text FROM sysobjects o JOIN syscomments c ON c.id = o.id "
            "WHERE o.xtype IN ('FN', 'V', 'P') AND o.name NOT LIKE 'sys%' ORDER BY o.name, c.colid",
            db::CursorType::Static);
        for (; !rs.eof(); rs.moveNext())
            texts[rs.field(0).value().toText()] += rs.field(1).value().toText();
        return texts;
    }

    // What the server received from now on, as the trace holds it.
    std::size_t traceMark() const { return std::filesystem::file_size(env.tracePath()); }
    std::string traceSince(std::size_t mark) const {
        std::ifstream in(env.tracePath(), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(mark));
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    e2e::Environment env;
};

const char* const kKeys =
    "SELECT o.name, p.name, c.name FROM sysobjects p JOIN sysobjects o ON o.id = p.parent_obj "
    "JOIN sysindexes i ON i.id = o.id AND i.name = p.name JOIN sysindexkeys k ON k.id = i.id AND "
    "k.indid = i.indid "
    "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE p.xtype = 'PK' ORDER BY o.name, "
    "k.keyno";
const char* const kIxIndexes =
    "SELECT o.name, i.name, c.name FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
    "JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid JOIN syscolumns c ON c.id = k.id AND "
    "c.colid = k.colid "
    "WHERE i.name LIKE 'IX%' ORDER BY o.name, i.name";
const char* const kDefaults =
    "SELECT o.name, c.name, d.name, m.text FROM syscolumns c JOIN sysobjects o ON o.id = c.id "
    "JOIN sysobjects d ON d.id = c.cdefault JOIN syscomments m ON m.id = d.id WHERE o.xtype = 'U' "
    "ORDER BY o.name, c.name";

TEST_F(UpgradeObjects, TheTargetGetsTheReferencesObjectsAndASecondRunOnlyRecreatesModules) {
    const CommandResult captured = cli("capture", "objref");
    ASSERT_EQ(captured.exitCode, 0) << captured.err;

    const CommandResult first = upgrade();
    ASSERT_EQ(first.exitCode, 0) << first.err;
    // Each phase that found rows showed its progress, in the fixed order.
    EXPECT_THAT(
        first.err,
        testing::ContainsRegex(
            // (each followed by the line its step leaves when it ends)
            "Tabelas e campos \\.\\.\\.\nTable structure: [^\n]*\nA carregar definições: Primary Keys \\.\\.\\.\n"
            "Primary keys: [^\n]*\nA carregar definições: Indexes \\.\\.\\.\nIndexes: [^\n]*\n"
            "A carregar definições: Defaults \\.\\.\\.\nDefaults: [^\n]*\n"
            "A carregar definições: Functions \\.\\.\\.\nFunctions: [^\n]*\n"
            "A carregar definições: Views \\.\\.\\.\nViews: [^\n]*\n"
            "A carregar definições: Stored Procedures \\.\\.\\.\n"));
    EXPECT_THAT(first.err,
                HasSubstr("As definições da base de dados foram actualizadas com sucesso!"));

    // The key of tbFacturas in the stored column order (the capture's, by name), the
    // missing index and default; an index or default of another name is left in place.
    EXPECT_THAT(rows("objtarget", kKeys),
                ElementsAre("tbClientes|PK_tbClientes|id", "tbFacturas|PK_tbFacturas|Ano",
                            "tbFacturas|PK_tbFacturas|Nr", "tbNotas|PK_tbNotas|id",
                            "tbUsers|PK_tbUsers|id_user", "tbVersao|PK_tbVersao|versao"));
    EXPECT_THAT(
        rows("objtarget", kIxIndexes),
        ElementsAre("tbClientes|IX_tbClientes_Nome|Nome",
                    "tbFacturas|IX_tbFacturas_Data_Antigo|Data", "tbNotas|IX_tbNotas_Texto|Texto"));
    EXPECT_THAT(rows("objtarget", kDefaults),
                ElementsAre("tbClientes|Activo|DF_tbClientes_Activo|(1)",
                            "tbFacturas|Nota|DF_tbFacturas_Nota_Antigo|('-')"));
    EXPECT_THAT(rows("objtarget", "SELECT id, Activo FROM tbClientes ORDER BY id"),
                ElementsAre("1|1", "2|0", "3|1"));
    // Every function, view and procedure with the reference's source text, the view usable.
    const auto reference = modules("objref");
    EXPECT_EQ(reference.size(), 4u);
    EXPECT_EQ(modules("objtarget"), reference);
    EXPECT_THAT(rows("objtarget", "SELECT id, Nome, Activo FROM vwClientes ORDER BY id"),
                ElementsAre("1|Ana|1", "2|Rui|0", "3|NULL|1"));
    // The users of tbUsers in the role; sa and the NULL name untouched, the names arrived as data.
    EXPECT_THAT(rows("objtarget",
                     "SELECT u.name, r.name FROM sysusers u JOIN sysusers r ON r.uid = u.gid "
                     "WHERE u.issqluser = 1 AND u.uid > 4 ORDER BY u.name"),
                ElementsAre("d'Almeida|nao_faz_nada", "x'); DROP TABLE tbUsers; --|nao_faz_nada"));
    EXPECT_THAT(
        rows("objtarget",
             "SELECT name FROM sysusers WHERE issqlrole = 1 AND uid >= 16400 ORDER BY name"),
        ElementsAre("nao_faz_nada", "qv_nothing"));
    EXPECT_THAT(rows("objtarget", "SELECT COUNT(*) FROM tbUsers"), ElementsAre("4"));

    EXPECT_THAT(logged(),
                ElementsAre("ALTER TABLE [tbClientes] ADD CONSTRAINT [PK_tbClientes] PRIMARY KEY "
                            "NONCLUSTERED ( [id] ) ON "
                            "[PRIMARY]",
                            "ALTER TABLE [tbFacturas] DROP CONSTRAINT [PK_tbFacturas_Antiga]",
                            "ALTER TABLE [tbFacturas] ADD CONSTRAINT [PK_tbFacturas] PRIMARY KEY "
                            "NONCLUSTERED ( [ano]  ,  "
                            "[nr] ) ON [PRIMARY]",
                            "ALTER TABLE [tbNotas] ADD CONSTRAINT [PK_tbNotas] PRIMARY KEY "
                            "NONCLUSTERED ( [id] ) ON [PRIMARY]",
                            "CREATE INDEX IX_tbClientes_Nome ON [tbClientes] ([Nome]) ON [PRIMARY]",
                            "ALTER TABLE [tbClientes] ADD CONSTRAINT [DF_tbClientes_Activo] "
                            "DEFAULT (1) FOR [Activo]",
                            "UPDATE [tbClientes] SET [Activo] = (1) WHERE [Activo] is null",
                            "DROP FUNCTION fnDobro", "DROP VIEW vwClientes"));

    const std::size_t mark = traceMark();
    const CommandResult second = upgrade();
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_THAT(logged(), ElementsAre("DROP FUNCTION fnDobro", "DROP VIEW vwClientes",
                                      "DROP PROCEDURE spLista", "DROP PROCEDURE spLonga"));
    const std::string sent = traceSince(mark);
    for (const char* absent :
         {"CREATE INDEX", "ADD CONSTRAINT", "UPDATE [", "sp_addrole", "sp_addlogin"}) {
        EXPECT_THAT(sent, Not(HasSubstr(absent)));
    }
    for (const char* again : {"CREATE FUNCTION dbo.fnDobro", "CREATE VIEW dbo.vwClientes",
                              "CREATE PROCEDURE dbo.spLista", "CREATE PROCEDURE dbo.spLonga"}) {
        EXPECT_THAT(sent, HasSubstr(again));
    }
    EXPECT_EQ(modules("objtarget"), reference);
}

// Duplicates in tbClientes and tbNotas: the keys cannot be made, the message names each
// table, the statements are not logged, and the run goes on to its end. tbNotas, left
// without a key, still owns no constraint or default: its index is seen all the same and
// not created again (which would fail and ask).
TEST_F(UpgradeObjects, AKeyOverDuplicatedRowsIsReportedAndNotLogged) {
    const CommandResult result = upgradeChangedTarget(
        "INSERT INTO tbClientes (id, Nome, Activo) VALUES (1, 'Outra Ana', 1) "
        "INSERT INTO tbNotas (id, Texto) VALUES (1, 'repetida')");

    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const char* table : {"tbClientes", "tbNotas"}) {
        EXPECT_THAT(result.err,
                    HasSubstr("Não foi possivel criar a chave primária, falta integridade nos "
                              "dados da tabela '" +
                              std::string(table) + "'.\n\nClique em OK para continuar."));
    }
    EXPECT_THAT(result.err, Not(HasSubstr("Deseja continuar?")));
    EXPECT_THAT(result.err,
                HasSubstr("As definições da base de dados foram actualizadas com sucesso!"));
    const Rows log = logged();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "ALTER TABLE [tbFacturas] DROP CONSTRAINT [PK_tbFacturas_Antiga]");
    EXPECT_THAT(rows("objtarget", "SELECT COUNT(*) FROM sysobjects WHERE name = 'PK_tbClientes'"),
                ElementsAre("0"));
    EXPECT_FALSE(logMentions("tbNotas"));
}

// A key the server refuses for another reason than the data (tbClientes.id is nullable
// in the target and holds a NULL, so it cannot be altered to NOT NULL first) is asked
// about as any failed statement, is not logged, and the run does not report success:
// No ends it, naming the key. A silent run passes over it, again without logging it.
TEST_F(UpgradeObjects, AKeyRefusedForANullableColumnIsAskedAboutAndNotLogged) {
    const CommandResult asked = upgradeChangedTarget(
        "ALTER TABLE tbClientes ALTER COLUMN id int NULL "
        "INSERT INTO tbClientes (id, Nome, Activo) VALUES (NULL, 'Sem numero', 1)");

    EXPECT_EQ(asked.exitCode, 1) << asked.err;
    const std::string refused =
        "Cannot define PRIMARY KEY constraint on nullable column in table 'tbClientes'.";
    EXPECT_THAT(asked.err, HasSubstr("Erro: " + refused + "\n\nDeseja continuar?"));
    EXPECT_THAT(asked.err, HasSubstr("Objecto: PK_tbClientes"));
    EXPECT_THAT(asked.err, Not(HasSubstr("actualizadas com sucesso")));
    EXPECT_FALSE(logMentions("[PK_tbClientes]"));

    // Yes to the guard question the failed run left behind.
    const CommandResult silent =
        cli("upgrade", "objtarget", {"--no-backup", "--silent", "--answer", "yes"});
    EXPECT_TRUE(logMentions("DROP FUNCTION fnDobro")) << silent.err;  // past the keys
    EXPECT_FALSE(logMentions("[PK_tbClientes]"));
    EXPECT_THAT(silent.err, Not(HasSubstr("Deseja continuar?")));
    EXPECT_THAT(rows("objtarget", "SELECT COUNT(*) FROM sysobjects WHERE name = 'PK_tbClientes'"),
                ElementsAre("0"));
}

// After the procedures phase, a failing maintenance command answered No ends the run with
// the server's message alone: no procedure re-created before it is named.
TEST_F(UpgradeObjects, AFailingMaintenanceCommandNamesNoObject) {
    ASSERT_EQ(cli("capture", "objref").exitCode, 0);
    env.openStore()->execute(
        "INSERT INTO tbExecute (activo, comando) VALUES (1, 'UPDATE tbNaoExiste SET x = 1')");

    const CommandResult result = upgrade();

    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr("Invalid object name 'tbNaoExiste'."));
    EXPECT_THAT(result.err, Not(HasSubstr("Objecto")));
}

// With both rebuild options the IX indexes and defaults of the target are removed first
// (not logged) and the stored ones created in their place.
TEST_F(UpgradeObjects, RebuildOptionsRemoveIndexesAndDefaultsBeforeTheyAreCreated) {
    ASSERT_EQ(cli("capture", "objref").exitCode, 0);

    const CommandResult result = upgrade({"--rebuild-indexes", "--rebuild-defaults"});

    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.err, testing::ContainsRegex("A carregar definições: Remover Indexes \\.\\.\\.\n"
                                                   "Index removal: [^\n]*\n"
                                                   "A carregar definições: Remover Defaults \\.\\.\\.\n"));
    EXPECT_THAT(rows("objtarget", kIxIndexes), ElementsAre("tbClientes|IX_tbClientes_Nome|Nome",
                                                           "tbFacturas|IX_tbFacturas_Data|Data",
                                                           "tbNotas|IX_tbNotas_Texto|Texto"));
    EXPECT_THAT(rows("objtarget", kDefaults),
                ElementsAre("tbClientes|Activo|DF_tbClientes_Activo|(1)",
                            "tbFacturas|Nota|DF_tbFacturas_Nota|('')"));
    EXPECT_FALSE(logMentions("DROP INDEX"));
    EXPECT_FALSE(logMentions("DF_tbFacturas_Nota_Antigo"));
    // tbNotas owns no constraint or default in the target: its index was removed all the
    // same, and made again from the store.
    EXPECT_TRUE(logMentions("CREATE INDEX IX_tbNotas_Texto ON [tbNotas] ([Texto]) ON [PRIMARY]"));
}

}  // namespace
