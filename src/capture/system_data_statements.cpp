#include "capture/system_data_statements.h"

#include "capture/data_command.h"
#include "store/sql_value.h"

namespace capture {
namespace {

std::string text(std::string_view value) { return store::SQLValue(value, store::kSqlText); }

const char* flag(bool value) { return value ? "-1" : "0"; }

// A numeric key is written as a number, any other as a text.
int keyKind(const db::Value& keyValue) {
    return store::IsNumeric(keyValue) ? store::kSqlNumber : store::kSqlText;
}

}  // namespace

const char* const kUserTablesQuery =
    "SELECT * FROM sysObjects WHERE sysObjects.xtype = 'U' AND sysObjects.name <> "
    "'dtproperties' ORDER BY name";

const char* const kNewestGiganticIdQuery = "SELECT Max(ID) AS maximo FROM tbDados_Gigantic";

std::string storeKeyLiteral(const db::Value& keyValue) {
    std::string literal;
    store::AppendSQLValue(literal, keyValue, keyKind(keyValue));
    return literal;
}

std::string serverKeyLiteral(const db::Value& keyValue) {
    // A text key is quoted even when it reads as a number: compared with a number, SQL
    // Server would convert every key of the column, and fail at the first that is no number.
    return store::SQLValueForServer(keyValue,
                                    keyValue.isNumber() ? store::kSqlNumber : store::kSqlText);
}

std::string identityColumnsQuery(const db::Value& tableId) {
    return "SELECT * FROM sysColumns WHERE ID = " + tableId.toText() + " AND colstat <> 0";
}

std::string keyColumnQuery(std::string_view tableName) {
    return std::string(
               " SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela, "
               "SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS "
               "SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON "
               "(SOURCE_sysindexkeys.id = SOURCE_sysobjects.parent_obj AND "
               "SOURCE_sysobjects.xtype = 'PK') ") +
           " JOIN sysindexes AS SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = "
           "SOURCE_sysindexes.id AND SOURCE_sysindexes.name = SOURCE_sysobjects.name AND "
           "SOURCE_sysindexkeys.indid = SOURCE_sysindexes.indid) JOIN sysobjects AS "
           "SOURCE_sysobjects_2 ON SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN "
           "syscolumns AS SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id "
           "AND SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) WHERE "
           "SOURCE_sysobjects_2.name <> 'dtproperties' " +
           " AND SOURCE_sysobjects_2.name = " +
           store::SQLValueForServer(tableName, store::kSqlText) +
           " ORDER BY SOURCE_sysobjects_2.name, SOURCE_syscolumns.colid";
}

std::string tableRowsQuery(std::string_view tableName) {
    return "SELECT * FROM " + store::NameForStatement(tableName);
}

std::string largeBinaryQuery(std::string_view tableName, std::string_view field,
                             std::string_view keyColumn, std::string_view serverKeyLiteral) {
    return "SELECT " + store::NameForStatement(field) + " FROM " + store::NameForStatement(tableName) + " WHERE " +
           store::NameForStatement(keyColumn) + " = " + std::string(serverKeyLiteral);
}

DataRowInsert::DataRowInsert(std::string_view tableName, std::string_view keyColumn,
                             const store::RuleFlags& flags)
    : m_head(
          "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
          "force_update, delete_first) VALUES (" +
          text(tableName) + "," + text(keyColumn) + ","),
      m_tail(std::string(",") + flag(flags.onlyIfEmpty) + ", " + flag(flags.forceUpdate) + ", " +
             flag(flags.deleteFirst) + " )") {}

std::string DataRowInsert::operator()(std::string_view storeKeyLiteral,
                                      std::string_view command) const {
    const std::string commandLiteral = text(command);
    std::string sql;
    sql.reserve(m_head.size() + storeKeyLiteral.size() + commandLiteral.size() + m_tail.size() + 1);
    sql += m_head;
    sql += storeKeyLiteral;
    sql += ',';
    sql += commandLiteral;
    sql += m_tail;
    return sql;
}

std::string securityPolicyInsert(std::string_view tableName, const db::Value& code,
                                 const db::Value& description, const store::RuleFlags& flags) {
    return "INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty, "
           "force_update, delete_first) VALUES (" +
           text(tableName) + ", 'code'," + store::SQLValue(code, store::kSqlText) + "," +
           store::SQLValue(description, store::kSqlText) + "," + flag(flags.onlyIfEmpty) + ", 0, " +
           flag(flags.deleteFirst) + ")";
}

std::string giganticBinaryInsert(std::string_view tableName, std::string_view keyColumn,
                                 std::string_view storeKeyLiteral, std::string_view field) {
    return "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field) VALUES(" +
           text(tableName) + ", " + text(keyColumn) + "," + std::string(storeKeyLiteral) + ", " +
           text(field) + ")";
}

std::string giganticTextInsert(std::string_view tableName, std::string_view keyColumn,
                               std::string_view storeKeyLiteral, std::string_view field,
                               std::string_view markedText) {
    return "INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field, "
           "target_value) VALUES(" +
           text(tableName) + ", " + text(keyColumn) + "," + std::string(storeKeyLiteral) + ", " +
           text(field) + ", " + text(markedText) + ")";
}

}  // namespace capture
