#include "sample_databases.h"

namespace testsupport {
namespace {

std::filesystem::path folder() { return std::filesystem::path(SQLUPGRADE_SAMPLE_DATABASES_DIR); }

}  // namespace

std::optional<SampleDatabases> sampleDatabases() {
    SampleDatabases found{folder() / "instpubs.sql", folder() / "instnwnd.sql"};
    std::error_code ec;
    for (const auto& file : {found.pubs, found.northwind})
        if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) == 0) return std::nullopt;
    return found;
}

std::string sampleDatabasesMissing() {
    return "the pubs and Northwind install scripts are not in " + folder().string() +
           ": run scripts/fetch-sample-databases " + folder().string();
}

}  // namespace testsupport
