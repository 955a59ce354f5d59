#include "capture/capture_system_data.h"

#include <cstdint>
#include <vector>

#include "capture/data_command.h"
#include "capture/system_data_statements.h"
#include "db/error.h"
#include "store/rules_table.h"

namespace capture {
namespace {

using app::mb::kInformation;

// Its rows are kept as the policy's code and description, not as a command.
constexpr std::string_view kSecurityPolicies = "tbSecurityPolicies";

// What the phase knows of the table whose rows it captures.
struct CapturedTable {
    std::string name;
    store::RuleFlags flags;
    bool identity = false;
    std::string keyColumn;  // the first column of the primary key
};

// A row's key value and its literal for the store.
struct RowKey {
    const db::Value& value;
    std::string storeLiteral;
};

// A binary value still to be copied into the tbDados_Gigantic row made for it.
struct PendingBinary {
    std::int64_t giganticId;
    std::string field;
    std::string serverKeyLiteral;
};

bool hasIdentityColumn(db::Connection& server, const db::Value& tableId) {
    db::Recordset columns = server.open(identityColumnsQuery(tableId));
    const bool found = !columns.eof();
    columns.close();
    return found;
}

// The first key column by column id; empty for a table without a primary key.
std::string firstKeyColumn(db::Connection& server, std::string_view tableName) {
    db::Recordset key =
        server.open(keyColumnQuery(tableName), db::CursorType::Static, db::LockType::ReadOnly);
    std::string column = key.eof() ? std::string() : key.field("campo").value().toText();
    key.close();
    return column;
}

// The identifier of the tbDados_Gigantic row just inserted; 0 when the table is empty.
std::int64_t newestGiganticId(db::Connection& store) {
    db::Recordset newest =
        store.open(kNewestGiganticIdQuery, db::CursorType::Static, db::LockType::ReadOnly);
    const db::Value maximo = newest.field("maximo").value();
    newest.close();
    return maximo.isNull() ? 0 : maximo.asInteger();
}

// The tbDados_Gigantic row of a large field: a long text is written whole at once; a
// binary value gets its row now and its bytes once the table's stream has ended.
void keepLargeField(CaptureRun& run, const CapturedTable& table, const db::Field& field,
                    const RowKey& key, std::vector<PendingBinary>& pending) {
    if (!isBinaryType(field.type())) {
        run.store.execute(giganticTextInsert(table.name, table.keyColumn, key.storeLiteral,
                                             field.name(), giganticText(field.value())));
        return;
    }
    run.store.execute(
        giganticBinaryInsert(table.name, table.keyColumn, key.storeLiteral, field.name()));
    const std::int64_t id = newestGiganticId(run.store);
    if (id != 0) pending.push_back({id, field.name(), serverKeyLiteral(key.value)});
}

// Fetches a binary value by the row's key and writes its bytes, whole, into its
// tbDados_Gigantic row; a missing row or a null leaves target_image null. The value is
// taken out of the record set, which is closed first, so that the driver has let go of
// its own copy before the store writes it.
void copyBinary(CaptureRun& run, const CapturedTable& table, const PendingBinary& binary) {
    db::Recordset source = run.server.open(
        largeBinaryQuery(table.name, binary.field, table.keyColumn, binary.serverKeyLiteral),
        db::CursorType::ForwardOnly, db::LockType::ReadOnly);
    const db::Value bytes = source.eof() ? db::Value() : source.takeValue(0);
    source.close();
    if (!bytes.isNull()) {
        run.store.writeLongValue("tbDados_Gigantic", "ID", std::to_string(binary.giganticId),
                                 "target_image", bytes);
    }
}

// Stores the row's command, or for tbSecurityPolicies its code and description. A failure
// here is the phase's own business: it is shown, the command is kept for the clipboard,
// and the phase goes on. A failure that has cost the store its transaction is not: the
// rows written so far are gone, so it leaves through the run's error exit.
void storeRow(CaptureRun& run, const CapturedTable& table, const DataRowInsert& insert,
              const db::Recordset& rows, const std::string& command, const RowKey& key) {
    try {
        run.store.execute(table.name == kSecurityPolicies
                              ? securityPolicyInsert(table.name, rows.field("code").value(),
                                                     rows.field("descrit").value(), table.flags)
                              : insert(key.storeLiteral, command));
    } catch (const db::Error& e) {
        if (run.store.transactionLost()) throw;
        run.host.messageBox(
            e.description() + " - " + table.name + ": " + table.keyColumn + "=" + key.storeLiteral,
            kInformation, std::nullopt);
        run.failedCommands += "\r\n\r\n" + command;
    }
}

// Builds and stores the current row's command; `command` holds the table's head on entry.
// Example: tbX (id int identity, nome varchar) row 7, O'Neil ->
//   SET IDENTITY_INSERT tbX ON INSERT INTO tbX (id, nome) VALUES (7, 'O!39!Neil')  SET
//   IDENTITY_INSERT tbX OFF
void captureRow(CaptureRun& run, const CapturedTable& table, const DataRowInsert& insert,
                const db::Recordset& rows, std::string& command,
                std::vector<PendingBinary>& pending) {
    const db::Value& keyValue = rows.field(table.keyColumn).value();
    const RowKey key{keyValue, storeKeyLiteral(keyValue)};
    const std::size_t fieldCount = rows.fieldCount();
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const db::Field field = rows.field(i);
        appendDataCommandValue(command, field);
        if (isLargeField(field)) keepLargeField(run, table, field, key, pending);
        command += i + 1 < fieldCount ? ", " : ")";
    }
    if (table.identity) command = withIdentityInsert(table.name, command);
    storeRow(run, table, insert, rows, command, key);
}

void captureRows(CaptureRun& run, const CapturedTable& table) {
    std::vector<PendingBinary> pending;
    const DataRowInsert insert(table.name, table.keyColumn, table.flags);
    db::Recordset rows = run.server.open(tableRowsQuery(table.name));
    const std::string head = dataCommandHead(table.name, rows.columns());
    std::string command;
    for (; !rows.eof(); rows.moveNext()) {
        command.assign(head);  // keeps the capacity the longest command so far needed
        captureRow(run, table, insert, rows, command, pending);
    }
    rows.close();
    for (const PendingBinary& binary : pending) copyBinary(run, table, binary);
}

// One record of the phase list: a user table, captured when its rule says so.
void captureTable(CaptureRun& run, db::Recordset& list) {
    CapturedTable table;
    table.name = list.field("name").value().toText();
    run.currentDataTable = table.name;
    table.flags = store::readRuleFlags(run.server, table.name);
    if (!table.flags.captureData) return;
    table.identity = hasIdentityColumn(run.server, list.field("id").value());
    table.keyColumn = firstKeyColumn(run.server, table.name);
    if (table.keyColumn.empty()) {
        run.host.messageBox(kNoPrimaryKey + table.name, kInformation, std::nullopt);
        return;
    }
    captureRows(run, table);
}

}  // namespace

CatalogPhase systemDataPhase() {
    return {"A carregar definições: Dados do Sistema ...",
            kUserTablesQuery,
            {"tbDados", "tbDados_Gigantic"},
            captureTable};
}

}  // namespace capture
