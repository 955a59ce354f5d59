#pragma once

#include <string>

#include "structure/column_definition.h"
#include "upgrade/upgrade_run.h"

namespace structure {

// Thrown when the identity rebuild failed; it has shown its own message, so the table
// structure update returns False without another one.
struct IdentityChangeFailed {};

// Whether a column that exists in the target is altered: its type, length, precision,
// scale or nullability differs, or it is a char, varchar, nchar or nvarchar column
// whose target collation is not Latin1_General_CI_AI. A Null on either side of a
// comparison never counts as a difference. The identity property is not compared here.
bool needsAlteration(const ColumnDefinition& stored, const ColumnDefinition& target);

// The ALTER COLUMN statement for a stored column; `synthesizedDefault` is set when the
// column becomes NOT NULL without a stored default (its target default is then dropped).
// Example: NOT NULL varchar(80) nome of tbX, no default ->
// "ALTER TABLE [tbX] ALTER COLUMN  [nome] [varchar] (80)  COLLATE Latin1_General_CI_AI  NOT NULL "
struct AlterStatement {
    std::string text;
    bool synthesizedDefault = false;
};
AlterStatement alterColumnStatement(const ColumnDefinition& stored);

// Brings one existing column in line with its stored definition: the IX index drops
// (ask-on-error, logged), ALTER COLUMN (notify-on-error; its log insert aborts on error),
// the target default's drop when the column became NOT NULL without a stored default
// (abort-on-error, not logged), then the identity rebuild when the identity property
// differs. Throws db::Error and upgrade::AnsweredNo for the failure exit and
// IdentityChangeFailed when the rebuild failed.
void alterExistingColumn(upgrade::UpgradeRun& run, const ColumnDefinition& stored,
                         const ColumnDefinition& target);

}  // namespace structure
