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
    const std::string where = !source.port.empty()       ? source.port
                              : !source.instance.empty() ? "\\" + lowerCase(source.instance)
                                                         : "1433";
    return lowerCase(source.host) + "," + where + "/" + lowerCase(database);
}

}  // namespace fleet
