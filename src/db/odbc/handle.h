#pragma once

#include <sql.h>
#include <sqlext.h>

#include <utility>

namespace db::odbc {

// Owns one ODBC handle (environment, connection or statement) and frees it on destruction.
// Move-only; a moved-from or default-constructed Handle owns nothing.
class Handle {
public:
    Handle() = default;
    // Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for an environment).
    // Throws db::Error with the parent's diagnostics when the driver refuses.
    Handle(SQLSMALLINT type, SQLHANDLE parent);
    ~Handle() { reset(); }

    Handle(Handle&& other) noexcept
        : m_type(other.m_type), m_handle(std::exchange(other.m_handle, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            m_type = other.m_type;
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE get() const { return m_handle; }
    SQLSMALLINT type() const { return m_type; }
    explicit operator bool() const { return m_handle != nullptr; }

    // Frees the handle now. For a statement with unread results, tdsodbc sends the server
    // an attention (cancel) and waits for its acknowledgement.
    void reset() noexcept;

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = nullptr;
};

}  // namespace db::odbc
