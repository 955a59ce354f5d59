#include "report/error_reporter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace report {
namespace {

struct RecordingReporter : ErrorReporter {
    std::vector<std::vector<std::string>> reports;
    bool fail = false;
    void Report(const std::string& product, const std::string& suite, const std::string& module,
                const std::string& procedure, const std::string& message) override {
        if (fail) throw std::runtime_error("reporter unavailable");
        reports.push_back({product, suite, module, procedure, message});
    }
};

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

TEST(ErrorReporter, AFailingReporterReachesTheCaller) {
    RecordingReporter recorder;
    recorder.fail = true;
    ScopedErrorReporter scope(recorder);
    EXPECT_THROW(reportUnexpectedError(kModData, "CheckField", 3704, "closed"), std::runtime_error);
}

}  // namespace
}  // namespace report
