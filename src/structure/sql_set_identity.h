#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace structure {

// The statements that copy a table's rows into its rebuild table Tmp_<table>, each sent
// once. With wanted state 1, for table tbX with columns id and nome:
//   "SET IDENTITY_INSERT dbo.Tmp_tbX ON IF EXISTS(SELECT * FROM tbX) EXEC('INSERT INTO
//    Tmp_tbX(id, nome) SELECT id, nome FROM tbX') "   then
//   " SET IDENTITY_INSERT dbo.Tmp_tbX OFF "
// with any other state only the IF EXISTS ... EXEC(...) statement.
std::vector<std::string> rebuildCopyStatements(std::string_view table,
                                               std::string_view columnList, int wantedIdentity);

// Switches the identity property of a column on (wanted state 1) or leaves every column
// without it (any other state) by rebuilding the table: Tmp_<table> is created from the
// target's catalog rows, the rows are copied, the old table is dropped and the copy
// renamed. QUOTED_IDENTIFIER ON and SERIALIZABLE stay set on the target connection.
// Advances the progress bar once per catalog row. Returns false after showing an
// information box: "Erro: SQLSetIdentity Function VB" when the catalog does not know
// the table, the error description when a statement or query fails (whatever the
// earlier steps created is left behind). Statements are not logged.
bool SQLSetIdentity(upgrade::UpgradeRun& run, const std::string& table, const std::string& column,
                    int wantedIdentity);

inline constexpr const char* kSetIdentityUnknownTable = "Erro: SQLSetIdentity Function VB";

}  // namespace structure
