#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "db/connection.h"
#include "fleet/guard_ledger.h"

namespace fleet {

// What a run sent to its target: batches executed and record sets opened, and how many
// of them the server refused (whatever the run then did with the error).
struct StatementCounts {
    long statements = 0;
    long failures = 0;
};

// The guard change a statement makes: the upgrade's "UPDATE tbVersao SET upgrading = 1"
// raises it and "UPDATE tbVersao SET upgrading = 0" releases it (letter case and blanks
// as they may come). None for any other statement.
// Example: "update tbVersao set upgrading=1" -> Raised; "UPDATE tbVersao SET versao = 1" -> none.
std::optional<GuardEvent> guardChange(std::string_view sql);

// A target connection that tells what happens to the upgrade guard and counts what is
// sent, for the people watching the run: it passes everything to the connection it wraps
// unchanged, errors included, then calls `onGuard` after a guard statement succeeded and
// adds to `counts` when given (it must outlive the connection). Owned by the run like any
// connection.
class WatchedTarget final : public db::Connection {
public:
    WatchedTarget(std::unique_ptr<db::Connection> inner, std::function<void(GuardEvent)> onGuard,
                  StatementCounts* counts = nullptr)
        : m_inner(std::move(inner)), m_onGuard(std::move(onGuard)), m_counts(counts) {}

    long execute(std::string_view sql) override;
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override;
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner->setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn, std::string_view keyLiteral,
                        std::string_view field, const db::Value& value) override;
    bool transactionLost() const override { return m_inner->transactionLost(); }
    void beginTransaction() override { m_inner->beginTransaction(); }
    void commitTransaction() override { m_inner->commitTransaction(); }
    void rollbackTransaction() override { m_inner->rollbackTransaction(); }

private:
    // Runs `send`, counting it and its failure.
    template <typename Send>
    auto counted(Send send) -> decltype(send());

    std::unique_ptr<db::Connection> m_inner;
    std::function<void(GuardEvent)> m_onGuard;
    StatementCounts* m_counts;
};

}  // namespace fleet
