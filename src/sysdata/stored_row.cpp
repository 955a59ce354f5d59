#include "sysdata/stored_row.h"

#include "sysdata/system_data_statements.h"

namespace sysdata {
namespace {

bool flagSet(const db::Value& value) {
    if (value.isNull()) return false;
    if (value.kind() == db::Value::Kind::Boolean) return value.asBoolean();
    return value.asDouble() != 0.0;
}

}  // namespace

StoredRow StoredRow::read(const db::Recordset& rows) {
    StoredRow row;
    row.tabela = tableOf(rows);
    row.pkeyCampo = rows.field("pkey_campo").value().toText();
    row.pkeyValue = rows.field("pkey_value").value();
    const db::Field comando = rows.field("comando");
    row.comando = &comando.value();
    row.comandoSize = comando.actualSize();
    row.onlyIfEmpty = flagSet(rows.field("only_if_empty").value());
    row.forceUpdate = flagSet(rows.field("force_update").value());
    row.deleteFirst = flagSet(rows.field("delete_first").value());
    return row;
}

const std::string& StoredRow::command() const {
    static const std::string kNone;
    return comando && comando->kind() == db::Value::Kind::Text ? comando->asText() : kNone;
}

std::string StoredRow::keyLiteral() const { return sysdata::keyLiteral(pkeyValue); }

std::string tableOf(const db::Recordset& rows) { return rows.field("tabela").value().toText(); }

}  // namespace sysdata
