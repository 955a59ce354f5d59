#include "fake_connection.h"

#include <algorithm>

namespace testing_support {
namespace {

class ForwardingConnection : public db::Connection {
public:
    explicit ForwardingConnection(db::Connection& inner) : m_inner(inner) {}
    long execute(std::string_view sql) override { return m_inner.execute(sql); }
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override {
        return m_inner.open(sql, cursor, lock);
    }
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner.setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn,
                        std::string_view keyLiteral, std::string_view field,
                        const db::Value& value) override {
        m_inner.writeLongValue(table, keyColumn, keyLiteral, field, value);
    }
    void beginTransaction() override { m_inner.beginTransaction(); }
    void commitTransaction() override { m_inner.commitTransaction(); }
    void rollbackTransaction() override { m_inner.rollbackTransaction(); }

private:
    db::Connection& m_inner;
};

}  // namespace

std::unique_ptr<db::Connection> borrowConnection(db::Connection& inner) {
    return std::make_unique<ForwardingConnection>(inner);
}

std::unique_ptr<db::Connection> FakeConnection::handle() { return borrowConnection(*this); }

void FakeConnection::onQuery(std::string fragment, std::vector<db::Column> columns, Rows rows) {
    m_queries.push_back({std::move(fragment), std::move(columns), std::move(rows)});
}

void FakeConnection::failOn(std::string fragment, db::Error error) {
    m_failures.emplace_back(std::move(fragment), std::move(error));
}

void FakeConnection::onExecute(std::string fragment, std::function<void()> action) {
    m_actions.emplace_back(std::move(fragment), std::move(action));
}

void FakeConnection::maybeFail(std::string_view sql) const {
    for (auto it = m_failures.rbegin(); it != m_failures.rend(); ++it) {
        if (sql.find(it->first) != std::string_view::npos) throw it->second;
    }
}

long FakeConnection::execute(std::string_view sql) {
    if (!m_open) throw db::objectClosedError();
    log.emplace_back(sql);
    executed.emplace_back(sql);
    for (auto& [fragment, action] : m_actions) {
        if (sql.find(fragment) != std::string_view::npos && action) action();
    }
    maybeFail(sql);
    return 0;
}

void FakeConnection::writeLongValue(std::string_view table, std::string_view keyColumn,
                                    std::string_view keyLiteral, std::string_view field,
                                    const db::Value& value) {
    if (!m_open) throw db::objectClosedError();
    std::string entry = "LONG VALUE ";
    entry.append(table).append(".").append(field).append(" WHERE ").append(keyColumn);
    entry.append(" = ").append(keyLiteral).append(": ");
    entry += value.kind() == db::Value::Kind::Bytes
                 ? std::to_string(value.asBytes().size()) + " bytes"
                 : value.toText();
    log.push_back(entry);
    maybeFail(entry);
}

db::Recordset FakeConnection::open(std::string_view sql, db::CursorType, db::LockType) {
    if (!m_open) throw db::objectClosedError();
    log.emplace_back(sql);
    maybeFail(sql);
    for (auto it = m_queries.rbegin(); it != m_queries.rend(); ++it) {
        if (sql.find(it->fragment) != std::string_view::npos) {
            return db::Recordset(it->columns, it->rows);
        }
    }
    return db::Recordset(std::vector<db::Column>{}, Rows{});
}

}  // namespace testing_support
