#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "shell/host.h"

namespace benchsupport {

// A Host that shows nothing and answers every question with its default button.
class NullHost : public shell::Host {
public:
    int messageBox(const std::string&, int flags, const std::optional<std::string>&) override;
    void pumpEvents() override {}
    void setClipboard(const std::string&) override {}
    void unload() override {}
};

// Wraps a connection and records every statement sent with execute() (the store
// statements a run sends, to be replayed for the floor).
class RecordingConnection : public db::Connection {
public:
    explicit RecordingConnection(db::Connection& inner) : m_inner(inner) {}
    long execute(std::string_view sql) override;
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override;
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner.setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn, std::string_view keyLiteral,
                        std::string_view field, const db::Value& value) override;
    void beginTransaction() override { m_inner.beginTransaction(); }
    void commitTransaction() override { m_inner.commitTransaction(); }
    void rollbackTransaction() override { m_inner.rollbackTransaction(); }

    std::vector<std::string> statements;
    long queries = 0;

private:
    db::Connection& m_inner;
};

// The batches one connection sent, read from a sandbox trace file; `skipLines` leaves
// out what was traced before the measured run.
struct TracedBatches {
    std::vector<std::string> batches;
    std::size_t lines = 0;
};
TracedBatches readTrace(const std::filesystem::path& file, std::size_t skipLines);

// Sends each batch over one bare ODBC connection (no record set objects: execute, fetch
// every row and column as text, move to the next result) and returns the seconds taken.
double replayOverOdbc(const std::string& connectionString, const std::vector<std::string>& batches);

// Executes the statements on `store` inside one transaction; returns the seconds taken.
double replayOnStore(db::Connection& store, const std::vector<std::string>& statements);

}  // namespace benchsupport
