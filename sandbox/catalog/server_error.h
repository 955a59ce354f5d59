#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/engine.h"

namespace sandbox {

// How far an error reaches: the statement alone (the batch goes on with the next
// statement), or the rest of the batch as well (name resolution, conversions in SQL
// Server 2000 abort the batch).
enum class ErrorScope { Statement, Batch };

// A server error as SQL Server raises it: number, severity, state and the message text,
// plus any informational messages that follow it (2627 is followed by INFO 3621).
// Thrown by the catalog and the statement executors; the batch runner turns it into
// Message and Done items.
class ServerError : public std::runtime_error {
public:
    ServerError(std::int32_t number, std::uint8_t severity, std::string text,
                std::uint8_t state = 1, ErrorScope scope = ErrorScope::Statement)
        : std::runtime_error(text), m_number(number), m_severity(severity), m_state(state),
          m_text(std::move(text)), m_scope(scope) {}

    std::int32_t number() const { return m_number; }
    std::uint8_t severity() const { return m_severity; }
    std::uint8_t state() const { return m_state; }
    const std::string& text() const { return m_text; }
    ErrorScope scope() const { return m_scope; }

    // Adds INFO 3621 "The statement has been terminated." after the error.
    ServerError& terminated() {
        m_followUps.push_back(Message{3621, 1, 0, "The statement has been terminated.", {}, 1});
        return *this;
    }
    // Adds another message after the error: SQL Server follows 1505 with 1750 "Could not
    // create constraint. See previous errors." and each 5074 with the next, then 4922.
    ServerError& followedBy(std::int32_t number, std::uint8_t severity, std::string text, std::uint8_t state = 1) {
        m_followUps.push_back(Message{number, state, severity, std::move(text), {}, 1});
        return *this;
    }
    const std::vector<Message>& followUps() const { return m_followUps; }

    // The line within the batch where the error was found (0: the statement's line).
    int line() const { return m_line; }
    ServerError& atLine(int line) {
        m_line = line;
        return *this;
    }

private:
    std::int32_t m_number;
    std::uint8_t m_severity;
    std::uint8_t m_state;
    std::string m_text;
    ErrorScope m_scope;
    std::vector<Message> m_followUps;
    int m_line = 0;
};

// The error numbers the sandbox raises, named after what they say.
namespace err {
inline constexpr std::int32_t kUnsupported = 40000;     // sandbox-specific: statement not supported
inline constexpr std::int32_t kInvalidColumn = 207;
inline constexpr std::int32_t kInvalidObject = 208;
inline constexpr std::int32_t kAmbiguousColumn = 209;
inline constexpr std::int32_t kSyntaxNear = 102;
inline constexpr std::int32_t kSyntaxNearKeyword = 156;
inline constexpr std::int32_t kUnknownFunction = 195;
inline constexpr std::int32_t kObjectExists = 2714;
inline constexpr std::int32_t kCannotDrop = 3701;
inline constexpr std::int32_t kNullNotAllowed = 515;
inline constexpr std::int32_t kIdentityInsertOff = 544;
inline constexpr std::int32_t kIdentityNeedsColumnList = 8101;
inline constexpr std::int32_t kIdentityInsertOtherTable = 8107;
inline constexpr std::int32_t kNoIdentityProperty = 8106;
inline constexpr std::int32_t kDuplicateKey = 2627;
inline constexpr std::int32_t kDuplicateIndexRow = 2601;
inline constexpr std::int32_t kTruncation = 8152;
inline constexpr std::int32_t kLoginFailed = 18456;
inline constexpr std::int32_t kCannotOpenDatabase = 4060;
}  // namespace err

}  // namespace sandbox
