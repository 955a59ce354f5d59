#include "shell/cli/watched_target.h"

#include <chrono>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "shell/cli/cancel_signals.h"

namespace cli {
namespace {

constexpr std::string_view kRaiseMark = "UPDATE tbVersao SET upgrading = 1";
constexpr std::string_view kReleaseMark = "UPDATE tbVersao SET upgrading = 0";

class WatchedTarget : public db::Connection {
public:
    WatchedTarget(std::unique_ptr<db::Connection> inner, std::shared_ptr<TargetWatch> watch)
        : m_inner(std::move(inner)), m_watch(std::move(watch)) {}

    long execute(std::string_view sql) override {
        const long rows = m_inner->execute(sql);
        if (sql == kRaiseMark) m_watch->markRaised = true;
        if (sql == kReleaseMark) m_watch->markRaised = false;
        return rows;
    }
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override {
        return m_inner->open(sql, cursor, lock);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner->setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn, std::string_view keyLiteral,
                        std::string_view field, const db::Value& value) override {
        m_inner->writeLongValue(table, keyColumn, keyLiteral, field, value);
    }
    bool transactionLost() const override { return m_inner->transactionLost(); }
    void beginTransaction() override { m_inner->beginTransaction(); }
    void commitTransaction() override { m_inner->commitTransaction(); }
    void rollbackTransaction() override { m_inner->rollbackTransaction(); }

private:
    std::unique_ptr<db::Connection> m_inner;
    std::shared_ptr<TargetWatch> m_watch;
};

}  // namespace

std::unique_ptr<db::Connection> watchedTarget(std::unique_ptr<db::Connection> inner,
                                              std::shared_ptr<TargetWatch> watch) {
    watch->opened = true;
    return std::make_unique<WatchedTarget>(std::move(inner), std::move(watch));
}

std::string releaseMarkNow(const TargetWatch& watch) {
    const std::string database = watch.settings.database;
    if (!watch.markRaised) {
        return "sqlupgrade-cli: upgrade ended at once; " + database +
               " was not marked as being upgraded by this run.";
    }
    const std::string stays = ": " + database +
                              " stays marked as being upgraded (upgrading in tbVersao); check it, then "
                              "run again with --answer yes.";
    db::ServerSettings settings = watch.settings;
    settings.connectTimeoutSeconds = 2;
    settings.commandTimeoutSeconds = 2;
    try {
        return withinTimeLimit(
            [settings, database] {
                db::odbc::openServer(settings)->execute(kReleaseMark);
                return "sqlupgrade-cli: upgrade ended at once; the upgrading mark in tbVersao of " + database +
                       " was released.";
            },
            std::chrono::seconds(2),
            "sqlupgrade-cli: upgrade ended at once; the upgrading mark could not be released within two "
            "seconds" + stays);
    } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const db::Error*>(&e);
        return "sqlupgrade-cli: upgrade ended at once; the upgrading mark could not be released (" +
               (error ? error->description() : std::string(e.what())) + ")" + stays;
    }
}

}  // namespace cli
