#pragma once

#include <string_view>

#include "tsql/database.h"

namespace sandbox::tsql {

// Records in sysdepends what a module (view, procedure, function or trigger) reads,
// writes and calls, as SQL Server 2000 does when it creates one: a row for each column it
// uses of each table and view it names (depnumber the column's colid; readobj when it
// reads the object, resultobj when INSERT, UPDATE or DELETE writes it, selall when a *
// takes every column), and a row for each procedure it executes and function it calls
// (depnumber 0). Names that do not resolve to an object now record nothing (SQL Server's
// deferred name resolution: a procedure may name a table created later). The module's
// previous rows are replaced. Text that does not tokenize records nothing.
// Example: CREATE VIEW titleview AS SELECT title, au_ord FROM authors, titles, titleauthor
// WHERE ... -> rows (titleview, titles, colid of title, readobj 1), (titleview,
// titleauthor, colid of au_ord, readobj 1), ...
void recordDependencies(Database& db, int moduleId, std::string_view text, bool quotedIdentifier);

}  // namespace sandbox::tsql
