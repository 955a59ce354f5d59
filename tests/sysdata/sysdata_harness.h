#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "db/ado_types.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "upgrade/upgrade_run.h"
#include "upgrade_harness.h"

namespace sysdata::testing {

using Rows = testing_support::FakeConnection::Rows;
using upgrade::testing::logInsert;

// One tbDados row as the capture stores it.
struct Dados {
    std::string tabela;
    std::string pkeyCampo;
    std::string pkeyValue;
    std::string comando;  // "" stands for NULL
    bool onlyIfEmpty = false;
    bool forceUpdate = false;
    bool deleteFirst = false;
};

// The system data phase over a scripted target and store. FXSilence starts unticked, so
// every question shows; Menus and Searches are ticked, "Limpar Menus" is not.
class SysdataHarness : public upgrade::testing::ScriptedRun<> {
public:
    SysdataHarness();

    // tbDados in stored order; the delete-first query (whatever the options) gives the
    // distinct keys of the rows marked delete_first, in that order.
    void storeRows(const std::vector<Dados>& rows);
    // The tbDados_Gigantic rows of one stored key: target_field, target_value, target_image.
    void largeFields(const std::string& tabela, const std::string& pkeyCampo,
                     const std::string& pkeyValue, Rows rows);
    // The target finds a row for exactly this query.
    void targetRow(const std::string& query,
                   std::vector<db::Column> columns = {{"id", db::ado::kInteger}},
                   Rows rows = {{db::Value::integer(1)}});

    bool runPhase();
};

// The log inserts of `statements`, in order.
std::vector<std::string> logInserts(const std::vector<std::string>& statements);

inline const std::string kBreak = "\n\r\n\r";

}  // namespace sysdata::testing
