#pragma once

#include <string>
#include <string_view>

#include "db/value.h"

// The statements of the system data update, each built in one place: the queries it opens
// on the definitions store (store literals) and the statements and queries it sends to the
// target (T-SQL literals). Table and column names come from the store and are written
// unbracketed, as the kept commands write them, unless they are no regular identifier
// (store::NameForStatement): tbO'Neil -> [tbO'Neil].
namespace sysdata {

// The rows of the store in the order the capture stored them.
inline constexpr const char* kStoredRowsQuery = "SELECT * FROM tbDados";

// The progress text of the row pass.
inline constexpr const char* kSystemDataProgress = "A carregar definições: Dados de Sistema ...";

// The key literal of a stored key value for the target: a value that reads as a number
// unquoted, with a point for its decimals; any other value quoted in T-SQL's form.
// Examples: 42 -> 42; -1,5 -> -1.5; A1 -> 'A1'; d'Ouro -> 'd''Ouro'; null -> null.
std::string keyLiteral(const db::Value& keyValue);

// The text literal of a value for the target, also for one that reads as a number:
// 7 -> '7'; d'Ouro -> 'd''Ouro'; null or the empty text -> null.
std::string textLiteral(const db::Value& value);

// The distinct keys of the rows to delete first, by table, key column and key value; the
// menu tables (names beginning tbMenu) and the search tables (tbPesquisas) only when
// their option is ticked. With both ticked (one line):
// SELECT tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value FROM tbDados WHERE
// (((tbDados.delete_first)<>0)) GROUP BY tbDados.tabela, tbDados.pkey_campo,
// tbDados.pkey_value ORDER BY tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value
// Neither ticked: ... WHERE (((tbDados.delete_first)<>0)) AND tbDados.tabela NOT LIKE
// 'tbMenu%' AND tbDados.tabela NOT LIKE 'tbPesquisas%' GROUP BY ...
std::string deleteFirstQuery(bool menus, bool searches);

// DELETE FROM tbMenu_Main_Sub WHERE id_item = 1
std::string deleteRowStatement(std::string_view table, std::string_view keyColumn,
                               std::string_view keyLiteral);

// SELECT COUNT(*) as no FROM tbPesquisas
std::string rowCountQuery(std::string_view table);

// SELECT id_pesquisa FROM tbPesquisas WHERE id_pesquisa = 1
std::string keyProbeQuery(std::string_view table, std::string_view keyColumn,
                          std::string_view keyLiteral);

// SELECT * FROM tbMenu_Main WHERE id_menu = '7'
std::string rowProbeQuery(std::string_view table, std::string_view keyColumn,
                          std::string_view keyLiteral);

// UPDATE tbMenu_Main SET users_groups = 'Vendas' WHERE id_menu = '7'
std::string usersGroupsStatement(std::string_view table, std::string_view keyColumn,
                                 std::string_view groupsLiteral, std::string_view keyLiteral);

// A new security policy. Assigned to no user group (one line):
// INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES ('12','Ocultar
// custos d''obra', '')
// or leaving users_groups to the table:
// INSERT INTO tbSecurityPolicies (code, descrit) VALUES ('20','Ver custos')
std::string securityPolicyStatement(std::string_view codeLiteral,
                                    std::string_view descriptionLiteral, bool withoutGroups);

// The large fields of a stored row, looked up in the store (one line):
// SELECT * FROM tbDados_Gigantic WHERE tabela = 'tbParametros' AND pkey_campo = 'nome' AND
// pkey_value = 'Assinatura d'+CHR(39)+'Ouro'
std::string largeFieldsQuery(std::string_view table, std::string_view keyColumn,
                             const db::Value& keyValue);

// UPDATE tbPesquisas SET sql_text = null WHERE id_pesquisa = 1
std::string clearFieldStatement(std::string_view table, std::string_view field,
                                std::string_view keyColumn, std::string_view keyLiteral);

// SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'
std::string fieldProbeQuery(std::string_view table, std::string_view field,
                            std::string_view keyColumn, std::string_view keyLiteral);

}  // namespace sysdata
