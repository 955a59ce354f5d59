#include "sysdata/menu_rules.h"

#include "store/sql_value.h"
#include "sysdata/row_execution.h"
#include "sysdata/system_data_statements.h"

namespace sysdata {

using upgrade::ExecutionMode;

bool menuCleaningAsked(const app::MainForm& form) {
    return form.FXDadosUpdateMenusClean.ticked() && form.FXDadosUpdateMenusClean.visible;
}

void cleanMenus(upgrade::UpgradeRun& run) {
    for (const char* statement :
         {"DELETE FROM tbMenu_Main", "DELETE FROM tbMenu_Main_Items",
          "DELETE FROM tbMenu_Main_Items_Fields", "DELETE FROM tbMenu_Main_Items_Fields_Order",
          "DELETE FROM tbMenu_Main_Items_Fields_Order_UserDefaults",
          "DELETE FROM tbMenu_Main_Items_Fields_UserDefaults", "DELETE FROM tbMenu_Main_Sub"}) {
        run.target.execute(statement);
    }
}

void applyMenuRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    const std::string key = textLiteral(row.pkeyValue);
    db::Recordset entry = run.target.open(rowProbeQuery(row.tabela, row.pkeyCampo, key),
                                          db::CursorType::Static, db::LockType::ReadOnly);
    if (entry.eof()) {
        entry.close();
        runAsking(run, row.tabela, store::DeTransform(row.command()));
        return;
    }
    const db::Value savedGroups = entry.field("users_groups").value();
    entry.close();

    run.currentStatement = store::DeTransform(row.command());
    std::optional<db::Error> lastFailure;
    for (const std::string& sql :
         {deleteRowStatement(row.tabela, row.pkeyCampo, key), run.currentStatement,
          usersGroupsStatement(row.tabela, row.pkeyCampo, textLiteral(savedGroups), key)}) {
        if (auto failure = run.statements.execute(sql, ExecutionMode::IgnoreErrors)) {
            run.statements.recordFailure(sql, *failure);
            lastFailure = std::move(failure);
        }
    }
    if (lastFailure) {
        run.statements.askToContinue(*lastFailure, [&row](const db::Error& error) {
            return tableQuestionText(row.tabela, error);
        });
    }
    logStatement(run, run.currentStatement);
}

}  // namespace sysdata
