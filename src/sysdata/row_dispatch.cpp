#include "sysdata/row_dispatch.h"

#include "sysdata/menu_rules.h"
#include "sysdata/ordinary_rows.h"
#include "sysdata/policy_version_rules.h"

namespace sysdata {

RowRule ruleFor(std::string_view table, bool deleteFirst) {
    if (deleteFirst) return RowRule::DirectInsert;
    if (table == "tbSecurityPolicies") return RowRule::SecurityPolicy;
    if (table == "tbVersao") return RowRule::VersionRow;
    if (table == "tbMenu_Main" || table == "tbMenu_Main_Items" || table == "tbMenu_Main_Sub")
        return RowRule::MenuRow;
    return RowRule::ExistenceCheck;
}

void applyRow(upgrade::UpgradeRun& run, const StoredRow& row) {
    switch (ruleFor(row.tabela, row.deleteFirst)) {
        case RowRule::DirectInsert:
            applyInsertedRow(run, row);
            return;
        case RowRule::ExistenceCheck:
            applyOrdinaryRow(run, row);
            return;
        case RowRule::SecurityPolicy:
            applySecurityPolicyRow(run, row);
            return;
        case RowRule::MenuRow:
            applyMenuRow(run, row);
            return;
        case RowRule::VersionRow:
            applyVersionRow(run, row);
            return;
    }
}

}  // namespace sysdata
