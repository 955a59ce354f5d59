#include "capture/capture_functions_views.h"

#include "phase_test_fixture.h"

namespace capture {
namespace {

using Rows = testing_support::FakeConnection::Rows;

Rows names(std::initializer_list<const char*> list) {
    Rows rows;
    for (const char* name : list) rows.push_back({db::Value::text(name)});
    return rows;
}

Rows chunks(std::initializer_list<db::Value> list) {
    Rows rows;
    for (const db::Value& chunk : list) rows.push_back({chunk});
    return rows;
}

const std::string kFunctionsList =
    "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
    "WHERE sysobjects.xtype = 'FN' AND name <> 'sysconstraints'  AND name <> 'syssegments'  "
    "ORDER BY sysobjects.name";
const std::string kViewsList =
    "SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id = syscomments.id "
    "WHERE sysobjects.xtype = 'V' AND name <> 'sysconstraints'  AND name <> 'syssegments'  "
    "ORDER BY sysobjects.name";

std::string functionChunks(const std::string& name) {
    return "SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN syscomments ON "
           "sysobjects.id = syscomments.id WHERE sysobjects.xtype = 'FN' AND sysobjects.name <> "
           "'sysconstraints' AND sysobjects.name <> 'syssegments' AND sysobjects.name = '" +
           name + "'";
}

std::string viewChunks(const std::string& name) {
    return "SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN syscomments ON "
           "sysobjects.id = syscomments.id WHERE sysobjects.xtype = 'V' AND sysobjects.name <> "
           "'sysconstraints' AND sysobjects.name <> 'syssegments' AND sysobjects.name = '" +
           name + "'";
}

class FunctionsPhase : public PhaseTest {};

// fnB is cut by the server inside a run of blanks and inside a literal with an
// apostrophe; fnSemTexto has no syscomments rows, so the left join gives one null chunk.
TEST_F(FunctionsPhase, SendsTheGoldenStatementsAndJoinsTheChunksWithTheirBlanks) {
    server.onQuery(kFunctionsList, textColumns({"name"}), names({"fnA", "fnB", "fnB", "fnSemTexto"}));
    server.onQuery("sysobjects.name = 'fnA'", textColumns({"sql_view"}),
                   chunks({db::Value::text("CREATE FUNCTION fnA () RETURNS int AS BEGIN RETURN 1 END\r\n")}));
    server.onQuery("sysobjects.name = 'fnB'", textColumns({"sql_view"}),
                   chunks({db::Value::text("CREATE FUNCTION fnB () RETURNS varchar(20) AS BEGIN RETURN 'd''ar   "),
                           db::Value::text("   quivo' END")}));
    server.onQuery("sysobjects.name = 'fnSemTexto'", textColumns({"sql_view"}), chunks({db::Value()}));
    excludeByRule("nenhum");

    runCatalogPhase(run, functionsPhase());

    EXPECT_EQ(server.log, joined({{kFunctionsList},
                                  exclusionQueries("fnA"), {functionChunks("fnA")},
                                  exclusionQueries("fnB"), {functionChunks("fnB")},
                                  exclusionQueries("fnSemTexto"), {functionChunks("fnSemTexto")}}));
    EXPECT_EQ(store.log,
              (std::vector<std::string>{
                  "DELETE FROM tbFunctions",
                  "INSERT INTO tbFunctions (nome, descrit) VALUES ('fnA', 'CREATE FUNCTION fnA () "
                  "RETURNS int AS BEGIN RETURN 1 END\r\n')",
                  "INSERT INTO tbFunctions (nome, descrit) VALUES ('fnB', 'CREATE FUNCTION fnB () "
                  "RETURNS varchar(20) AS BEGIN RETURN '+CHR(39)+'d'+CHR(39)+''+CHR(39)+'ar   ')",
                  "UPDATE tbFunctions SET descrit = descrit + '   quivo'+CHR(39)+' END' WHERE nome = 'fnB'",
                  "INSERT INTO tbFunctions (nome, descrit) VALUES ('fnSemTexto', null)"}));
    EXPECT_EQ(form.FXEvolucao.caption, "A carregar definições: Functions ...");
    EXPECT_EQ(form.ProgressBar1.max, 4);
    EXPECT_EQ(form.ProgressBar1.value, 3);  // the bar counts objects, the maximum chunks
    EXPECT_EQ(host.repaints, 1);
}

TEST_F(FunctionsPhase, WithoutFunctionsTheStoreTableStaysAsItWas) {
    runCatalogPhase(run, functionsPhase());
    EXPECT_EQ(server.log, std::vector<std::string>{kFunctionsList});
    EXPECT_TRUE(store.log.empty());
    EXPECT_EQ(host.repaints, 0);
}

class ViewsPhase : public PhaseTest {};

// The excluded view has three chunks, so the list meets it three times and the rules
// table is asked each time; the view after it still gets its one row.
TEST_F(ViewsPhase, SendsTheGoldenStatementsAndSkipsAnExcludedViewOncePerChunk) {
    server.onQuery(kViewsList, textColumns({"name"}),
                   names({"vwExcluida", "vwExcluida", "vwExcluida", "vwY", "vwY", "vwY"}));
    server.onQuery("sysobjects.name = 'vwY'", textColumns({"sql_view"}),
                   chunks({db::Value::text("CREATE VIEW vwY AS SELECT 'um' AS a,  "),
                           db::Value::text(" 2 AS b "), db::Value::text(" FROM tbX")}));
    excludeByRule("vwExcluida");

    runCatalogPhase(run, viewsPhase());

    EXPECT_EQ(server.log, joined({{kViewsList}, exclusionQueries("vwExcluida"),
                                  exclusionQueries("vwExcluida"), exclusionQueries("vwExcluida"),
                                  exclusionQueries("vwY"), {viewChunks("vwY")}}));
    EXPECT_EQ(store.log,
              (std::vector<std::string>{
                  "DELETE FROM tbViews",
                  "INSERT INTO tbViews (nome, descrit) VALUES ('vwY', 'CREATE VIEW vwY AS SELECT "
                  "'+CHR(39)+'um'+CHR(39)+' AS a,  ')",
                  "UPDATE tbViews SET descrit = descrit + ' 2 AS b ' WHERE nome = 'vwY'",
                  "UPDATE tbViews SET descrit = descrit + ' FROM tbX' WHERE nome = 'vwY'"}));
    EXPECT_EQ(form.FXEvolucao.caption, "A carregar definições: Views ...");
    EXPECT_EQ(form.ProgressBar1.max, 6);
    EXPECT_EQ(form.ProgressBar1.value, 4);
}

}  // namespace
}  // namespace capture
