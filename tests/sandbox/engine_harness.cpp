#include "engine_harness.h"

#include <atomic>
#include <stdexcept>
#include <unistd.h>

namespace sandbox::testing {

EngineHarness::EngineHarness(std::string database, bool odbcDefaults) : m_database(std::move(database)) {
    static std::atomic<int> counter{0};
    m_dir = std::filesystem::temp_directory_path() /
            ("sandbox-engine-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_dir);
    m_engine = makeEngine(EngineOptions{m_dir, std::nullopt, false});
    if (m_database != "master") {
        auto master = login("master");
        auto r = master->executeBatch("CREATE DATABASE " + m_database);
        (void)r;
    }
    m_session = login(m_database, odbcDefaults);
}

EngineHarness::~EngineHarness() {
    m_session.reset();
    if (m_engine) m_engine->shutdown();
    m_engine.reset();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::unique_ptr<Session> EngineHarness::login(const std::string& database, bool odbcDefaults) {
    LoginRequest request;
    request.user = "sa";
    request.password = "secret";
    request.database = database;
    request.odbcDefaults = odbcDefaults;
    auto result = m_engine->login(request);
    if (!result.session) throw std::runtime_error("login failed: " + (result.messages.empty() ? "" : result.messages.back().text));
    return std::move(result.session);
}

void EngineHarness::restart(std::optional<std::string> saPassword, bool windowsPaths) {
    m_session.reset();
    m_engine->shutdown();
    m_engine.reset();
    m_engine = makeEngine(EngineOptions{m_dir, std::move(saPassword), windowsPaths});
    LoginRequest request;
    request.user = "sa";
    request.password = saPassword ? *saPassword : "x";
    request.database = m_database;
    auto result = m_engine->login(request);
    m_session = std::move(result.session);
}

Response EngineHarness::run(const std::string& sql) { return m_session->executeBatch(sql); }

std::string valueText(const db::Value& v) {
    if (v.isNull()) return "NULL";
    if (v.kind() == db::Value::Kind::Bytes) {
        static const char* hex = "0123456789ABCDEF";
        std::string s = "0x";
        for (auto b : v.asBytes()) {
            s += hex[b >> 4];
            s += hex[b & 15];
        }
        return s;
    }
    if (v.kind() == db::Value::Kind::DateTime) {
        const auto& d = v.asDateTime();
        char buf[40];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year, d.month, d.day, d.hour, d.minute,
                      d.second, d.millisecond);
        return buf;
    }
    if (v.kind() == db::Value::Kind::Boolean) return v.asBoolean() ? "1" : "0";
    return v.toText();
}

std::vector<std::vector<std::string>> rowsOf(const Response& response) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& item : response.items)
        if (const auto* rs = std::get_if<RowSet>(&item))
            for (const auto& row : rs->rows) {
                std::vector<std::string> texts;
                for (const auto& v : row) texts.push_back(valueText(v));
                rows.push_back(std::move(texts));
            }
    return rows;
}

std::string describe(const Response& response) {
    std::string out;
    for (const auto& item : response.items)
        if (const auto* m = std::get_if<Message>(&item)) out += std::to_string(m->number) + ": " + m->text + "\n";
    return out;
}

std::string messageLines(const Response& response) {
    std::string out;
    for (const auto& item : response.items)
        if (const auto* m = std::get_if<Message>(&item))
            out += std::to_string(m->number) + "/" + std::to_string(m->severity) + ": " + m->text + "\n";
    return out;
}

std::vector<std::vector<std::string>> EngineHarness::rows(const std::string& sql) {
    Response r = run(sql);
    const RowSet* last = nullptr;
    for (const auto& item : r.items) {
        if (const auto* m = std::get_if<Message>(&item); m && m->severity > 10)
            throw std::runtime_error("batch failed: " + describe(r) + "\n" + sql);
        if (const auto* rs = std::get_if<RowSet>(&item)) last = rs;
    }
    std::vector<std::vector<std::string>> out;
    if (!last) return out;
    for (const auto& row : last->rows) {
        std::vector<std::string> texts;
        for (const auto& v : row) texts.push_back(valueText(v));
        out.push_back(std::move(texts));
    }
    return out;
}

Message EngineHarness::firstError(const std::string& sql) {
    Response r = run(sql);
    for (const auto& item : r.items)
        if (const auto* m = std::get_if<Message>(&item); m && m->severity > 10) return *m;
    return Message{0, 0, 0, {}, {}, 0};
}

}  // namespace sandbox::testing
