#pragma once

#include <memory>
#include <string>

namespace report {

// Where unexpected errors of the small helper routines go instead of the screen. The
// system only calls Report and relies on nothing it does; a failing reporter throws,
// and that error reaches the caller of the routine that reported.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void Report(const std::string& product, const std::string& suite,
                        const std::string& module, const std::string& procedure,
                        const std::string& message) = 0;
};

// Writes one syslog line per report (ident "sqlupgrade", facility user) holding the
// five texts in order, separated by " | ".
class SyslogErrorReporter : public ErrorReporter {
public:
    void Report(const std::string& product, const std::string& suite, const std::string& module,
                const std::string& procedure, const std::string& message) override;
};

// The reporter every routine reports through: the syslog one unless replaced.
ErrorReporter& errorReporter();

// Replaces the process-wide reporter for the lifetime of this object (tests).
class ScopedErrorReporter {
public:
    explicit ScopedErrorReporter(ErrorReporter& replacement);
    ~ScopedErrorReporter();
    ScopedErrorReporter(const ScopedErrorReporter&) = delete;
    ScopedErrorReporter& operator=(const ScopedErrorReporter&) = delete;

private:
    ErrorReporter* m_previous;
};

// The identity a module reports under.
struct ReportingModule {
    const char* product;
    const char* suite;
    const char* module;
};

inline constexpr ReportingModule kModData{"Orlin Software", "Ferramentas Administrativas", "modData"};
inline constexpr ReportingModule kModCode{"Orlin Seguros Software", "Sinistros_Tarvik", "modCode"};
inline constexpr ReportingModule kModRegistry{"Velto Pallex Software", "Orlin Software Modules",
                                              "modRegistry"};
inline constexpr ReportingModule kModEncriptSerial{"EncriptSerial", "EncriptSerial",
                                                   "modEncriptSerial"};

// Reports an unexpected error of `procedure` when its number is neither 0 nor 3709 and
// its description is not blank, with the message
// "Error Number = <number> | Description = <description>".
// Example: (5, "Invalid procedure call") -> "Error Number = 5 | Description = Invalid procedure call".
void reportUnexpectedError(const ReportingModule& module, const std::string& procedure,
                           long number, const std::string& description);

// Reports an unexpected error of `procedure` with the description alone as the message,
// when its number is neither 0 nor 3709 (a blank description is reported too).
// Example: (5, "Invalid procedure call or argument") -> "Invalid procedure call or argument".
void reportErrorDescription(const ReportingModule& module, const std::string& procedure,
                            long number, const std::string& description);

}  // namespace report
