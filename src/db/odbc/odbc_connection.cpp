#include "db/odbc/odbc_connection.h"

#include <algorithm>
#include <cstdint>

#include "db/error.h"
#include "db/odbc/batch.h"
#include "db/odbc/connection_string.h"
#include "db/odbc/driver_choice.h"
#include "db/odbc/session.h"
#include "db/odbc/streaming_rows.h"
#include "db/odbc/tsql_text.h"
#include "db/odbc/wide_text.h"

namespace db::odbc {
namespace {

// TDS 7.1 is what SQL Server 2000 speaks, and every later version still accepts it; it
// keeps tdsodbc on plain SQL batches for transactions and off the 7.2+ types.
constexpr std::string_view kTdsVersion = "7.1";

// The keys that make the unixODBC driver manager load a library, read a file or set
// attributes; only our own Driver may appear.
constexpr std::string_view kDriverManagerKeys[] = {"DSN",       "FILEDSN",    "SAVEFILE",
                                                   "DMEnvAttr", "DMConnAttr", "DMStmtAttr"};

bool isFreeTds(const std::string& driver) {
    if (isFreeTdsDriver(driver, {})) return true;
    if (driver.find('/') != std::string::npos) return false;
    const auto library = registeredLibrary(driver);
    return library && isFreeTdsDriver(driver, *library);
}

std::vector<Attribute> attributesFor(const ServerSettings& settings, const std::string& driver,
                                     bool freeTds) {
    const DataSource source = parseDataSource(settings.server);
    std::vector<Attribute> attributes{{"Driver", driver}};
    if (freeTds) {
        // tdsodbc refuses "host:port" and mangles the server name sent at login for
        // "host,port"; it wants the port apart.
        attributes.emplace_back(
            "Server", source.instance.empty() ? source.host : source.host + "\\" + source.instance);
        if (!source.port.empty()) attributes.emplace_back("Port", source.port);
    } else {
        std::string server = source.host;
        if (!source.instance.empty()) server += "\\" + source.instance;
        if (!source.port.empty()) server += "," + source.port;
        attributes.emplace_back("Server", server);
    }
    attributes.emplace_back("Database", settings.database);
    attributes.emplace_back("UID", settings.user);
    attributes.emplace_back("PWD", settings.password);
    if (freeTds) {
        attributes.emplace_back("TDS_Version", std::string(kTdsVersion));
        attributes.emplace_back("ClientCharset", "UTF-8");
    }
    return attributes;
}

bool sameAttributes(std::vector<Attribute> a, std::vector<Attribute> b) {
    auto byKey = [](const Attribute& x, const Attribute& y) { return x.first < y.first; };
    std::sort(a.begin(), a.end(), byKey);
    std::sort(b.begin(), b.end(), byKey);
    return a == b;
}

// The setting an attribute comes from, for the message.
std::string settingNamed(const std::string& key) {
    if (key == "PWD") return "password";
    if (key == "UID") return "login";
    if (key == "Database") return "database";
    if (key == "Driver") return "driver";
    return "server";
}

// True when both the driver manager and the driver read `attributes` back from their
// joined text unchanged, and the driver manager finds no key of its own but our Driver.
bool readsBackSafely(const std::vector<Attribute>& attributes, bool freeTds) {
    const std::string text =
        joinAttributes(attributes, freeTds ? BraceDialect::FreeTds : BraceDialect::Standard);
    const std::vector<Attribute> byManager = parseAsDriverManager(text);
    const std::vector<Attribute> byDriver = freeTds ? parseAsFreeTds(text) : byManager;
    if (!sameAttributes(byDriver, attributes)) return false;
    const std::string& driver = attributes.front().second;
    return std::none_of(byManager.begin(), byManager.end(), [&](const Attribute& attribute) {
        const auto& [key, value] = attribute;
        const bool managerKey =
            std::any_of(std::begin(kDriverManagerKeys), std::end(kDriverManagerKeys),
                        [&](std::string_view k) { return equalsIgnoreCase(k, key); });
        return managerKey || (equalsIgnoreCase(key, "Driver") && value != driver);
    });
}

// The error for settings that cannot be passed safely, naming the first setting that
// cannot pass even on its own.
Error unsafeSettings(const std::vector<Attribute>& attributes, bool freeTds) {
    for (const Attribute& attribute : attributes) {
        std::vector<Attribute> alone{attributes.front()};
        if (&attribute != &attributes.front()) alone.push_back(attribute);
        if (!readsBackSafely(alone, freeTds)) {
            return Error(errc::kUnreachable,
                         "The " + settingNamed(attribute.first) +
                             " holds characters that the ODBC driver cannot be given safely.");
        }
    }
    return Error(errc::kUnreachable,
                 "The connection settings hold characters that the ODBC driver cannot be given "
                 "safely.");
}

const char* const kClosedConnection =
    "The connection cannot be used to perform this operation. It is either closed or invalid "
    "in this context.";

// An open connection to SQL Server. Owns the shared session; record sets still streaming
// keep it alive after the connection object goes.
class OdbcConnection final : public Connection {
public:
    explicit OdbcConnection(std::shared_ptr<Session> session) : m_session(std::move(session)) {}
    ~OdbcConnection() override { m_session->disconnect(); }

