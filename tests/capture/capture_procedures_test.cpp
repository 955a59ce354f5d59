#include "capture/capture_procedures.h"

#include "phase_test_fixture.h"

namespace capture {
namespace {

const std::string kProceduresList =
    "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
    "sysobjects.status = 1610612736 ORDER BY sysobjects.name";

class ProceduresPhase : public PhaseTest {
protected:
    ProceduresPhase() {
        server.onQuery(kProceduresList, {{"id", db::ado::kInteger}, {"name", db::ado::kVarWChar}},
                       {{db::Value::integer(101), db::Value::text("spA")},
                        {db::Value::integer(102), db::Value::text("spExcluido")},
                        {db::Value::integer(103), db::Value::text("spB")}});
        server.onQuery("syscomments.id =101", textColumns({"text"}),
                       {{db::Value::text("CREATE PROCEDURE spA AS\r\nSELECT 'a',   ")},
                        {db::Value::text("   'b'\r\n")}});
        server.onQuery("syscomments.id =103", textColumns({"text"}),
                       {{db::Value::text("CREATE PROCEDURE spB AS RETURN 0")}});
        excludeByRule("spExcluido");
        // The store holds a procedure's row from its first insert on.
        for (const char* name : {"spA", "spB"}) {
            const std::string lookup = std::string("tbProcedures WHERE nome = '") + name + "'";
            store.onExecute(std::string("INSERT INTO tbProcedures (nome, descrit) VALUES ('") + name,
                            [this, lookup] {
                                store.onQuery(lookup, textColumns({"nome"}), {{db::Value::text("x")}});
                            });
        }
    }
};

TEST_F(ProceduresPhase, SendsTheGoldenStatementsAndAsksTheStoreBeforeEveryChunk) {
    runCatalogPhase(run, proceduresPhase());

    EXPECT_EQ(server.log,
              joined({{kProceduresList}, exclusionQueries("spA"),
                      {"SELECT syscomments.text FROM syscomments WHERE syscomments.id =101"},
                      exclusionQueries("spExcluido"), exclusionQueries("spB"),
                      {"SELECT syscomments.text FROM syscomments WHERE syscomments.id =103"}}));
    EXPECT_EQ(store.log,
              (std::vector<std::string>{
                  "DELETE FROM tbProcedures",
                  "SELECT * FROM tbProcedures WHERE nome = 'spA'",
                  "INSERT INTO tbProcedures (nome, descrit) VALUES ('spA', 'CREATE PROCEDURE spA "
                  "AS\r\nSELECT '+CHR(39)+'a'+CHR(39)+',   ')",
                  "SELECT * FROM tbProcedures WHERE nome = 'spA'",
                  "UPDATE tbProcedures SET descrit = descrit + '   '+CHR(39)+'b'+CHR(39)+'\r\n' "
                  "WHERE nome = 'spA'",
                  "SELECT * FROM tbProcedures WHERE nome = 'spB'",
                  "INSERT INTO tbProcedures (nome, descrit) VALUES ('spB', 'CREATE PROCEDURE spB AS "
                  "RETURN 0')"}));
    EXPECT_EQ(form.FXEvolucao.caption, "A carregar definições: Procedures ...");
    EXPECT_EQ(form.ProgressBar1.max, 3);
    EXPECT_EQ(form.ProgressBar1.value, 3);
}

}  // namespace
}  // namespace capture
