#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// The public pubs and Northwind install scripts, as scripts/fetch-sample-databases puts
// them in the build folder's sample-databases/ (a CTest fixture runs it before the tests
// that need them).
struct SampleDatabases {
    std::filesystem::path pubs;       // instpubs.sql: creates and fills the pubs database
    std::filesystem::path northwind;  // instnwnd.sql: fills the database it is run in
};

// The two scripts, or nullopt when either is missing (no copy and no network when the
// fixture ran, or the test was started without CTest).
std::optional<SampleDatabases> sampleDatabases();

// Why a test that needs them is skipped, naming the script that fetches them.
// Example: "the pubs and Northwind install scripts are not in build/dev/sample-databases:
// run scripts/fetch-sample-databases build/dev/sample-databases".
std::string sampleDatabasesMissing();

}  // namespace testsupport

// Declares `name` as the sample scripts, or skips the running test saying how to get them.
// Use at the top of a test body (it returns from it when skipping).
#define SQLUPGRADE_REQUIRE_SAMPLE_DATABASES(name)                       \
    const auto name##Found = ::testsupport::sampleDatabases();          \
    if (!name##Found) GTEST_SKIP() << ::testsupport::sampleDatabasesMissing(); \
    const ::testsupport::SampleDatabases& name = *name##Found
