#pragma once

#include <string>

#include "report/error_reporter.h"

namespace registry {

// An error as the classic runtime numbers and describes it.
struct ClassicError {
    long number = 0;
    std::string description;
};

// The exception in flight (call only inside a catch block) as a classic error: a
// db::Error keeps its number and description, running out of memory is 7 "Out of
// memory", anything else 51 "Internal error: " + what it says.
ClassicError currentError();

// How a module reports: report::reportUnexpectedError or report::reportErrorDescription.
using ReportFunction = void (*)(const report::ReportingModule& module, const std::string& procedure,
                                long number, const std::string& description);

// Runs the body of a routine that never shows its errors: an exception from it is
// reported with `reportError` under the module and the routine's name, and the routine
// answers `fallback`. An exception from the reporter itself reaches the caller.
template <class Result, class Body>
Result reportingErrors(ReportFunction reportError, const report::ReportingModule& module,
                       const char* procedure, Result fallback, Body&& body) {
    try {
        return body();
    } catch (...) {
        const ClassicError error = currentError();
        reportError(module, procedure, error.number, error.description);
        return fallback;
    }
}

}  // namespace registry
