#pragma once

#include <string_view>

#include "sysdata/stored_row.h"
#include "upgrade/upgrade_run.h"

namespace sysdata {

// What a kept command holds in place of a binary value (without its apostrophes).
inline constexpr std::string_view kBinaryPlaceholderText = "BINARYUPDATE1E10414936DE";

// A kept command larger than this (as the store counts its size) may have large fields.
inline constexpr long kLargeCommandSize = 7998;

// Whether a row's large fields are written after its insert: its stored command is larger
// than 7998, or holds the binary placeholder in any letter case.
bool takesLargeFieldStep(const StoredRow& row);

// Writes the large fields of a row just inserted into the target, each value whole, in
// their stored order (tbDados_Gigantic by table, key column and key value). A command that
// holds the placeholder takes every field the binary way: target_image written into the
// column, NULL where it is null, the empty binary value where it has no bytes. Any other
// takes the text way: the column set to null, then target_value written with its "!39!"
// turned back into apostrophes (a null target_value leaves the column null). A row the
// target does not have (its insert failed) is passed over. Abort-on-error: a failure
// throws db::Error. Nothing is logged. Does nothing unless takesLargeFieldStep().
void transferLargeFields(upgrade::UpgradeRun& run, const StoredRow& row);

}  // namespace sysdata
