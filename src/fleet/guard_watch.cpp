#include "fleet/guard_watch.h"

#include <cctype>
#include <string>

#include "db/error.h"

namespace fleet {

std::optional<GuardEvent> guardChange(std::string_view sql) {
    std::string words;  // lower case, without blanks
    for (const char c : sql) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            words += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (words == "updatetbversaosetupgrading=1") return GuardEvent::Raised;
    if (words == "updatetbversaosetupgrading=0") return GuardEvent::Released;
    return std::nullopt;
}

template <typename Send>
auto WatchedTarget::counted(Send send) -> decltype(send()) {
    if (m_counts) ++m_counts->statements;
    try {
        return send();
    } catch (const db::Error&) {
        if (m_counts) ++m_counts->failures;
        throw;
    }
}

long WatchedTarget::execute(std::string_view sql) {
    const long rows = counted([&] { return m_inner->execute(sql); });
    if (const auto change = guardChange(sql); change && m_onGuard) m_onGuard(*change);
    return rows;
}

db::Recordset WatchedTarget::open(std::string_view sql, db::CursorType cursor, db::LockType lock) {
    return counted([&] { return m_inner->open(sql, cursor, lock); });
}

void WatchedTarget::writeLongValue(std::string_view table, std::string_view keyColumn,
                                   std::string_view keyLiteral, std::string_view field,
                                   const db::Value& value) {
    counted([&] { m_inner->writeLongValue(table, keyColumn, keyLiteral, field, value); });
}

}  // namespace fleet
