#include "capture/exclusion_rules.h"

#include "capture/is_excluded.h"
#include "db/ado_types.h"

namespace capture {
namespace {

bool isNumberType(int type) {
    switch (type) {
        case db::ado::kSmallInt: case db::ado::kInteger: case db::ado::kSingle:
        case db::ado::kDouble: case db::ado::kCurrency: case db::ado::kBoolean:
        case db::ado::kDecimal: case db::ado::kTinyInt: case db::ado::kUnsignedTinyInt:
        case db::ado::kUnsignedSmallInt: case db::ado::kUnsignedInt: case db::ado::kBigInt:
        case db::ado::kUnsignedBigInt: case db::ado::kNumeric:
            return true;
        default:
            return false;
    }
}

bool isTextType(int type) {
    switch (type) {
        case db::ado::kChar: case db::ado::kWChar: case db::ado::kVarChar:
        case db::ado::kLongVarChar: case db::ado::kVarWChar: case db::ado::kLongVarWChar:
            return true;
        default:
            return false;
    }
}

// The collation of tbSQLUpdate.descrit, which decides how `descrit = 'name'` compares.
const char* const kDescritCollationQuery =
    "SELECT col.collation FROM syscolumns AS col JOIN sysobjects AS tbl ON col.id = tbl.id "
    "WHERE tbl.name = 'tbSQLUpdate' AND tbl.xtype = 'U' AND col.name = 'descrit'";

}  // namespace

ExclusionRules::ExclusionRules(db::Connection& server) : m_server(server) {}

void ExclusionRules::read() {
    try {
        db::Recordset probe = m_server.open("SELECT TOP 1 * FROM tbSQLUpdate");
        bool hasExcludeColumn = false;
        if (!probe.eof()) {
            for (const db::Column& column : probe.columns())
                hasExcludeColumn = hasExcludeColumn || column.name == "exclude";
        }
        probe.close();
        if (!hasExcludeColumn) {
            m_state = State::NothingExcluded;
            return;
        }
    } catch (const db::Error& error) {
        m_probeError = error;
        m_state = State::ProbeFailed;
        return;
    }

    m_state = State::AskEachName;
    try {
        db::Recordset rows = m_server.open("SELECT * FROM tbSQLUpdate");
        std::optional<std::size_t> exclude;
        for (std::size_t i = 0; i < rows.columns().size(); ++i)
            if (rows.columns()[i].name == "exclude") exclude = i;
        const std::optional<std::size_t> descrit = rows.fieldIndex("descrit");
        if (!exclude || !descrit || !isNumberType(rows.columns()[*exclude].type) ||
            !isTextType(rows.columns()[*descrit].type))
            return;
        std::vector<std::string> names;
        for (; !rows.eof(); rows.moveNext()) {
            const db::Value value = rows.field(*exclude).value();
            const db::Value name = rows.field(*descrit).value();
            if (value.isNull() || name.isNull() || value.asDouble() == 0.0) continue;
            names.push_back(name.toText());
        }
        rows.close();

        db::Recordset collation = m_server.open(kDescritCollationQuery);
        const std::optional<std::size_t> field = collation.fieldIndex("collation");
        if (!field || collation.eof()) return;
        m_rules = catalog::NameRules::ofCollation(collation.field(*field).value().toText());
        collation.close();
        for (const std::string& name : names) m_excluded.insert(m_rules.key(name));
        m_state = State::Read;
    } catch (const db::Error&) {
        // Asked name by name, the server gives each call its own answer or error.
    }
}

bool ExclusionRules::isExcluded(const std::string& name, app::Host& host) {
    if (m_state == State::Unread) read();
    switch (m_state) {
        case State::ProbeFailed:
            if (!m_probeError->description().empty())
                host.messageBox(m_probeError->description(), app::mb::kInformation, std::nullopt);
            return false;
        case State::NothingExcluded:
            return false;
        case State::Read: {
            const std::optional<std::string> literal = catalog::literalText(name);
            return literal && m_excluded.count(m_rules.key(*literal)) > 0;
        }
        case State::Unread:
        case State::AskEachName:
            break;
    }
    return IsExcluded(name, m_server, host);
}

}  // namespace capture
