#include "capture/capture_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capture/capture_tables.h"
#include "db/ado_types.h"
#include "fake_connection.h"
#include "fake_host.h"

namespace capture {
namespace {

using ::testing::ElementsAre;
using app::OperationOutcome;
using testing_support::FakeConnection;
using testing_support::FakeHost;

std::vector<db::Column> columnQueryColumns() {
    return {{"tabela", db::ado::kVarWChar}, {"campo", db::ado::kVarWChar},
            {"tipo", db::ado::kVarWChar},   {"tamanho", db::ado::kSmallInt},
            {"xprec", db::ado::kUnsignedTinyInt}, {"xscale", db::ado::kUnsignedTinyInt},
            {"isnullable", db::ado::kInteger}, {"isidentity", db::ado::kSmallInt},
            {"cdefault", db::ado::kLongVarWChar}};
}

std::vector<db::Value> columnRow(const char* table, const char* column, const char* type, int length,
                                 int nullable, int identity, db::Value deflt) {
    return {db::Value::text(table), db::Value::text(column), db::Value::text(type),
            db::Value::integer(length), db::Value::integer(type == std::string("decimal") ? 10 : 0),
            db::Value::integer(type == std::string("decimal") ? 2 : 0), db::Value::integer(nullable),
            db::Value::integer(identity), std::move(deflt)};
}

class CaptureRunTest : public ::testing::Test {
protected:
    CaptureRunTest() {
        form.FXDatabase.text = "ref";
        server.onQuery(kTablesCatalogQuery, columnQueryColumns(),
                       {columnRow("tbA", "id", "int", 4, 0, 1, db::Value()),
                        columnRow("tbA", "nome", "nvarchar", 100, 1, 0, db::Value::text("('')")),
                        columnRow("tbSkip", "x", "decimal", 9, 1, 0, db::Value::text("(0)"))});
        server.onQuery("SELECT TOP 1 * FROM tbSQLUpdate",
                       {{"descrit", db::ado::kVarChar}, {"exclude", db::ado::kInteger}},
                       {{db::Value::text("tbSkip"), db::Value::integer(1)}});
        server.onQuery("WHERE exclude <> 0 AND descrit = 'tbSkip'",
                       {{"descrit", db::ado::kVarChar}}, {{db::Value::text("tbSkip")}});
    }

    OperationOutcome run() {
        return runCapture(form, host, {[this](const db::ServerSettings& s) {
                                           settings = s;
                                           return server.handle();
                                       },
                                       [this] { return store.handle(); }});
    }

    // The system data phase's list: the one user table tbA.
    void userTableTbA() {
        server.onQuery("sysObjects.xtype = 'U'", {{"name", db::ado::kVarWChar}, {"id", db::ado::kInteger}},
                       {{db::Value::text("tbA"), db::Value::integer(5)}});
    }

