#pragma once

#include <string>

namespace fleet {

// `text` with its ASCII letters in lower case, as names are compared without regard to
// case. Example: "Shop\North" -> "shop\north".
std::string lowerCase(std::string text);

// One text per database that two spellings of it share: the host in lower case, the port
// (1433 when neither a port nor an instance is given) or the instance, and the database in
// lower case. Throws db::Error for a server with a bad port.
// Examples: ("DB1", "Shop") and ("db1,1433", "shop") -> "db1,1433/shop";
// ("db1\North", "shop") -> "db1,\north/shop".
std::string databaseIdentity(const std::string& server, const std::string& database);

}  // namespace fleet
