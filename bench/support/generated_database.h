#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "generated_schema.h"
#include "generated_system_data.h"

namespace benchsupport {

// A size of the generated application: its schema and its system data.
struct GeneratedScale {
    std::string name;
    SchemaShape schema;
    SystemDataShape data;
};

// "L": 1,000 tables x 20 columns (1,000 keys, 2,000 IX indexes, 3,000 defaults), 100
// functions, 100 views and 100 procedures (a tenth of them over 4,000 characters), and
// 50 system tables holding 100,000 rows, among them 200 images of 20 KB and 500 texts of
// 9,000 characters. "L10": a tenth of each (the columns per table, the image and text
// sizes stay); "L100": a hundredth (10 tables, one module of each kind, 1,000 system rows
// in 5 tables, 2 images and 5 long texts). Throws std::invalid_argument for another name.
GeneratedScale generatedScale(std::string_view name);

// Which database of the scale a script builds.
enum class GeneratedVersion {
    Reference,  // what the capture reads; an identical target is the same script
    Older,      // an older target: the older schema (SchemaShape::older) and half the rows
};

// The whole database as a sandbox script (T-SQL batches separated by GO lines):
//   - tbSQLUpdate with a rule for every flag: the system tables' rules (disable = 0 with
//     only_if_empty, force_update or Delete_First, see writeGeneratedSystemData), rules
//     that exclude tables (index 98, 198, ... past those the views read) and views and
//     procedures (index 3, 23, ... and 13, 33, ...) from the capture, and rules whose
//     disable (1, or null) keeps a table's rows out whatever its other flags say;
//   - the application schema;
//   - tbVersao (versao, upgrading) holding '2.0' in the reference and '1.0' in the older
//     target, with a rule of its own;
//   - the system tables and their rows.
// A target (`targetCollation`) first takes the collation the upgrade gives a database
// (Latin1_General_CI_AI), so that the collation step alters no column of it; the
// reference keeps the server's.
void writeGeneratedDatabase(std::ostream& out, const GeneratedScale& scale,
                            GeneratedVersion version, bool targetCollation);
void writeGeneratedDatabase(const std::filesystem::path& file, const GeneratedScale& scale,
                            GeneratedVersion version, bool targetCollation);

}  // namespace benchsupport
