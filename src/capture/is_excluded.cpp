#include "capture/is_excluded.h"

#include "db/error.h"
#include "store/sql_value.h"

namespace capture {

bool IsExcluded(const std::string& name, db::Connection& server, app::Host& host) {
    try {
        db::Recordset probe = server.open("SELECT TOP 1 * FROM tbSQLUpdate");
        bool hasExcludeColumn = false;
        if (!probe.eof()) {
            for (const db::Column& column : probe.columns()) {
                if (column.name == "exclude") {  // exact: the column is optional
                    hasExcludeColumn = true;
                    break;
                }
            }
        }
        probe.close();
        if (!hasExcludeColumn) return false;

        db::Recordset rule = server.open("SELECT * FROM tbSQLUpdate WHERE exclude <> 0 AND descrit = " +
                                         store::SQLValueForServer(name, 3));
        const bool excluded = !rule.eof();
        rule.close();
        return excluded;
    } catch (const db::Error& e) {
        if (!e.description().empty()) {
            host.messageBox(e.description(), app::mb::kInformation, std::nullopt);
        }
        return false;
    }
}

}  // namespace capture
