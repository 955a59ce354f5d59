#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/value.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "app/connection_openers.h"
#include "app/main_form.h"
#include "upgrade/upgrade_run.h"
#include "upgrade_harness.h"

namespace structure::testing {

// One column as tbObjects or the target catalog holds it.
struct Col {
    std::string campo;
    std::string tipo;  // empty: Null
    db::Value tamanho;
    db::Value xprec = db::Value::integer(0);
    db::Value xscale = db::Value::integer(0);
    db::Value isnullable = db::Value::integer(1);
    db::Value isidentity = db::Value::integer(0);
    db::Value cdefault;   // Null: no default
    db::Value collation;  // target only
};

Col intCol(std::string campo, bool nullable = false, bool identity = false);
Col varcharCol(std::string campo, int length, bool nullable = true,
               std::string collation = "Latin1_General_CI_AI");

// A target connection whose target column queries (per table and per column) and rebuild
// catalog queries are answered from `tables`; everything else behaves as FakeConnection.
class FakeTarget : public testing_support::FakeConnection {
public:
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override;

    std::map<std::string, std::vector<Col>> tables;
    std::vector<std::pair<std::string, db::CursorType>> cursors;  // every query and its cursor
};

// The store connection with tbObjects rows, in object_id order.
void setStoredColumns(testing_support::FakeConnection& store,
                      const std::vector<std::pair<std::string, Col>>& rows);

using upgrade::testing::logInsert;

// Everything a table structure update needs, with a run built over it. FXSilence and
// FXBackup start unticked, so that every question shows and a whole run has no backup.
class StructureHarness : public upgrade::testing::ScriptedRun<FakeTarget> {
public:
    StructureHarness();
    bool update();  // UpdateTableStructure over the run

    // Openers that lend both connections to a whole upgrade run; they stay readable after it.
    app::ConnectionOpeners openers();
};

inline const std::string kBreak = "\n\r\n\r";

}  // namespace structure::testing
