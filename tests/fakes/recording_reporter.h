#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "report/error_reporter.h"

namespace testing_support {

// An error reporter that records every report as its five texts, or throws when told
// to fail (as an external reporter that cannot be created would).
struct RecordingReporter : report::ErrorReporter {
    std::vector<std::vector<std::string>> reports;
    bool fail = false;
    void Report(const std::string& product, const std::string& suite, const std::string& module,
                const std::string& procedure, const std::string& message) override {
        if (fail) throw std::runtime_error("reporter unavailable");
        reports.push_back({product, suite, module, procedure, message});
    }
};

}  // namespace testing_support