    long execute(std::string_view sql) override {
        Batch batch(requireOpen(), sql);
        batch.finish();
        if (batch.failed()) throw batch.error();
        return batch.lastRowCount();
    }

    Recordset open(std::string_view sql, CursorType cursor, LockType /*lock*/) override {
        auto batch = std::make_unique<Batch>(requireOpen(), sql);
        if (!batch->nextRowSet() || batch->failed()) {
            // No row set (the ADO record set stays closed), or an error before the first.
            batch->finish();
            if (batch->failed()) throw batch->error();
            return Recordset();
        }
        std::vector<Column> columns = batch->columns();
        if (cursor == CursorType::ForwardOnly) {
            return Recordset(std::move(columns), std::make_unique<StreamingRows>(std::move(batch)));
        }
        std::vector<std::vector<Value>> rows;
        std::vector<Value> row;
        while (batch->fetch(row)) rows.push_back(std::move(row));
        batch->finish();
        if (batch->failed()) throw batch->error();
        return Recordset(std::move(columns), std::move(rows));
    }

    void close() override { m_session->disconnect(); }

    bool isOpen() const override { return m_session->connected(); }

    void setCommandTimeout(int seconds) override {
        m_session->setCommandTimeoutSeconds(std::max(seconds, 0));
    }

    void writeLongValue(std::string_view table, std::string_view keyColumn,
                        std::string_view keyLiteral, std::string_view field,
                        const Value& value) override {
        const long affected = execute(longValueUpdate(table, keyColumn, keyLiteral, field, value));
        // The row was read a moment ago; not finding it must not pass for success.
        if (affected == 0) {
            throw Error(-2147217864,
                        "Row cannot be located for updating. Some values may have been changed "
                        "since it was last read.");
        }
    }

private:
    const std::shared_ptr<Session>& requireOpen() const {
        if (!m_session->connected()) throw Error(errc::kInvalidConnection, kClosedConnection);
        return m_session;
    }

    std::shared_ptr<Session> m_session;
};

}  // namespace

std::string connectionString(const ServerSettings& settings, const std::string& driver) {
    const bool freeTds = isFreeTds(driver);
    const std::vector<Attribute> attributes = attributesFor(settings, driver, freeTds);
    if (!readsBackSafely(attributes, freeTds)) throw unsafeSettings(attributes, freeTds);
    return joinAttributes(attributes, freeTds ? BraceDialect::FreeTds : BraceDialect::Standard);
}

std::unique_ptr<Connection> openServer(const ServerSettings& settings) {
    const std::string driver = chooseDriver();
    const std::string text = connectionString(settings, driver);
    const SeverityField severityField =
        isFreeTds(driver) ? SeverityField::MessageState : SeverityField::Severity;

    Handle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    Handle connection(SQL_HANDLE_DBC, environment.get());
    if (settings.connectTimeoutSeconds > 0) {
        SQLSetConnectAttr(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(
                              static_cast<std::uintptr_t>(settings.connectTimeoutSeconds)),
                          SQL_IS_UINTEGER);
    }
    auto session =
        std::make_shared<Session>(std::move(environment), std::move(connection), severityField);
    session->setCommandTimeoutSeconds(std::max(settings.commandTimeoutSeconds, 0));

    // The wide entry point: tdsodbc reads the narrow connection string as Latin-1 whatever
    // the ClientCharset, so a non-ASCII login or password would arrive mangled.
    WideText wide = toWide(text);
    wide.push_back(0);
    const SQLRETURN rc = SQLDriverConnectW(session->handle(), nullptr, wide.data(),
                                           static_cast<SQLSMALLINT>(wide.size() - 1), nullptr, 0,
                                           nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        throw errorFrom(readDiagnostics(SQL_HANDLE_DBC, session->handle(), severityField),
                        Phase::Connecting, "The server could not be reached.");
    }
    session->markConnected();
    return std::make_unique<OdbcConnection>(std::move(session));
}

}  // namespace db::odbc
