#include "db/odbc/handle.h"

#include "db/error.h"

namespace db::odbc {

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : m_type(type) {
    const SQLRETURN rc = SQLAllocHandle(type, parent, &m_handle);
    if (!SQL_SUCCEEDED(rc)) {
        m_handle = nullptr;
        throw Error(errc::kUnreachable, "The ODBC driver manager could not allocate a handle.");
    }
}

void Handle::reset() noexcept {
    if (m_handle != nullptr) {
        SQLFreeHandle(m_type, m_handle);
        m_handle = nullptr;
    }
}

}  // namespace db::odbc
