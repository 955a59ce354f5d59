#include "capture/capture_procedures.h"

#include "capture/capture_run.h"
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

// The chunks of one procedure: from the reference's catalog model, or its chunk query:
// SELECT syscomments.text FROM syscomments WHERE syscomments.id =1205579333
std::vector<db::Value> chunksOf(CaptureRun& run, const db::Value& id) {
    if (run.catalog && id.isNumber()) {
        if (auto chunks = run.catalog->moduleChunksById(static_cast<std::int64_t>(id.asDouble())))
            return std::move(*chunks);
    }
    std::vector<db::Value> chunks;
    db::Recordset rows = run.server.open("SELECT syscomments.text FROM syscomments WHERE syscomments.id =" +
                                         store::SQLValueForServer(id, store::kSqlNumber));
    for (; !rows.eof(); rows.moveNext()) chunks.push_back(rows.field("text").value());
    rows.close();
    return chunks;
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
    if (excluded(run, name.toText())) return;
    const std::vector<db::Value> chunks = chunksOf(run, list.field("id").value());
    const std::string nameLiteral = store::SQLValue(name, store::kSqlText);
    for (const db::Value& chunk : chunks) {
        const std::string text = store::SQLTextKeepingBlanks(chunk);
        if (!storeHasProcedure(run.store, nameLiteral)) {
            run.store.execute("INSERT INTO tbProcedures (nome, descrit) VALUES (" + nameLiteral +
                              ", " + text + ")");
        } else {
            run.store.execute("UPDATE tbProcedures SET descrit = descrit + " + text +
                              " WHERE nome = " + nameLiteral);
        }
    }
}

}  // namespace

CatalogPhase proceduresPhase() {
    return {"A carregar definições: Procedures ...", kProceduresCatalogQuery, {"tbProcedures"},
            captureProcedure};
}

}  // namespace capture
