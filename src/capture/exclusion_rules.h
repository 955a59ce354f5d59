#pragma once

#include <optional>
#include <set>
#include <string>

#include "app/host.h"
#include "catalog/name_rules.h"
#include "db/connection.h"
#include "db/error.h"

namespace capture {

// The exclusion test of the rules table tbSQLUpdate for a whole capture, its table read
// once instead of twice per name: the answers are IsExcluded's (is_excluded.h), the
// `descrit` match made as the server makes it, under that column's collation (trailing
// blanks ignored, the name trimmed as its literal is).
//
// First use: "SELECT TOP 1 * FROM tbSQLUpdate", as IsExcluded probes the table. When it
// fails, every call shows its error as IsExcluded's error exit does (when it has a
// description) and answers false; without a row or without a column named exactly
// "exclude", every call answers false. Otherwise the rows and the collation of `descrit`
// are read once. A table the comparison cannot be made on here (no `descrit` column, an
// `exclude` that is no number, a `descrit` that is no text) is asked name by name with
// IsExcluded, so that the server answers, or fails, as it did.
class ExclusionRules {
public:
    explicit ExclusionRules(db::Connection& server);

    bool isExcluded(const std::string& name, app::Host& host);

private:
    enum class State { Unread, ProbeFailed, NothingExcluded, Read, AskEachName };

    void read();

    db::Connection& m_server;
    State m_state = State::Unread;
    std::optional<db::Error> m_probeError;
    catalog::NameRules m_rules;
    std::set<std::string> m_excluded;  // name keys of rows with exclude <> 0
};

}  // namespace capture
