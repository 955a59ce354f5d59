#include "structure_fakes.h"

#include <regex>

#include "db/ado_types.h"
#include "store/sql_value.h"
#include "structure/update_table_structure.h"

namespace structure::testing {
namespace {

std::vector<db::Column> catalogColumns(bool withCollation) {
    std::vector<db::Column> columns = {
        {"tabela", db::ado::kVarWChar}, {"campo", db::ado::kVarWChar},
        {"tipo", db::ado::kVarWChar},   {"tamanho", db::ado::kSmallInt},
        {"xprec", db::ado::kTinyInt},   {"xscale", db::ado::kTinyInt},
        {"isnullable", db::ado::kInteger}, {"isidentity", db::ado::kSmallInt},
        {"cdefault", db::ado::kVarWChar}};
    if (withCollation) columns.push_back({"collation", db::ado::kVarWChar});
    return columns;
}

std::vector<db::Value> catalogRow(const std::string& table, const Col& c, bool withCollation) {
    std::vector<db::Value> row = {db::Value::text(table), db::Value::text(c.campo),
                                  c.tipo.empty() ? db::Value() : db::Value::text(c.tipo), c.tamanho, c.xprec, c.xscale,
                                  c.isnullable, c.isidentity, c.cdefault};
    if (withCollation) row.push_back(c.collation);
    return row;
}

}  // namespace

Col intCol(std::string campo, bool nullable, bool identity) {
    return {std::move(campo), "int", db::Value::integer(4), db::Value::integer(10),
            db::Value::integer(0), db::Value::integer(nullable ? 1 : 0),
            db::Value::integer(identity ? 1 : 0), {}, {}};
}

Col varcharCol(std::string campo, int length, bool nullable, std::string collation) {
    return {std::move(campo), "varchar", db::Value::integer(length), db::Value::integer(0),
            db::Value::integer(0), db::Value::integer(nullable ? 1 : 0), db::Value::integer(0),
            {}, db::Value::text(std::move(collation))};
}

db::Recordset FakeTarget::open(std::string_view sql, db::CursorType cursor, db::LockType lock) {
    cursors.emplace_back(std::string(sql), cursor);
    db::Recordset scripted = FakeConnection::open(sql, cursor, lock);
    static const std::regex catalogQuery(
        R"(^ SELECT SOURCE_sysobjects\.name as tabela, SOURCE_syscolumns\.name as campo, systypes.*)"
        R"( WHERE SOURCE_sysobjects\.name = '([^']*)'(?: AND SOURCE_syscolumns\.name = '([^']*)')?$)");
    const std::string text(sql);
    std::smatch match;
    if (!std::regex_match(text, match, catalogQuery)) return scripted;
    const bool withCollation = text.find("SOURCE_syscolumns.collation") != std::string::npos;
    FakeConnection::Rows rows;
    auto table = tables.find(match[1].str());
    if (table != tables.end()) {
        for (const Col& column : table->second) {
            if (match[2].matched && !db::equalsIgnoreCase(column.campo, match[2].str())) continue;
            rows.push_back(catalogRow(table->first, column, withCollation));
        }
    }
    return db::Recordset(catalogColumns(withCollation), std::move(rows));
}

void setStoredColumns(testing_support::FakeConnection& store,
                      const std::vector<std::pair<std::string, Col>>& rows) {
    std::vector<db::Column> columns = catalogColumns(false);
    columns.insert(columns.begin(), {"object_id", db::ado::kInteger});
    testing_support::FakeConnection::Rows stored;
    std::int64_t id = 0;
    for (const auto& [table, column] : rows) {
        std::vector<db::Value> row = catalogRow(table, column, false);
        row.insert(row.begin(), db::Value::integer(++id));
        stored.push_back(std::move(row));
    }
    store.onQuery("SELECT * FROM tbObjects ORDER BY object_id", columns, std::move(stored));
}

StructureHarness::StructureHarness() {
    form.FXSilence.value = 0;
    form.FXBackup.value = 0;
}

app::ConnectionOpeners StructureHarness::openers() { return upgrade::testing::lendingOpeners(target, store); }

bool StructureHarness::update() { return UpdateTableStructure(run()); }

}  // namespace structure::testing
