#include "db/odbc/diagnostics.h"

#include <algorithm>

#include "db/odbc/wide_text.h"

namespace db::odbc {
namespace {

// Driver-specific diagnostic fields of SQL Server drivers (not in the unixODBC headers).
constexpr SQLSMALLINT kDiagSsMessageState = -1150;
constexpr SQLSMALLINT kDiagSsSeverity = -1151;

}  // namespace

std::vector<DiagnosticRecord> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                              SeverityField severityField) {
    std::vector<DiagnosticRecord> records;
    WideText message(1024);
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(handleType, handle, i, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        DiagnosticRecord record;
        record.sqlstate = fromWide(state, 5);
        record.nativeError = native;
        const auto shown =
            std::min<std::size_t>(std::max<SQLSMALLINT>(length, 0), message.size() - 1);
        record.message = stripSourcePrefixes(fromWide(message.data(), shown));
        SQLINTEGER severity = 0;
        const SQLSMALLINT field =
            severityField == SeverityField::MessageState ? kDiagSsMessageState : kDiagSsSeverity;
        // Buffer length 0, not SQL_IS_INTEGER: unixODBC 2.3 doubles the length for the wide
        // call, and tdsodbc refuses the negative result.
        if (SQL_SUCCEEDED(SQLGetDiagFieldW(handleType, handle, i, field, &severity, 0, nullptr))) {
            record.severity = severity;
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string stripSourcePrefixes(std::string_view message) {
    while (!message.empty() && message.front() == '[') {
        const auto close = message.find(']');
        if (close == std::string_view::npos) break;
        message.remove_prefix(close + 1);
    }
    return std::string(message);
}

bool isInformational(const DiagnosticRecord& record) { return record.sqlstate.starts_with("01"); }

long adoNumberFor(std::string_view sqlstate, Phase phase) {
    if (sqlstate.starts_with("23")) return errc::kIntegrityViolation;
    if (sqlstate == "42S02") return errc::kObjectNotFound;
    if (sqlstate == "28000") return errc::kLoginFailed;
    // 08xxx: the link to the server failed; HYT00/HYT01: the login timed out.
    if (sqlstate.starts_with("08") || phase == Phase::Connecting) return errc::kUnreachable;
    // A statement that ran past the command time-out.
    if (sqlstate == "HYT00" || sqlstate == "HYT01") return errc::kTimeout;
    return errc::kServerError;
}

Error errorFrom(std::vector<DiagnosticRecord> records, Phase phase, std::string_view fallback) {
    auto withNumber = [&](long native) {
        return std::find_if(records.begin(), records.end(),
                            [&](const DiagnosticRecord& r) { return r.nativeError == native; });
    };
    if (phase == Phase::Connecting) {
        // A refused login carries no SQLSTATE of its own: tdsodbc maps message numbers only
        // once the server has acknowledged a login, so 18456 arrives as 42000, after the
        // 4060 that names the database when that was the reason.
        if (auto database = withNumber(4060); database != records.end()) {
            std::string description = database->message;
            return Error(errc::kUnreachable, std::move(description), std::move(records));
        }
        if (auto login = withNumber(18456); login != records.end()) {
            std::string description = login->message;
            return Error(errc::kLoginFailed, std::move(description), std::move(records));
        }
    }
    // A server message (it has a native number) says more than the driver's own summary.
    // SQL Server follows a refused constraint with "Could not create constraint. See
    // previous errors." (1750) or "Could not drop constraint. ..." (3727), and tdsodbc
    // 1.3.17 ranks that summary, of a higher severity, before its cause (1505 after 1750):
    // a summary is the cause only when the server sent nothing else.
    auto isError = [](const DiagnosticRecord& r) { return !isInformational(r); };
    auto fromServer = [&](const DiagnosticRecord& r) { return isError(r) && r.nativeError != 0; };
    auto isSummary = [](const DiagnosticRecord& r) { return r.nativeError == 1750 || r.nativeError == 3727; };
    auto cause = std::find_if(records.begin(), records.end(),
                              [&](const DiagnosticRecord& r) { return fromServer(r) && !isSummary(r); });
    if (cause == records.end()) cause = std::find_if(records.begin(), records.end(), fromServer);
    if (cause == records.end()) cause = std::find_if(records.begin(), records.end(), isError);
    if (cause == records.end()) cause = records.begin();
    const bool found = cause != records.end();
    const long number = adoNumberFor(found ? cause->sqlstate : std::string_view(), phase);
    std::string description =
        found && !cause->message.empty() ? cause->message : std::string(fallback);
    return Error(number, std::move(description), std::move(records));
}

}  // namespace db::odbc
