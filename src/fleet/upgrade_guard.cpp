#include "fleet/upgrade_guard.h"

#include "store/sql_value.h"

namespace fleet {

GuardReading readGuard(db::Connection& target) {
    db::Recordset versao = target.open("SELECT TOP 1 * FROM tbVersao");
    GuardReading reading;
    if (versao.eof()) {
        reading.state = GuardState::NoRow;
    } else if (!store::CheckField(versao, "upgrading")) {
        reading.state = GuardState::NoColumn;
    } else {
        const db::Value upgrading = versao.field("upgrading").value();
        if (upgrading.isNull()) {
            reading.state = GuardState::Off;
        } else {
            reading.value = upgrading.toText();
            reading.state = upgrading.asDouble() != 0.0 ? GuardState::Raised : GuardState::Lowered;
        }
    }
    versao.close();
    return reading;
}

void lowerGuard(db::Connection& target) { target.execute("UPDATE tbVersao SET upgrading = 0"); }

std::string guardStatusLine(const GuardReading& reading, const std::string& server,
                            const std::string& database, const std::optional<GuardRecord>& lastRecord,
                            const std::string& ledgerFile) {
    const std::string where = " in tbVersao of " + database + " on " + server;
    switch (reading.state) {
        case GuardState::Raised: {
            std::string line = "raised: upgrading = " + reading.value + where + "; ";
            if (lastRecord && lastRecord->event == GuardEvent::Raised)
                return line + describeRecord(*lastRecord);
            line += "not by a run recorded in " + ledgerFile +
                    " (another machine, another program folder or the application set it)";
            if (lastRecord) line += "; the last record there: " + describeRecord(*lastRecord);
            return line;
        }
        case GuardState::Lowered: {
            std::string line = "not raised: upgrading = " + reading.value + where;
            if (lastRecord) line += "; last " + describeRecord(*lastRecord);
            return line;
        }
        case GuardState::Off:
            return "not raised: upgrading is null" + where + ", so its upgrades take no guard";
        case GuardState::NoColumn:
            return "not raised: tbVersao of " + database + " on " + server +
                   " has no column upgrading, so its upgrades take no guard";
        case GuardState::NoRow:
            break;
    }
    return "not raised: tbVersao of " + database + " on " + server +
           " has no row, so its upgrades take no guard";
}

}  // namespace fleet
