#include "upgrade/catalog_answer.h"

namespace upgrade {

db::Recordset catalogAnswer(UpgradeRun& run,
                            const std::function<std::optional<db::Recordset>(catalog::Model&)>& ask,
                            const std::string& query, db::CursorType cursor) {
    if (run.catalog) {
        std::optional<db::Recordset> answer = ask(*run.catalog);
        if (answer) return std::move(*answer);
    }
    return run.target.open(query, cursor, db::LockType::ReadOnly);
}

bool catalogFinds(UpgradeRun& run, const std::function<std::optional<bool>(catalog::Model&)>& ask,
                  const std::string& query, db::CursorType cursor) {
    if (run.catalog) {
        if (const std::optional<bool> answer = ask(*run.catalog)) return *answer;
    }
    db::Recordset rows = run.target.open(query, cursor, db::LockType::ReadOnly);
    const bool found = !rows.eof();
    rows.close();
    return found;
}

}  // namespace upgrade
