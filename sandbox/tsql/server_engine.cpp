#include "tsql/server_engine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/batch_runner.h"
#include "tsql/database.h"
#include "tsql/transaction.h"

namespace sandbox {

ScriptError::ScriptError(std::string file_, int batch_, int line_, std::string message_)
    : std::runtime_error(file_ + ": batch " + std::to_string(batch_) + ", line " + std::to_string(line_) + ": " +
                         message_),
      file(std::move(file_)), batch(batch_), line(line_), message(std::move(message_)) {}

namespace tsql {

std::string decodeScript(const std::string& bytes) {
    auto u = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) return bytes.substr(3);
    if (bytes.size() >= 2 && u(0) == 0xFF && u(1) == 0xFE)
        return utf16leToUtf8(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    if (bytes.size() >= 2 && u(0) == 0xFE && u(1) == 0xFF) {
        std::string swapped = bytes.substr(2);
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
        return utf16leToUtf8(reinterpret_cast<const std::uint8_t*>(swapped.data()), swapped.size());
    }
    return bytes;
}

std::vector<Batch> splitBatches(const std::string& script) {
    std::vector<Batch> batches;
    Batch current;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= script.size()) {
        std::size_t end = script.find('\n', pos);
        bool last = end == std::string::npos;
        if (last) end = script.size();
        std::string line = script.substr(pos, end - pos);
        ++lineNumber;
        std::string trimmed = line;
        while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
        std::size_t lead = trimmed.find_first_not_of(" \t");
        trimmed = lead == std::string::npos ? std::string() : trimmed.substr(lead);
        if (iequals(trimmed, "GO")) {
            if (current.text.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
            current = Batch{};
            current.firstLine = lineNumber + 1;
        } else {
            if (current.text.empty() && line.find_first_not_of(" \t\r") == std::string::npos && !last) {
                current.firstLine = lineNumber + 1;  // blank lines before a batch are not part of it
            } else {
                // Line ends stay as written: a CR LF inside a text constant is part of it.
                current.text += line;
                if (!last) current.text += "\n";
            }
        }
        if (last) break;
        pos = end + 1;
    }
    if (current.text.find_first_not_of(" \t\r\n") != std::string::npos) {
        while (!current.text.empty() && (current.text.back() == '\n' || current.text.back() == '\r' || current.text.back() == ' '))
            current.text.pop_back();
        batches.push_back(current);
    }
    return batches;
}

namespace {

bool validDatabaseName(const std::string& name) {
    if (name.empty() || name.size() > 123) return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '_' || c == '-' || c == '$' || c == '@' || c == '#')) return false;
    return true;
}

class EngineImpl;

// A client connection: its state, and the engine that runs its batches.
class SessionImpl : public Session {
public:
    SessionImpl(EngineImpl& engine, SessionState state) : m_engine(engine), m_state(std::move(state)) {}
    ~SessionImpl() override;
    Response executeBatch(std::string_view sqlUtf8) override;
    std::string currentDatabase() const override { return m_state.database; }
    SessionState& state() { return m_state; }

private:
    EngineImpl& m_engine;
    SessionState m_state;
};

class EngineImpl : public ServerEngine, public DatabaseDirectory {
public:
    explicit EngineImpl(const EngineOptions& options) : m_options(options) {
        std::filesystem::create_directories(options.dataDir);
        open("master");
        for (const auto& entry : std::filesystem::directory_iterator(options.dataDir)) {
            if (entry.path().extension() != ".sqlite") continue;
            std::string name = entry.path().stem().string();
            if (!find(name)) open(name);
        }
    }

    ~EngineImpl() override { closeAll(); }

    LoginResult login(const LoginRequest& request) override {
        std::lock_guard lock(m_mutex);
        LoginResult result;
        auto failed = [&]() {
            result.messages.push_back(Message{err::kLoginFailed, 1, 14, "Login failed for user '" + request.user + "'.", {}, 1});
            return std::move(result);
        };
        if (m_closed) return failed();
        std::string defaultDatabase = "master";
        if (iequals(request.user, "sa")) {
            if (m_options.saPassword && request.password != *m_options.saPassword) return failed();
        } else {
            Database* master = find("master");
            sqlite::Statement q(master->handle(), "SELECT password, dbname FROM \"~logins\" WHERE name = ?");
            q.bind(1, request.user);
            if (!q.step()) return failed();
            std::string password = q.isNull(0) ? std::string() : q.text(0);
            if (password != request.password) return failed();
            if (!q.isNull(1) && find(q.text(1))) defaultDatabase = q.text(1);
        }
        std::string wanted = request.database.empty() ? defaultDatabase : request.database;
        Database* db = find(wanted);
        if (!db) {
            result.messages.push_back(Message{err::kCannotOpenDatabase, 1, 11,
                                              "Cannot open database requested in login '" + wanted + "'. Login fails.", {}, 1});
            return failed();
        }
        SessionState state;
        state.database = db->name();
        state.login = request.user;
        state.spid = m_nextSpid++;
        if (!request.odbcDefaults) {
            // DB-Library defaults: ANSI options off, 4 KB TEXTSIZE.
            state.options.ansiNulls = false;
            state.options.quotedIdentifier = false;
            state.options.ansiNullDefault = false;
            state.options.ansiPadding = false;
            state.options.ansiWarnings = false;
            state.options.concatNullYieldsNull = false;
            state.options.textSize = 4096;
        }
        result.database = db->name();
        result.session = std::make_unique<SessionImpl>(*this, std::move(state));
        return result;
    }

