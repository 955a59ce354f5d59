#pragma once

#include <functional>
#include <optional>
#include <string>

#include "catalog/catalog_model.h"
#include "db/recordset.h"
#include "upgrade/upgrade_run.h"

namespace upgrade {

// A catalog question of a phase: the run's catalog model answers it when it can;
// otherwise the per-item query `query` is opened on the target with `cursor` (read-only),
// as the question was asked before there was a model. Errors of that query propagate.
// Example: catalogAnswer(run, [&](catalog::Model& m) { return m.primaryKey("tbX"); },
//                        primaryKeyQuery("tbX"))
db::Recordset catalogAnswer(UpgradeRun& run,
                            const std::function<std::optional<db::Recordset>(catalog::Model&)>& ask,
                            const std::string& query,
                            db::CursorType cursor = db::CursorType::Static);

// The same for a question whose answer is whether the query finds a row.
bool catalogFinds(UpgradeRun& run, const std::function<std::optional<bool>(catalog::Model&)>& ask,
                  const std::string& query, db::CursorType cursor = db::CursorType::Static);

}  // namespace upgrade
