#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/error.h"

namespace testing_support {

// A connection object that forwards every call to `inner`, for code that takes ownership
// of the connections it opens while the caller keeps `inner` and reads it afterwards.
// Closing it closes `inner`.
std::unique_ptr<db::Connection> borrowConnection(db::Connection& inner);

// A scripted db::Connection: records every statement, answers queries from rules
// matched by substring (the most recently added rule first), and fails statements that
// match an error rule. Unmatched queries return an empty record set.
class FakeConnection : public db::Connection {
public:
    using Rows = std::vector<std::vector<db::Value>>;

    // Queries containing `fragment` return these columns and rows.
    void onQuery(std::string fragment, std::vector<db::Column> columns, Rows rows);
    // Statements or queries containing `fragment` throw `error`.
    void failOn(std::string fragment, db::Error error);
    // Runs `action` when a statement containing `fragment` is executed (after recording it).
    void onExecute(std::string fragment, std::function<void()> action);

    long execute(std::string_view sql) override;
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void setCommandTimeout(int) override {}
    // Recorded in the log as "LONG VALUE <table>.<field> WHERE <keyColumn> = <keyLiteral>:
    // <n> bytes" for bytes, ": <text>" for anything else.
    void writeLongValue(std::string_view table, std::string_view keyColumn,
                        std::string_view keyLiteral, std::string_view field,
                        const db::Value& value) override;
    bool transactionLost() const override { return lostTransaction; }
    void beginTransaction() override { log.push_back("BEGIN"); }
    void commitTransaction() override { log.push_back("COMMIT"); }
    void rollbackTransaction() override { log.push_back("ROLLBACK"); }

    void setOpen(bool open) { m_open = open; }

    // A connection object that forwards to this one, for code that takes ownership of
    // the connections it opens: the fake outlives it and keeps its records.
    std::unique_ptr<db::Connection> handle();

    std::vector<std::string> log;       // every statement and query, in order
    std::vector<std::string> executed;  // the statements sent with execute()
    bool lostTransaction = false;       // what transactionLost() answers

private:
    void maybeFail(std::string_view sql) const;

    struct QueryRule {
        std::string fragment;
        std::vector<db::Column> columns;
        Rows rows;
    };
    std::vector<QueryRule> m_queries;
    std::vector<std::pair<std::string, db::Error>> m_failures;
    std::vector<std::pair<std::string, std::function<void()>>> m_actions;
    bool m_open = true;
};

}  // namespace testing_support
