#include "capture/capture_functions_views.h"

#include "store/sql_value.h"

namespace capture {
namespace {

// What tells the two phases apart: the objects' xtype and the store table they fill.
struct ChunkedObjects {
    const char* xtype;       // FN or V
    const char* storeTable;  // tbFunctions or tbViews
};

constexpr ChunkedObjects kFunctions{"FN", "tbFunctions"};
constexpr ChunkedObjects kViews{"V", "tbViews"};

// One record per text chunk of every object of the kind, so the name repeats:
// SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON sysobjects.id =
// syscomments.id WHERE sysobjects.xtype = 'V' AND name <> 'sysconstraints'  AND
// name <> 'syssegments'  ORDER BY sysobjects.name
std::string phaseListQuery(const ChunkedObjects& objects) {
    return std::string("SELECT sysobjects.name FROM sysobjects LEFT JOIN syscomments ON "
                       "sysobjects.id = syscomments.id WHERE sysobjects.xtype = '") +
           objects.xtype +
           "' AND name <> 'sysconstraints'  AND name <> 'syssegments'  ORDER BY sysobjects.name";
}

// The chunks of one object, in the server's stored order (no ORDER BY); an object
// without syscomments rows gives one chunk, null. The name is a literal for SQL Server.
// SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN syscomments ON
// sysobjects.id = syscomments.id WHERE sysobjects.xtype = 'V' AND sysobjects.name <>
// 'sysconstraints' AND sysobjects.name <> 'syssegments' AND sysobjects.name = 'vwX'
std::string chunkSetQuery(const ChunkedObjects& objects, const db::Value& name) {
    return std::string("SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN syscomments "
                       "ON sysobjects.id = syscomments.id WHERE sysobjects.xtype = '") +
           objects.xtype +
           "' AND sysobjects.name <> 'sysconstraints' AND sysobjects.name <> 'syssegments' AND "
           "sysobjects.name = " +
           store::SQLValueForServer(name, store::kSqlText);
}

// The chunks of one object: from the reference's catalog model, or the chunk query.
std::vector<db::Value> chunksOf(CaptureRun& run, const ChunkedObjects& objects, const db::Value& name) {
    if (run.catalog) {
        if (auto chunks = run.catalog->moduleChunks(objects.xtype, name)) return std::move(*chunks);
    }
    std::vector<db::Value> chunks;
    db::Recordset rows = run.server.open(chunkSetQuery(objects, name));
    for (; !rows.eof(); rows.moveNext()) chunks.push_back(rows.field("sql_view").value());
    rows.close();
    return chunks;
}

// The object of the current list record becomes one store row: its first chunk inserted,
// every further one appended, each quoted with its blanks so that the joined text is the
// source as the server keeps it. The list holds one record per chunk, so it moves on with
// every chunk after the first; the pattern's own move then leaves the object's records.
// An excluded object is met, and skipped, once per chunk record.
// Example: view vwX in the chunks "A " and " B" ->
//   INSERT INTO tbViews (nome, descrit) VALUES ('vwX', 'A ')
//   UPDATE tbViews SET descrit = descrit + ' B' WHERE nome = 'vwX'
void captureChunkedObject(CaptureRun& run, db::Recordset& list, const ChunkedObjects& objects) {
    if (excluded(run, list.field("name").value().toText())) return;
    const std::vector<db::Value> chunks = chunksOf(run, objects, list.field("name").value());
    const std::string table = objects.storeTable;
    for (int counter = 0; counter < static_cast<int>(chunks.size());) {
        const std::string name = store::SQLValue(list.field("name").value(), store::kSqlText);
        const std::string text = store::SQLTextKeepingBlanks(chunks[static_cast<std::size_t>(counter)]);
        if (counter == 0) {
            run.store.execute("INSERT INTO " + table + " (nome, descrit) VALUES (" + name + ", " +
                              text + ")");
        } else {
            run.store.execute("UPDATE " + table + " SET descrit = descrit + " + text +
                              " WHERE nome = " + name);
        }
        ++counter;
        if (counter >= 2) list.moveNext();
    }
}

CatalogPhase chunkedObjectsPhase(const char* progressText, const ChunkedObjects& objects) {
    return {progressText, phaseListQuery(objects), {objects.storeTable},
            [objects](CaptureRun& run, db::Recordset& list) {
                captureChunkedObject(run, list, objects);
            }};
}

}  // namespace

CatalogPhase functionsPhase() {
    return chunkedObjectsPhase("A carregar definições: Functions ...", kFunctions);
}

CatalogPhase viewsPhase() { return chunkedObjectsPhase("A carregar definições: Views ...", kViews); }

}  // namespace capture
