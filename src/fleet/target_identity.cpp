#include "fleet/target_identity.h"

#include <algorithm>

#include "db/odbc/connection_string.h"

namespace fleet {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

std::string databaseIdentity(const std::string& server, const std::string& database) {
    const db::odbc::DataSource source = db::odbc::parseDataSource(server);
    // Appended piece by piece: GCC 12 at -O3 misreads a literal put before a string.
    std::string identity = lowerCase(source.host);
    identity += ',';
    if (!source.port.empty()) {
        identity += source.port;
    } else if (!source.instance.empty()) {
        identity += '\\';
        identity += lowerCase(source.instance);
    } else {
        identity += "1433";
    }
    identity += '/';
    identity += lowerCase(database);
    return identity;
}

}  // namespace fleet
