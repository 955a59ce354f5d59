#include "store_validation_rule.h"

#include <sqlite3.h>

#include <stdexcept>

namespace testsupport {

void refuseDadosRows(const std::filesystem::path& storeFile, const std::string& when,
                     const std::string& message) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(storeFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + storeFile.string());
    }
    std::string quoted;
    for (char c : message) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    const std::string sql = "CREATE TRIGGER refuse_dados_rows BEFORE INSERT ON tbDados WHEN " +
                            when + " BEGIN SELECT RAISE(ABORT, '" + quoted + "'); END";
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string text = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot add the rule: " + text);
}

}  // namespace testsupport
