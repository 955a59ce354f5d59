#include "db/odbc/driver_choice.h"

#include <algorithm>
#include <cstdlib>

#include "db/odbc/handle.h"
#include "db/recordset.h"

namespace db::odbc {

std::optional<std::string> registeredLibrary(std::string_view name) {
    Handle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR description[512];
    SQLCHAR attributes[4096];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    // The attributes come as "Key=value" texts, each ended by a NUL.
    while (SQL_SUCCEEDED(SQLDrivers(environment.get(), direction, description, sizeof(description),
                                    &descriptionLength, attributes, sizeof(attributes),
                                    &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (!equalsIgnoreCase(reinterpret_cast<const char*>(description), name)) continue;
        const auto* p = reinterpret_cast<const char*>(attributes);
        const auto* end = p + std::min<std::size_t>(attributesLength, sizeof(attributes));
        while (p < end && *p) {
            const std::string_view entry(p);
            if (entry.size() > 7 && equalsIgnoreCase(entry.substr(0, 7), "Driver=")) {
                return std::string(entry.substr(7));
            }
            p += entry.size() + 1;
        }
        return std::string();
    }
    return std::nullopt;
}

std::string chooseDriver() {
    if (const char* chosen = std::getenv("SQLUPGRADE_ODBC_DRIVER"); chosen && *chosen)
        return chosen;
    if (registeredLibrary("FreeTDS")) return "FreeTDS";
    return std::string(kDebianTdsOdbcLibrary);
}

}  // namespace db::odbc