    app::MainForm form;
    FakeHost host;
    FakeConnection server;
    FakeConnection store;
    db::ServerSettings settings;
};

TEST_F(CaptureRunTest, TablesAreWrittenColumnByColumnInOneTransaction) {
    form.FXAuto.value = 1;
    EXPECT_EQ(run(), OperationOutcome::Completed);
    EXPECT_EQ(form.FXAuto.value, 0);
    EXPECT_EQ(settings.database, "ref");
    EXPECT_EQ(settings.commandTimeoutSeconds, 30);
    EXPECT_EQ(settings.connectTimeoutSeconds, 15);
    EXPECT_THAT(store.log,
                ElementsAre("BEGIN", "DELETE FROM tbObjects",
                            "INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, "
                            "isnullable, isidentity, cdefault) VALUES ('tbA', 'id', 'int', 4, 0, 0, "
                            "0, 1, null)",
                            "INSERT INTO tbObjects (tabela, campo, tipo, tamanho, xprec, xscale, "
                            "isnullable, isidentity, cdefault) VALUES ('tbA', 'nome', 'nvarchar', "
                            "100, 0, 0, 1, 0, '('+CHR(39)+''+CHR(39)+')')",
                            "COMMIT"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "As definições da base de dados foram guardadas com sucesso!");
    EXPECT_EQ(host.messages[0].title, "SQL Database Upgrade");
    EXPECT_EQ(host.clipboard, "");
    EXPECT_EQ(form.ProgressBar1.value, 0);  // reset before the system data phase
    EXPECT_EQ(form.ProgressBar1.max, 3);
    EXPECT_FALSE(form.Command1.visible);
    EXPECT_FALSE(server.isOpen());
}

TEST_F(CaptureRunTest, ThePhasesRunInTheirOrderEachShowingItsProgress) {
    const auto text = [](const char* name) { return db::Column{name, db::ado::kVarWChar}; };
    const auto row = [](std::size_t cells) {
        return std::vector<db::Value>(cells, db::Value::text("x"));
    };
    server.onQuery("xtype = 'FN' AND name <>", {text("name")}, {row(1)});
    server.onQuery("xtype = 'V' AND name <>", {text("name")}, {row(1)});
    server.onQuery("xtype = 'P' AND", {{"id", db::ado::kInteger}, text("name")},
                   {{db::Value::integer(1), db::Value::text("x")}});
    server.onQuery("as IX_Name", {text("IX_Name"), text("tabela"), text("campo")}, {row(3)});
    server.onQuery("as PK_Name", {text("PK_Name"), text("tabela"), text("campo")}, {row(3)});
    server.onQuery("as DF_name", {text("DF_name"), text("tabela"), text("campo"), text("valor")},
                   {row(4)});
    server.onQuery("sysObjects.xtype = 'U'", {text("name"), {"id", db::ado::kInteger}},
                   {{db::Value::text("tbA"), db::Value::integer(5)}});
    std::vector<std::string> captions;
    for (int pump = 1; pump <= 8; ++pump) {
        host.atPump(pump, [&] { captions.push_back(form.FXEvolucao.caption); });
    }

    EXPECT_EQ(run(), OperationOutcome::Completed);

    EXPECT_EQ(captions, (std::vector<std::string>{
                            "A carregar definições: Tabelas ...",
                            "A carregar definições: Functions ...",
                            "A carregar definições: Views ...",
                            "A carregar definições: Procedures ...",
                            "A carregar definições: Indexes ...",
                            "A carregar definições: Primary Keys ...",
                            "A carregar definições: Defaults ...",
                            "A carregar definições: Dados do Sistema ..."}));
    std::vector<std::string> clears;
    for (const std::string& sql : store.log) {
        if (sql.rfind("DELETE FROM ", 0) == 0) clears.push_back(sql);
    }
    EXPECT_EQ(clears, (std::vector<std::string>{"DELETE FROM tbObjects", "DELETE FROM tbFunctions",
                                                "DELETE FROM tbViews", "DELETE FROM tbProcedures",
                                                "DELETE FROM tbIndexes", "DELETE FROM tbPrimary_Keys",
                                                "DELETE FROM tbDefaults", "DELETE FROM tbDados",
                                                "DELETE FROM tbDados_Gigantic"}));
    EXPECT_EQ(store.log.front(), "BEGIN");
    EXPECT_EQ(store.log.back(), "COMMIT");
}

// The rules table is read once for the whole capture, not twice per column record: its
// probe, its rows, and the collation its descrit is compared in.
TEST_F(CaptureRunTest, TheRulesTableIsReadOncePerCapture) {
    server.onQuery("SELECT * FROM tbSQLUpdate",
                   {{"descrit", db::ado::kVarChar}, {"exclude", db::ado::kInteger}},
                   {{db::Value::text("tbSkip"), db::Value::integer(1)},
                    {db::Value::text("tbA"), db::Value::integer(0)}});
    server.onQuery("SELECT col.collation FROM syscolumns", {{"collation", db::ado::kVarWChar}},
                   {{db::Value::text("SQL_Latin1_General_CP1_CI_AS")}});
    EXPECT_EQ(run(), OperationOutcome::Completed);
    int probes = 0;
    int reads = 0;
    int lookups = 0;
    for (const std::string& sql : server.log) {
        probes += sql == "SELECT TOP 1 * FROM tbSQLUpdate";
        reads += sql == "SELECT * FROM tbSQLUpdate";
        lookups += sql.find("WHERE exclude <> 0") != std::string::npos;
    }
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(lookups, 0);
    // tbSkip is still left out: only tbA's two columns are written.
    EXPECT_EQ(std::count_if(store.log.begin(), store.log.end(),
                            [](const std::string& s) { return s.rfind("INSERT INTO tbObjects", 0) == 0; }),
              2);
}

TEST_F(CaptureRunTest, WithoutTheRulesTableEveryColumnRecordShowsTheErrorAndNothingIsExcluded) {
    server.failOn("tbSQLUpdate", db::Error(db::errc::kObjectNotFound, "Invalid object name 'tbSQLUpdate'."));
    EXPECT_EQ(run(), OperationOutcome::Completed);
    ASSERT_EQ(host.messages.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(host.messages[i].text, "Invalid object name 'tbSQLUpdate'.");
        EXPECT_EQ(host.messages[i].flags, app::mb::kInformation);
    }
    EXPECT_EQ(std::count_if(store.log.begin(), store.log.end(),
                            [](const std::string& s) { return s.rfind("INSERT", 0) == 0; }),
              3);
}

TEST_F(CaptureRunTest, AFailureMidwayRollsTheStoreBackAndNamesTheTable) {
    store.failOn("'nome'", db::Error(db::errc::kStoreError, "disk full"));
    EXPECT_EQ(run(), OperationOutcome::Failed);
    EXPECT_EQ(store.log.back(), "ROLLBACK");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "disk full");
    EXPECT_EQ(host.clipboard, std::nullopt);
}

// The system data phase's rule look-up: a reference without tbSQLUpdate ends the run
// there, naming the table, after the exclusion test has shown its own message per column.
TEST_F(CaptureRunTest, ASystemDataFailureEndsTheRunNamingTheTable) {
    userTableTbA();
    server.failOn("tbSQLUpdate", db::Error(db::errc::kObjectNotFound, "Invalid object name 'tbSQLUpdate'."));
    EXPECT_EQ(run(), OperationOutcome::Failed);
    EXPECT_EQ(store.log.back(), "ROLLBACK");
    ASSERT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[3].text, "Invalid object name 'tbSQLUpdate'. | Current TABLE: tbA");
    EXPECT_EQ(host.clipboard, std::nullopt);
}

TEST_F(CaptureRunTest, TheCommandsWhoseStoreInsertFailedGoToTheClipboard) {
    userTableTbA();
    server.onQuery("tbSQLUpdate WHERE descrit = 'tbA'",
                   {{"disable", db::ado::kInteger}, {"only_if_empty", db::ado::kBoolean},
                    {"force_update", db::ado::kInteger}, {"Delete_First", db::ado::kInteger}},
                   {{db::Value::integer(0), db::Value::boolean(false), db::Value::integer(0),
                     db::Value::integer(0)}});
    server.onQuery("AND SOURCE_sysobjects_2.name = 'tbA'", {{"campo", db::ado::kVarWChar}},
                   {{db::Value::text("id")}});
    server.onQuery("SELECT * FROM tbA", {{"id", db::ado::kInteger}},
                   {{db::Value::integer(1)}, {db::Value::integer(2)}});
    store.failOn("'tbA','id',1,", db::Error(db::errc::kIntegrityViolation, "Registo recusado."));
    EXPECT_EQ(run(), OperationOutcome::Completed);
    EXPECT_EQ(store.log.back(), "COMMIT");
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Registo recusado. - tbA: id=1");
    EXPECT_EQ(host.clipboard, "\r\n\r\nINSERT INTO tbA (id) VALUES (1)");
}

TEST_F(CaptureRunTest, NoUserTablesLeaveTheStoreTableAsItWas) {
    server.onQuery(kTablesCatalogQuery, columnQueryColumns(), {});
    EXPECT_EQ(run(), OperationOutcome::Completed);
    EXPECT_THAT(store.log, ElementsAre("BEGIN", "COMMIT"));
}

TEST_F(CaptureRunTest, StartChecks) {
    form.FXDatabase.text.clear();
    EXPECT_EQ(run(), OperationOutcome::Refused);
    EXPECT_TRUE(server.log.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Tem de definir uma base de dados!");

    form.FXDatabase.text = "ref";
    server.setOpen(false);
    host.messages.clear();
    EXPECT_EQ(run(), OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Não foi possível abrir a base de dados SQL.");
    EXPECT_TRUE(store.log.empty());
}

TEST_F(CaptureRunTest, AFailedLoginGoesToTheErrorExit) {
    const auto outcome = runCapture(form, host,
                                    {[](const db::ServerSettings&) -> std::unique_ptr<db::Connection> {
                                         throw db::Error(db::errc::kLoginFailed, "Login failed for user 'sa'.");
                                     },
                                     [this] { return store.handle(); }});
    EXPECT_EQ(outcome, OperationOutcome::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Login failed for user 'sa'.");
}

}  // namespace
}  // namespace capture