    Response run(SessionState& state, std::string_view sql) {
        std::unique_lock lock(m_mutex);
        if (!waitForTransactions(lock, state)) {
            Response r;
            r.items.emplace_back(Message{1222, 1, 16, "Lock request time out period exceeded.", {}, 1});
            r.items.emplace_back(Done{false, 0, true});
            return r;
        }
        if (m_closed) {
            Response r;
            r.items.emplace_back(Message{err::kUnsupported, 1, 16, "The sandbox server is shutting down.", {}, 1});
            r.items.emplace_back(Done{false, 0, true});
            return r;
        }
        Response response = runBatch(*this, state, sql);
        noteTransaction(state);
        return response;
    }

    // A session goes away: its open transaction is rolled back, as when a client's
    // connection drops.
    void endSession(SessionState& state) {
        std::lock_guard lock(m_mutex);
        if (!m_closed && state.transaction.count > 0) rollBackTransaction(*this, state);
        noteTransaction(state);
    }

    void loadScript(const std::string& database, const std::filesystem::path& file) override {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw ScriptError(file.string(), 0, 0, "cannot read the file");
        std::stringstream buffer;
        buffer << in.rdbuf();
        std::string script = decodeScript(buffer.str());
        {
            std::lock_guard lock(m_mutex);
            if (!find(database)) create(database, {});
        }
        LoginRequest request;
        request.user = "sa";
        request.password = m_options.saPassword.value_or("");
        request.database = database;
        LoginResult login = this->login(request);
        if (!login.session) throw ScriptError(file.string(), 0, 0, login.messages.empty() ? "login failed" : login.messages.back().text);
        auto& session = static_cast<SessionImpl&>(*login.session);
        int number = 0;
        for (const auto& batch : splitBatches(script)) {
            ++number;
            Response response = run(session.state(), batch.text);
            for (const auto& item : response.items) {
                if (const auto* m = std::get_if<Message>(&item); m && m->severity > 10)
                    throw ScriptError(file.string(), number, batch.firstLine + m->line - 1,
                                      "Msg " + std::to_string(m->number) + ", Level " + std::to_string(m->severity) + ": " + m->text);
            }
        }
    }

    void shutdown() override {
        std::lock_guard lock(m_mutex);
        closeAll();
        m_closed = true;
        m_transactionEnded.notify_all();
    }

    Database* find(const std::string& name) override {
        auto found = m_databases.find(lower(name));
        return found == m_databases.end() ? nullptr : found->second.get();
    }

    Database& create(const std::string& name, const std::string& collation) override {
        if (find(name)) throw ServerError(1801, 16, "Database '" + name + "' already exists.");
        if (!validDatabaseName(name))
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not accept the database name '" + name + "'.");
        return open(name, collation);
    }

    std::vector<std::pair<std::string, std::string>> collations() override {
        std::vector<std::pair<std::string, std::string>> all;
        for (const auto& [name, db] : m_databases) all.emplace_back(db->name(), db->collation());
        return all;
    }

    std::filesystem::path dataFolder() const override { return m_options.dataDir; }
    bool windowsPaths() const override { return m_options.windowsPaths; }

private:
    // Sessions share each database's SQLite connection, so while one session has a
    // transaction open, another one's batch waits for it to end, as it would wait for
    // that transaction's locks on SQL Server, at most its LOCK_TIMEOUT. False when that
    // time ran out.
    bool waitForTransactions(std::unique_lock<std::mutex>& lock, const SessionState& state) {
        auto free = [&] { return m_closed || !m_transactionOwner || m_transactionOwner == &state; };
        const std::int64_t timeout = state.options.lockTimeoutMs;
        if (timeout < 0) {
            m_transactionEnded.wait(lock, free);
            return true;
        }
        return m_transactionEnded.wait_for(lock, std::chrono::milliseconds(timeout), free);
    }

    // Records whether the session now holds a transaction open.
    void noteTransaction(const SessionState& state) {
        if (state.transaction.count > 0) {
            m_transactionOwner = &state;
        } else if (m_transactionOwner == &state) {
            m_transactionOwner = nullptr;
            m_transactionEnded.notify_all();
        }
    }

    Database& open(const std::string& name, const std::string& collation = {}) {
        auto path = m_options.dataDir / (name + ".sqlite");
        auto db = std::make_unique<Database>(name, path, m_options.windowsPaths, iequals(name, "master"), collation);
        Database& ref = *db;
        m_databases[lower(ref.name())] = std::move(db);
        return ref;
    }

    void closeAll() {
        for (auto& [name, db] : m_databases) db->checkpoint();
        m_databases.clear();
    }

    EngineOptions m_options;
    std::mutex m_mutex;
    std::condition_variable m_transactionEnded;
    const SessionState* m_transactionOwner = nullptr;  // the session with a transaction open
    std::map<std::string, std::unique_ptr<Database>> m_databases;
    int m_nextSpid = 51;
    bool m_closed = false;
};

Response SessionImpl::executeBatch(std::string_view sqlUtf8) { return m_engine.run(m_state, sqlUtf8); }

SessionImpl::~SessionImpl() { m_engine.endSession(m_state); }

}  // namespace
}  // namespace tsql

std::unique_ptr<ServerEngine> makeEngine(const EngineOptions& options) {
    return std::make_unique<tsql::EngineImpl>(options);
}

}  // namespace sandbox
