#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace structure {

// The name of a table's rebuild table: tbX -> Tmp_tbX.
std::string rebuildTableName(std::string_view table);

// The statements that copy a table's rows into its rebuild table, each sent once, names
// in brackets; the copy inside EXEC('...') is a T-SQL text literal (an apostrophe in a
// name doubled). With wanted state 1, for table tbX with columns [id], [nome]:
//   "SET IDENTITY_INSERT dbo.[Tmp_tbX] ON IF EXISTS(SELECT * FROM [tbX]) EXEC('INSERT INTO
//    [Tmp_tbX]([id], [nome]) SELECT [id], [nome] FROM [tbX]') "   then
//   " SET IDENTITY_INSERT dbo.[Tmp_tbX] OFF "
// with any other state only the IF EXISTS ... EXEC(...) statement.
std::vector<std::string> rebuildCopyStatements(std::string_view table,
                                               std::string_view columnList, int wantedIdentity);

// The statement that gives the rebuild table the table's name:
// tbO'Neil -> "EXECUTE sp_rename 'Tmp_tbO''Neil', 'tbO''Neil'".
std::string rebuildRenameStatement(std::string_view table);

// Switches the identity property of a column on (wanted state 1) or leaves every column
// without it (any other state) by rebuilding the table: Tmp_<table> is created from the
// target's catalog rows, the rows are copied, the old table is dropped and the copy
// renamed, all in one transaction, so that the table is either rebuilt or untouched, rows
// included. QUOTED_IDENTIFIER ON and SERIALIZABLE stay set on the target connection.
// Advances the progress bar once per catalog row. Returns false after showing an
// information box: "Erro: SQLSetIdentity Function VB" when the catalog does not know
// the table, the error description when a statement or query fails (the transaction is
// then rolled back). Statements are not logged.
bool SQLSetIdentity(upgrade::UpgradeRun& run, const std::string& table, const std::string& column,
                    int wantedIdentity);

inline constexpr const char* kSetIdentityUnknownTable = "Erro: SQLSetIdentity Function VB";

// The transaction around a rebuild; the rollback is safe whether or not the server has
// already ended the transaction.
inline constexpr const char* kRebuildBegin = "BEGIN TRANSACTION";
inline constexpr const char* kRebuildCommit = "COMMIT TRANSACTION";
inline constexpr const char* kRebuildRollback = "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION";

}  // namespace structure
