#pragma once

#include <string>
#include <string_view>

#include "db/value.h"
#include "store/rules_table.h"

// The statements of the system data phase, each built in one place: the catalog and row
// queries it sends to the reference database and the rows it writes into tbDados and
// tbDados_Gigantic of the definitions store.
namespace capture {

// The phase list: every user table but dtproperties, by name.
extern const char* const kUserTablesQuery;

// The identifier of the tbDados_Gigantic row just inserted, read as the largest one.
extern const char* const kNewestGiganticIdQuery;

// A row's key value as a literal for the store's statements: a number, or a text that
// reads as one, unquoted; anything else quoted. Examples: 12 -> 12; the text 2005 ->
// 2005; d'Ouro -> 'd'+CHR(39)+'Ouro'.
std::string storeKeyLiteral(const db::Value& keyValue);

// The key literal for the look-up on the reference: a number as a number, anything else
// quoted, also a text that reads as a number. Examples: d'Ouro -> 'd''Ouro';
// the text 2005 -> '2005' (its store key literal is 2005).
std::string serverKeyLiteral(const db::Value& keyValue);

// Whether the table has an identity column (a column whose catalog status is non-zero):
// SELECT * FROM sysColumns WHERE ID = 1205579333 AND colstat <> 0
std::string identityColumnsQuery(const db::Value& tableId);

// The columns of the table's primary key, lowest column id first (the phase takes the
// first row's campo). Example, for tbX (one line):
//  SELECT SOURCE_sysobjects.name as PK_Name, SOURCE_sysobjects_2.name as tabela,
// SOURCE_syscolumns.name as campo, SOURCE_sysindexkeys.* FROM sysindexkeys AS
// SOURCE_sysindexkeys JOIN sysobjects AS SOURCE_sysobjects ON (SOURCE_sysindexkeys.id =
// SOURCE_sysobjects.parent_obj AND SOURCE_sysobjects.xtype = 'PK')  JOIN sysindexes AS
// SOURCE_sysindexes ON (SOURCE_sysindexkeys.id = SOURCE_sysindexes.id AND
// SOURCE_sysindexes.name = SOURCE_sysobjects.name AND SOURCE_sysindexkeys.indid =
// SOURCE_sysindexes.indid) JOIN sysobjects AS SOURCE_sysobjects_2 ON
// SOURCE_sysobjects.parent_obj = SOURCE_sysobjects_2.id JOIN syscolumns AS
// SOURCE_syscolumns ON (SOURCE_sysindexkeys.id = SOURCE_syscolumns.id AND
// SOURCE_sysindexkeys.colid = SOURCE_syscolumns.colid) WHERE SOURCE_sysobjects_2.name <>
// 'dtproperties'  AND SOURCE_sysobjects_2.name = 'tbX' ORDER BY SOURCE_sysobjects_2.name,
// SOURCE_syscolumns.colid
std::string keyColumnQuery(std::string_view tableName);

// Every row of the table: SELECT * FROM tbX (a name that needs them in brackets:
// SELECT * FROM [tbO'Neil]).
std::string tableRowsQuery(std::string_view tableName);

// One large binary value, found by the row's key, names as store::NameForStatement writes them:
// SELECT imagem FROM tbParametros WHERE nome = 'Logotipo'
std::string largeBinaryQuery(std::string_view tableName, std::string_view field,
                             std::string_view keyColumn, std::string_view serverKeyLiteral);

// The store rows of one captured table, each row's statement built on the table's part,
// which is formatted once; the flags as -1 or 0 (one line):
// INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty,
// force_update, delete_first) VALUES ('tbX','id',7,'INSERT INTO tbX (id, nome) VALUES
// (7, '+CHR(39)+'O!39!Neil'+CHR(39)+')',0, -1, 0 )
class DataRowInsert {
public:
    DataRowInsert(std::string_view tableName, std::string_view keyColumn,
                  const store::RuleFlags& flags);

    std::string operator()(std::string_view storeKeyLiteral, std::string_view command) const;

private:
    std::string m_head;  // up to the key literal
    std::string m_tail;  // the flags and the closing bracket
};

// The store row of one security policy: its code as key, its description in place of
// a command, never force-updated (one line):
// INSERT INTO tbDados (tabela, pkey_campo, pkey_value, comando, only_if_empty,
// force_update, delete_first) VALUES ('tbSecurityPolicies', 'code','12','Ocultar
// custos',-1, 0, 0)
std::string securityPolicyInsert(std::string_view tableName, const db::Value& code,
                                 const db::Value& description, const store::RuleFlags& flags);

// The tbDados_Gigantic row of a binary field, its bytes written afterwards (one line):
// INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field)
// VALUES('tbParametros', 'nome','Logotipo', 'imagem')
std::string giganticBinaryInsert(std::string_view tableName, std::string_view keyColumn,
                                 std::string_view storeKeyLiteral, std::string_view field);

// The tbDados_Gigantic row of a long text; `markedText` is already trimmed and marked
// (one line):
// INSERT INTO tbDados_Gigantic (tabela, pkey_campo, pkey_value, target_field,
// target_value) VALUES('tbPesquisas', 'id_pesquisa',1, 'sql_text', 'SELECT ... !39!A!39!')
std::string giganticTextInsert(std::string_view tableName, std::string_view keyColumn,
                               std::string_view storeKeyLiteral, std::string_view field,
                               std::string_view markedText);

}  // namespace capture
