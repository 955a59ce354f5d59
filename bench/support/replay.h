#pragma once

#include <sql.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "app/host.h"

namespace benchsupport {

// A Host that shows nothing, answers every question with its default button, counts the
// boxes it was asked to show and keeps the text of the last one.
class NullHost : public app::Host {
public:
    int messageBox(const std::string&, int flags, const std::optional<std::string>&) override;
    void pumpEvents() override {}
    void setClipboard(const std::string&) override {}
    void unload() override {}
    int messages = 0;
    std::string lastText;
};

// A long value a run wrote through a connection, kept by its size only (replayed with as
// many zero bytes: the time does not depend on the bytes).
struct LongValueWrite {
    std::string table;
    std::string keyColumn;
    std::string keyLiteral;
    std::string field;
    std::size_t bytes = 0;
};

// What one round of a whole-run benchmark took and sent.
struct Measurement {
    double wallSeconds = 0;
    double floorSeconds = 0;
    std::size_t serverBatches = 0;
    std::size_t storeStatements = 0;
    double peakMegabytes = 0;      // the process's peak resident memory during the run
    double residentMegabytes = 0;  // its resident memory just before the run
};

// Runs `round` (given its number) three times and keeps the best wall time and the best
// floor, so that a burst of load elsewhere on the machine does not decide the ratio; each
// round's figures are printed under `name`.
Measurement bestOfThree(const char* name, const std::function<Measurement(int)>& round);

// One statement a run sent through a connection.
struct SentStatement {
    std::string sql;
    bool query = false;                       // opened as a record set rather than executed
    std::optional<LongValueWrite> longValue;  // a long value written instead (sql empty)
};

// Wraps a connection and records everything sent through it, in order (the store
// statements of a run, to be replayed for the floor).
class RecordingConnection : public db::Connection {
public:
    explicit RecordingConnection(db::Connection& inner) : m_inner(inner) {}
    // Records into `spillFile` instead of `sent`, so that a run measured for its memory
    // is not charged for the recording; readSpilled() gives the statements back.
    RecordingConnection(db::Connection& inner, const std::filesystem::path& spillFile);
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

    std::vector<SentStatement> sent;  // empty when spilled
    std::size_t count = 0;            // statements recorded, spilled or not

private:
    void record(SentStatement statement);

    db::Connection& m_inner;
    std::unique_ptr<std::ofstream> m_spill;
};

// The statements a RecordingConnection spilled into `spillFile`, in order.
std::vector<SentStatement> readSpilled(const std::filesystem::path& spillFile);

// The batches of the first connection that appears in a sandbox trace file after
// `byteOffset` (what the measured run sent; later lines of other connections are left
// out).
std::vector<std::string> readTrace(const std::filesystem::path& file, std::uintmax_t byteOffset);

// The floor's client: one bare ODBC connection that sends each batch with SQLExecDirect
// and reads every result to its end, value by value as text.
class BareOdbc {
public:
    explicit BareOdbc(const std::string& connectionString);
    ~BareOdbc();
    BareOdbc(const BareOdbc&) = delete;
    BareOdbc& operator=(const BareOdbc&) = delete;

    void run(const std::string& batch);

private:
    SQLHENV m_env = SQL_NULL_HANDLE;
    SQLHDBC m_dbc = SQL_NULL_HANDLE;
    SQLHSTMT m_stmt = SQL_NULL_HANDLE;
    std::vector<char> m_buffer = std::vector<char>(65536);
};

// Sends the batches over one BareOdbc connection; returns the seconds taken (connecting
// not included).
double replayOverOdbc(const std::string& connectionString, const std::vector<std::string>& batches);

// Sends the recorded statements to `store` again (one transaction when asked); returns
// the seconds taken.
double replayOnStore(db::Connection& store, const std::vector<SentStatement>& sent, bool inTransaction);

// The floor of a whole command-line run: what a bare program pays for the same work,
// connecting included, then opening the store at `storePath`, its statements, and closing
// it (which makes them durable, as the product's close does); returns the seconds taken.
double replayWholeRun(const std::string& connectionString, const std::vector<std::string>& batches,
                      const std::filesystem::path& storePath, const std::vector<SentStatement>& sent,
                      bool inTransaction);

}  // namespace benchsupport
