#include "db/error.h"

namespace db {

Error::Error(long number, std::string description, std::vector<DiagnosticRecord> records)
    : std::runtime_error(description),
      m_number(number),
      m_description(std::move(description)),
      m_records(std::move(records)) {}

std::string Error::sqlstate() const { return m_records.empty() ? std::string() : m_records.front().sqlstate; }

long Error::nativeError() const { return m_records.empty() ? 0 : m_records.front().nativeError; }

Error objectClosedError() {
    return Error(errc::kObjectClosed, "Operation is not allowed when the object is closed.");
}

Error noCurrentRecordError() {
    return Error(errc::kNoCurrentRecord,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested "
                 "operation requires a current record.");
}

Error itemNotFoundError() {
    return Error(errc::kItemNotFound,
                 "Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal.");
}

Error typeMismatchError() { return Error(errc::kTypeMismatch, "Type mismatch"); }

}  // namespace db
