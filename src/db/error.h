#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace db {

// ADO-style error numbers that the operations test. Server errors carry the
// HRESULT the classic provider reported; platform errors carry their small number.
namespace errc {
inline constexpr long kIntegrityViolation = -2147217873;  // SQLSTATE class 23
inline constexpr long kObjectNotFound = -2147217865;      // 42S02: invalid object name
inline constexpr long kLoginFailed = -2147217843;         // 28000
inline constexpr long kUnreachable = -2147467259;         // the server cannot be reached
inline constexpr long kServerError = -2147217900;         // any other server error
inline constexpr long kTimeout = -2147217871;             // HYT00 while running: "Timeout expired"
inline constexpr long kTypeMismatch = 13;
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kItemNotFound = 3265;
inline constexpr long kObjectClosed = 3704;
inline constexpr long kInvalidConnection = 3709;
inline constexpr long kNotSupported = 3251;
inline constexpr long kStoreError = -2147467259;  // a store failure outside any SQL text
}  // namespace errc

// One diagnostic record as the driver or the server reported it.
struct DiagnosticRecord {
    std::string sqlstate;    // five characters, for example "23000"; empty when unknown
    long nativeError = 0;    // the server's own message number (2627, 3621, ...)
    int severity = 0;        // the server's class; 0 when unknown
    std::string message;     // the server's text, without driver prefixes
};

// The one error type of the data-access layer and the root of the system's errors.
// `number` is what the procedures compare; `description` is what they show.
class Error : public std::runtime_error {
public:
    Error(long number, std::string description, std::vector<DiagnosticRecord> records = {});

    long number() const { return m_number; }
    const std::string& description() const { return m_description; }
    const std::vector<DiagnosticRecord>& records() const { return m_records; }

    // SQLSTATE and native number of the first record; empty / 0 without records.
    std::string sqlstate() const;
    long nativeError() const;

private:
    long m_number;
    std::string m_description;
    std::vector<DiagnosticRecord> m_records;
};

// The errors the record set and connection objects raise themselves.
Error objectClosedError();
Error noCurrentRecordError();
Error itemNotFoundError();
Error typeMismatchError();

}  // namespace db
