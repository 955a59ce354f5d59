#include "sysdata_harness.h"

#include "sysdata/update_system_data.h"

namespace sysdata::testing {
namespace {

const std::vector<db::Column> kDadosColumns = {
    {"tabela", db::ado::kVarWChar},       {"pkey_campo", db::ado::kVarWChar},
    {"pkey_value", db::ado::kVarWChar},   {"comando", db::ado::kLongVarWChar},
    {"only_if_empty", db::ado::kBoolean}, {"force_update", db::ado::kBoolean},
    {"delete_first", db::ado::kBoolean}};

db::Value textOrNull(const std::string& text) {
    return text.empty() ? db::Value() : db::Value::text(text);
}

}  // namespace

SysdataHarness::SysdataHarness() {
    form.FXSilence.value = 0;
    form.FXDatabase.text = "app";
}

void SysdataHarness::storeRows(const std::vector<Dados>& rows) {
    Rows dados;
    Rows deleteFirst;
    for (const Dados& row : rows) {
        dados.push_back({db::Value::text(row.tabela), db::Value::text(row.pkeyCampo),
                         db::Value::text(row.pkeyValue), textOrNull(row.comando),
                         db::Value::boolean(row.onlyIfEmpty), db::Value::boolean(row.forceUpdate),
                         db::Value::boolean(row.deleteFirst)});
        if (row.deleteFirst) {
            deleteFirst.push_back({db::Value::text(row.tabela), db::Value::text(row.pkeyCampo),
                                   db::Value::text(row.pkeyValue)});
        }
    }
    store.onQuery("SELECT * FROM tbDados", kDadosColumns, std::move(dados));
    // An empty tbDados_Gigantic unless a test gives rows: added after tbDados's rule, whose
    // query text it contains, so that it is matched first.
    store.onQuery("SELECT * FROM tbDados_Gigantic", {}, {});
    store.onQuery("SELECT tbDados.tabela, tbDados.pkey_campo, tbDados.pkey_value FROM tbDados",
                  {kDadosColumns[0], kDadosColumns[1], kDadosColumns[2]}, std::move(deleteFirst));
}

void SysdataHarness::largeFields(const std::string& tabela, const std::string& pkeyCampo,
                                 const std::string& pkeyValue, Rows rows) {
    store.onQuery("SELECT * FROM tbDados_Gigantic WHERE tabela = '" + tabela +
                      "' AND pkey_campo = '" + pkeyCampo + "' AND pkey_value = '" + pkeyValue + "'",
                  {{"ID", db::ado::kInteger},
                   {"tabela", db::ado::kVarWChar},
                   {"pkey_campo", db::ado::kVarWChar},
                   {"pkey_value", db::ado::kVarWChar},
                   {"target_field", db::ado::kVarWChar},
                   {"target_value", db::ado::kLongVarWChar},
                   {"target_image", db::ado::kLongVarBinary}},
                  [&] {
                      Rows full;
                      for (auto& row : rows) {
                          full.push_back({db::Value::integer(1), db::Value::text(tabela),
                                          db::Value::text(pkeyCampo), db::Value::text(pkeyValue),
                                          row.at(0), row.at(1), row.at(2)});
                      }
                      return full;
                  }());
}

void SysdataHarness::targetRow(const std::string& query, std::vector<db::Column> columns,
                               Rows rows) {
    target.onQuery(query, std::move(columns), std::move(rows));
}

bool SysdataHarness::runPhase() { return UpdateSystemData(run()); }

std::vector<std::string> logInserts(const std::vector<std::string>& statements) {
    std::vector<std::string> inserts;
    for (const std::string& sql : statements) inserts.push_back(logInsert(sql));
    return inserts;
}

}  // namespace sysdata::testing
