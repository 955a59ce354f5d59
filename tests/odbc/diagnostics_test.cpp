#include "db/odbc/diagnostics.h"

#include <gtest/gtest.h>

namespace db::odbc {
namespace {

struct NumberCase {
    const char* name;
    const char* sqlstate;
    Phase phase;
    long expected;
};

class AdoNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(AdoNumber, FollowsTheSqlstateOfTheFirstError) {
    EXPECT_EQ(adoNumberFor(GetParam().sqlstate, GetParam().phase), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Diagnostics, AdoNumber,
    ::testing::Values(
        NumberCase{"DuplicateKey", "23000", Phase::Running, errc::kIntegrityViolation},
        NumberCase{"OtherIntegrityClass", "23505", Phase::Running, errc::kIntegrityViolation},
        NumberCase{"InvalidObjectName", "42S02", Phase::Running, errc::kObjectNotFound},
        NumberCase{"InvalidColumnName", "42S22", Phase::Running, errc::kServerError},
        NumberCase{"SyntaxError", "42000", Phase::Running, errc::kServerError},
        NumberCase{"LinkLost", "08S01", Phase::Running, errc::kUnreachable},
        NumberCase{"LoginFailed", "28000", Phase::Connecting, errc::kLoginFailed},
        NumberCase{"NoListener", "08001", Phase::Connecting, errc::kUnreachable},
        NumberCase{"LoginTimeout", "HYT00", Phase::Connecting, errc::kUnreachable},
        NumberCase{"CommandTimeout", "HYT00", Phase::Running, errc::kTimeout},
        NumberCase{"DatabaseRefusedAtLogin", "42000", Phase::Connecting, errc::kUnreachable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Diagnostics, PrefixesOfManagerAndDriverAreDropped) {
    EXPECT_EQ(stripSourcePrefixes("[unixODBC][FreeTDS][SQL Server]Invalid object name 'x'."),
              "Invalid object name 'x'.");
    EXPECT_EQ(stripSourcePrefixes("[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK'."),
              "Violation of PRIMARY KEY constraint 'PK'.");
    EXPECT_EQ(stripSourcePrefixes("Line [1] of the batch"), "Line [1] of the batch");
}

TEST(Diagnostics, DuplicateKeyKeepsTheTerminationMessage) {
    const Error e = errorFrom(
        {{"23000", 2627, 14,
          "Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate key in object 't'."},
         {"01000", 3621, 0, "The statement has been terminated."}},
        Phase::Running, "unused");
    EXPECT_EQ(e.number(), errc::kIntegrityViolation);
    EXPECT_EQ(
        e.description(),
        "Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate key in object 't'.");
    ASSERT_EQ(e.records().size(), 2u);
    EXPECT_EQ(e.records()[1].nativeError, 3621);
}

// A key over duplicated rows as tdsodbc 1.3.17 reports it: the server's 1750 summary ranked
// before its cause.
TEST(Diagnostics, AConstraintSummaryGivesWayToItsCause) {
    const Error key = errorFrom(
        {{"42000", 1750, 16, "Could not create constraint. See previous errors."},
         {"23000", 1505, 14,
          "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID 2. Most "
          "significant primary key is '1'."},
         {"01000", 3621, 0, "The statement has been terminated."}},
        Phase::Running, "unused");
    EXPECT_EQ(key.number(), errc::kIntegrityViolation);
    EXPECT_EQ(key.description(),
              "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID 2. Most "
              "significant primary key is '1'.");
    EXPECT_EQ(key.records().size(), 3u);

    const Error alone = errorFrom({{"42000", 3727, 16, "Could not drop constraint. See previous errors."}},
                                  Phase::Running, "unused");
    EXPECT_EQ(alone.number(), errc::kServerError);
    EXPECT_EQ(alone.description(), "Could not drop constraint. See previous errors.");
}

// Records as tdsodbc 1.3.17 reports a refused login: 18456 unmapped (42000), the
// database's 4060 after it when that was the cause, its own 08001 summary last.
TEST(Diagnostics, RefusedLoginIsDescribedByTheServer) {
    const Error e = errorFrom({{"42000", 18456, 14, "Login failed for user 'sa'."},
                               {"08001", 0, 0, "Unable to connect to data source"}},
                              Phase::Connecting, "unused");
    EXPECT_EQ(e.number(), errc::kLoginFailed);
    EXPECT_EQ(e.description(), "Login failed for user 'sa'.");
    EXPECT_EQ(e.sqlstate(), "42000");
    EXPECT_EQ(e.records().size(), 2u);
}

TEST(Diagnostics, LoginRefusedForItsDatabaseNamesTheDatabase) {
    const Error e = errorFrom(
        {{"42000", 18456, 14, "Login failed for user 'sa'."},
         {"42000", 4060, 11, "Cannot open database requested in login 'nosuch'. Login fails."},
         {"08001", 0, 0, "Unable to connect to data source"}},
        Phase::Connecting, "unused");
    EXPECT_EQ(e.number(), errc::kUnreachable);
    EXPECT_EQ(e.description(), "Cannot open database requested in login 'nosuch'. Login fails.");
}

TEST(Diagnostics, NoListenerIsDescribedByTheDriver) {
    const Error e = errorFrom(
        {{"08S01", 20009, 0, "Unable to connect: Adaptive Server is unavailable or does not exist"},
         {"08001", 0, 0, "Unable to connect to data source"}},
        Phase::Connecting, "unused");
    EXPECT_EQ(e.number(), errc::kUnreachable);
    EXPECT_EQ(e.description(),
              "Unable to connect: Adaptive Server is unavailable or does not exist");
}

TEST(Diagnostics, FailureWithoutRecordsUsesTheFallback) {
    const Error e = errorFrom({}, Phase::Running, "The statement failed without a message.");
    EXPECT_EQ(e.number(), errc::kServerError);
    EXPECT_EQ(e.description(), "The statement failed without a message.");
}

}  // namespace
}  // namespace db::odbc
