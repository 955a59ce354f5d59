// bench_generate: writes the generated application of a scale as sandbox scripts:
//   reference.sql  the reference database (what a capture reads)
//   identical.sql  a target identical to the reference
//   older.sql      an older target of it
// Load them with sqlupgrade-sandbox --load DB=FILE.sql, for example:
//   bench_generate --scale L10 --out /tmp/l10
//   sqlupgrade-sandbox --data /tmp/l10/data --port 0 --load reference=/tmp/l10/reference.sql
//       --load older=/tmp/l10/older.sql
#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <iostream>

#include "generated_database.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Write the generated application (reference, identical and older target) as "
        "sandbox scripts"};
    std::string scaleName = "L";
    std::filesystem::path out;
    app.add_option("--scale", scaleName,
                   "L (1,000 tables, 100,000 system rows), L10 (a tenth) or L100 (a hundredth)")
        ->check(CLI::IsMember({"L", "L10", "L100"}));
    app.add_option("--out", out, "Folder the scripts are written to (created)")->required();
    CLI11_PARSE(app, argc, argv);
    try {
        using benchsupport::GeneratedVersion;
        const benchsupport::GeneratedScale scale = benchsupport::generatedScale(scaleName);
        std::filesystem::create_directories(out);
        benchsupport::writeGeneratedDatabase(out / "reference.sql", scale,
                                             GeneratedVersion::Reference, false);
        benchsupport::writeGeneratedDatabase(out / "identical.sql", scale,
                                             GeneratedVersion::Reference, true);
        benchsupport::writeGeneratedDatabase(out / "older.sql", scale, GeneratedVersion::Older,
                                             true);
        std::cout << "Wrote reference.sql, identical.sql and older.sql of scale " << scale.name
                  << " to " << out.string() << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "bench_generate: " << e.what() << '\n';
        return 1;
    }
}
