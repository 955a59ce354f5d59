#include "store/store_schema.h"

namespace store {
namespace {

std::string_view declaration(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::AutoNumber:
            return "INTEGER PRIMARY KEY AUTOINCREMENT";
        case ColumnKind::Text:
            return "TEXT(255) COLLATE NOCASE";
        case ColumnKind::LongText:
            return "LONGTEXT COLLATE NOCASE";
        case ColumnKind::Number:
            return "INTEGER";
        case ColumnKind::Boolean:
            return "BOOLEAN DEFAULT 0";
        case ColumnKind::LongBinary:
            return "BLOB";
    }
    return "";
}

using K = ColumnKind;

}  // namespace

const std::vector<StoreTable>& storeTables() {
    static const std::vector<StoreTable> kTables = {
        {"tbObjects",
         {{"object_id", K::AutoNumber},
          {"tabela", K::Text},
          {"campo", K::Text},
          {"tipo", K::Text},
          {"tamanho", K::Number},
          {"xprec", K::Number},
          {"xscale", K::Number},
          {"isnullable", K::Number},
          {"isidentity", K::Number},
          {"cdefault", K::LongText}}},
        {"tbFunctions",
         {{"function_id", K::AutoNumber}, {"nome", K::Text}, {"descrit", K::LongText}}},
        {"tbViews", {{"view_id", K::AutoNumber}, {"nome", K::Text}, {"descrit", K::LongText}}},
        {"tbProcedures",
         {{"procedure_id", K::AutoNumber}, {"nome", K::Text}, {"descrit", K::LongText}}},
        {"tbIndexes",
         {{"index_id", K::AutoNumber}, {"nome", K::Text}, {"tabela", K::Text}, {"campo", K::Text}}},
        {"tbPrimary_Keys",
         {{"pkey_id", K::AutoNumber}, {"nome", K::Text}, {"tabela", K::Text}, {"campo", K::Text}}},
        {"tbDefaults",
         {{"default_id", K::AutoNumber},
          {"DF_name", K::Text},
          {"tabela", K::Text},
          {"campo", K::Text},
          {"valor", K::Text}}},
        {"tbDados",
         {{"tabela", K::Text},
          {"pkey_campo", K::Text},
          {"pkey_value", K::Text},
          {"comando", K::LongText},
          {"only_if_empty", K::Boolean},
          {"force_update", K::Boolean},
          {"delete_first", K::Boolean}}},
        {"tbDados_Gigantic",
         {{"ID", K::AutoNumber},
          {"tabela", K::Text},
          {"pkey_campo", K::Text},
          {"pkey_value", K::Text},
          {"target_field", K::Text},
          {"target_value", K::LongText},
          {"target_image", K::LongBinary}}},
        {"tbLogs", {{"descrit", K::LongText}}},
        {"tbExecute",
         {{"execute_id", K::AutoNumber}, {"activo", K::Number}, {"comando", K::LongText}}},
    };
    return kTables;
}

std::string createTableStatement(const StoreTable& table) {
    std::string sql = "CREATE TABLE " + std::string(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += table.columns[i].name;
        sql += ' ';
        sql += declaration(table.columns[i].kind);
    }
    sql += ")";
    return sql;
}

}  // namespace store
