#include "sysdata/system_data_statements.h"

#include "store/sql_value.h"

namespace sysdata {
namespace {

using store::NameForStatement;

const char* const kDeleteFirstSelect =
    "SELECT tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value FROM tbDados WHERE "
    "(((tbDados.delete_first)<>0))";
const char* const kDeleteFirstGrouping =
    " GROUP BY tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value ORDER BY tbDados.tabela, "
    "tbDados.pkey_campo, tbDados.pkey_value";

// " WHERE <key column> = <key literal>"
std::string whereKey(std::string_view keyColumn, std::string_view keyLiteral) {
    return " WHERE " + NameForStatement(keyColumn) + " = " + std::string(keyLiteral);
}

std::string storeText(std::string_view text) { return store::SQLValue(text, store::kSqlText); }

}  // namespace

std::string keyLiteral(const db::Value& keyValue) {
    return store::SQLValueForServer(
        keyValue, store::IsNumeric(keyValue) ? store::kSqlNumber : store::kSqlText);
}

std::string textLiteral(const db::Value& value) {
    return store::SQLValueForServer(value, store::kSqlText);
}

std::string deleteFirstQuery(bool menus, bool searches) {
    std::string query = kDeleteFirstSelect;
    if (!menus) query += " AND tbDados.tabela NOT LIKE 'tbMenu%'";
    if (!searches) query += " AND tbDados.tabela NOT LIKE 'tbPesquisas%'";
    return query + kDeleteFirstGrouping;
}

std::string deleteRowStatement(std::string_view table, std::string_view keyColumn,
                               std::string_view keyLiteral) {
    return "DELETE FROM " + NameForStatement(table) + whereKey(keyColumn, keyLiteral);
}

std::string rowCountQuery(std::string_view table) {
    return "SELECT COUNT(*) as no FROM " + NameForStatement(table);
}

std::string keyProbeQuery(std::string_view table, std::string_view keyColumn,
                          std::string_view keyLiteral) {
    return "SELECT " + NameForStatement(keyColumn) + " FROM " + NameForStatement(table) +
           whereKey(keyColumn, keyLiteral);
}

std::string rowProbeQuery(std::string_view table, std::string_view keyColumn,
                          std::string_view keyLiteral) {
    return "SELECT * FROM " + NameForStatement(table) + whereKey(keyColumn, keyLiteral);
}

std::string usersGroupsStatement(std::string_view table, std::string_view keyColumn,
                                 std::string_view groupsLiteral, std::string_view keyLiteral) {
    return "UPDATE " + NameForStatement(table) +
           " SET users_groups = " + std::string(groupsLiteral) + whereKey(keyColumn, keyLiteral);
}

std::string securityPolicyStatement(std::string_view codeLiteral,
                                    std::string_view descriptionLiteral, bool withoutGroups) {
    const std::string values = std::string(codeLiteral) + "," + std::string(descriptionLiteral);
    if (withoutGroups) {
        return "INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES (" + values +
               ", '')";
    }
    return "INSERT INTO tbSecurityPolicies (code, descrit) VALUES (" + values + ")";
}

std::string largeFieldsQuery(std::string_view table, std::string_view keyColumn,
                             const db::Value& keyValue) {
    return "SELECT * FROM tbDados_Gigantic WHERE tabela = " + storeText(table) +
           " AND pkey_campo = " + storeText(keyColumn) +
           " AND pkey_value = " + store::SQLValue(keyValue, store::kSqlText);
}

std::string clearFieldStatement(std::string_view table, std::string_view field,
                                std::string_view keyColumn, std::string_view keyLiteral) {
    return "UPDATE " + NameForStatement(table) + " SET " + NameForStatement(field) + " = null" +
           whereKey(keyColumn, keyLiteral);
}

std::string fieldProbeQuery(std::string_view table, std::string_view field,
                            std::string_view keyColumn, std::string_view keyLiteral) {
    return "SELECT " + NameForStatement(field) + " FROM " + NameForStatement(table) +
           whereKey(keyColumn, keyLiteral);
}

}  // namespace sysdata
