#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "db/error.h"

namespace db::odbc {

// Where a driver reports the server's severity of a message.
enum class SeverityField {
    // tdsodbc 1.3.17 answers SQL_DIAG_SS_MSGSTATE with the severity, not the state, and has
    // no severity field of its own.
    MessageState,
    // SQL Server's own drivers: SQL_DIAG_SS_SEVERITY.
    Severity,
};

// When a failure happened: while logging in, or while a statement ran.
enum class Phase { Connecting, Running };

// Every diagnostic record of a handle, in the driver's order, messages without prefixes.
std::vector<DiagnosticRecord> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                              SeverityField severityField);

// A message without the bracketed sources that the driver manager and the driver put in
// front of it. Example: "[unixODBC][FreeTDS][SQL Server]Invalid object name 'x'." ->
// "Invalid object name 'x'.".
std::string stripSourcePrefixes(std::string_view message);

// True for a record that only informs (SQLSTATE class 01: PRINT, 5701, 3621).
bool isInformational(const DiagnosticRecord& record);

// The ADO-style number for a failure whose first error record has `sqlstate`.
// Examples: "23000" -> -2147217873, "42S02" -> -2147217865, "28000" -> -2147217843,
// "08S01" -> -2147467259, "42000" -> -2147217900 (-2147467259 while connecting).
long adoNumberFor(std::string_view sqlstate, Phase phase);

// The db::Error for a failure with these records: number and description from the first
// error the server sent that is not a "See previous errors" summary (1750, 3727; else the
// first the server sent, else the driver's first error), every record kept. `fallback`
// describes a failure that left no record.
Error errorFrom(std::vector<DiagnosticRecord> records, Phase phase, std::string_view fallback);

}  // namespace db::odbc
