#include "report/error_reporter.h"

#include <syslog.h>

namespace report {
namespace {

ErrorReporter* g_current = nullptr;

bool isBlank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

void SyslogErrorReporter::Report(const std::string& product, const std::string& suite,
                                 const std::string& module, const std::string& procedure,
                                 const std::string& message) {
    openlog("sqlupgrade", LOG_PID, LOG_USER);
    syslog(LOG_ERR, "%s | %s | %s | %s | %s", product.c_str(), suite.c_str(), module.c_str(),
           procedure.c_str(), message.c_str());
    closelog();
}

ErrorReporter& errorReporter() {
    static SyslogErrorReporter fallback;
    return g_current ? *g_current : fallback;
}

ScopedErrorReporter::ScopedErrorReporter(ErrorReporter& replacement) : m_previous(g_current) {
    g_current = &replacement;
}

ScopedErrorReporter::~ScopedErrorReporter() { g_current = m_previous; }

void reportUnexpectedError(const ReportingModule& module, const std::string& procedure,
                           long number, const std::string& description) {
    if (number == 0 || number == 3709 || isBlank(description)) return;
    errorReporter().Report(module.product, module.suite, module.module, procedure,
                           "Error Number = " + std::to_string(number) +
                               " | Description = " + description);
}

void reportErrorDescription(const ReportingModule& module, const std::string& procedure,
                            long number, const std::string& description) {
    if (number == 0 || number == 3709) return;
    errorReporter().Report(module.product, module.suite, module.module, procedure, description);
}

}  // namespace report
