#include "capture/capture_procedures.h"

#include "capture/is_excluded.h"
#include "store/sql_value.h"

namespace capture {

namespace {

// One record per procedure; the status is that of ANSI_NULLS and QUOTED_IDENTIFIER on.
constexpr const char* kProceduresCatalogQuery =
    "SELECT sysobjects.id, sysobjects.name FROM sysobjects WHERE sysobjects.xtype = 'P' AND "
    "sysobjects.status = 1610612736 ORDER BY sysobjects.name";

// Whether the store already holds a row for the procedure, asked afresh for every chunk:
// SELECT * FROM tbProcedures WHERE nome = 'spX'
bool storeHasProcedure(db::Connection& store, const std::string& nameLiteral) {
    db::Recordset existing = store.open("SELECT * FROM tbProcedures WHERE nome = " + nameLiteral);
    const bool found = !existing.eof();
    existing.close();
    return found;
}

// The procedure of the current list record becomes one store row: a chunk whose
// procedure the store does not hold yet is inserted, any other appended, each quoted with
// its blanks so that the joined text is the source as the server keeps it.
// Example: procedure spX (id 1205579333) in the chunks "A " and " B" ->
//   server: SELECT syscomments.text FROM syscomments WHERE syscomments.id =1205579333
//   store:  SELECT * FROM tbProcedures WHERE nome = 'spX'
//           INSERT INTO tbProcedures (nome, descrit) VALUES ('spX', 'A ')
//           SELECT * FROM tbProcedures WHERE nome = 'spX'
//           UPDATE tbProcedures SET descrit = descrit + ' B' WHERE nome = 'spX'
void captureProcedure(CaptureRun& run, db::Recordset& list) {
    const db::Value name = list.field("name").value();
    if (IsExcluded(name.toText(), run.server, run.host)) return;
    db::Recordset chunks =
        run.server.open("SELECT syscomments.text FROM syscomments WHERE syscomments.id =" +
                        store::SQLValueForServer(list.field("id").value(), store::kSqlNumber));
    const std::string nameLiteral = store::SQLValue(name, store::kSqlText);
    for (; !chunks.eof(); chunks.moveNext()) {
        const std::string text = store::SQLTextKeepingBlanks(chunks.field("text").value());
        if (!storeHasProcedure(run.store, nameLiteral)) {
            run.store.execute("INSERT INTO tbProcedures (nome, descrit) VALUES (" + nameLiteral +
                              ", " + text + ")");
        } else {
            run.store.execute("UPDATE tbProcedures SET descrit = descrit + " + text +
                              " WHERE nome = " + nameLiteral);
        }
    }
    chunks.close();
}

}  // namespace

CatalogPhase proceduresPhase() {
    return {"A carregar definições: Procedures ...", kProceduresCatalogQuery, {"tbProcedures"},
            captureProcedure};
}

}  // namespace capture
