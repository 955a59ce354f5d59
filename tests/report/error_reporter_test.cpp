#include "report/error_reporter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "recording_reporter.h"

namespace report {
namespace {

using testing_support::RecordingReporter;

TEST(ErrorReporter, ReportsOnlyUnexpectedErrorsWithTheirModuleTexts) {
    RecordingReporter recorder;
    ScopedErrorReporter scope(recorder);
    reportUnexpectedError(kModData, "CheckField", 0, "nothing");
    reportUnexpectedError(kModData, "CheckField", 3709, "closed connection");
    reportUnexpectedError(kModData, "CheckField", 5, "   ");
    reportUnexpectedError(kModCode, "Trtf", 7, "Out of memory");
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0],
              (std::vector<std::string>{"Orlin Seguros Software", "Sinistros_Tarvik", "modCode",
                                        "Trtf", "Error Number = 7 | Description = Out of memory"}));
}

TEST(ErrorReporter, TheSerialModuleReportsTheDescriptionAlone) {
    RecordingReporter recorder;
    ScopedErrorReporter scope(recorder);
    reportErrorDescription(kModEncriptSerial, "DencriptSerial", 3709, "closed");
    reportErrorDescription(kModEncriptSerial, "DencriptSerial", 0, "none");
    reportErrorDescription(kModEncriptSerial, "GetSerialNumber", 9, "");
    reportErrorDescription(kModEncriptSerial, "DencriptSerial", 5, "Invalid procedure call or argument");
    EXPECT_EQ(recorder.reports,
              (std::vector<std::vector<std::string>>{
                  {"EncriptSerial", "EncriptSerial", "modEncriptSerial", "GetSerialNumber", ""},
                  {"EncriptSerial", "EncriptSerial", "modEncriptSerial", "DencriptSerial",
                   "Invalid procedure call or argument"}}));
}

TEST(ErrorReporter, AFailingReporterReachesTheCaller) {
    RecordingReporter recorder;
    recorder.fail = true;
    ScopedErrorReporter scope(recorder);
    EXPECT_THROW(reportUnexpectedError(kModData, "CheckField", 3704, "closed"), std::runtime_error);
}

}  // namespace
}  // namespace report
