#pragma once

#include <filesystem>
#include <ostream>

namespace benchsupport {

// How much system data a generated reference holds.
struct SystemDataShape {
    int tables = 50;    // every one with a rule row of disable = 0
    int rows = 100000;  // in all tables together
    int images = 200;   // rows of tbGenImagens, each with an image of imageBytes
    int imageBytes = 20000;
    int longTexts = 500;  // rows of tbGenTextos, each with a text of longTextCharacters
    int longTextCharacters = 9000;
    // Rules that set every flag, and among the tables the two that the upgrade applies by
    // rules of their own (see writeGeneratedSystemData).
    bool everyFlag = false;
    // The older copy a target holds: the first half of every table's rows.
    bool halfRows = false;
    // Creates tbSQLUpdate first; false when the script the data joins has created it.
    bool rulesTable = true;
};

// Three tables and a single row: one image of `imageBytes` (20 MB unless set), for
// measuring how much a phase grows the process while it moves one large value.
SystemDataShape oneLargeImage(int imageBytes = 20 * 1000 * 1000);

// A generated reference whose system tables hold `shape`'s rows: tbGenImagens (identity
// key, an image per row), tbGenTextos (a text key, a long text per row), one large table
// tbGenGrande holding most of the ordinary rows (a 60 % share), and the other tables
// sharing the rest, each with the column mix of an application's system tables (numbers,
// money, decimals, dates, bits, char, varchar and nvarchar with apostrophes and nulls).
// Every table has a rule row in tbSQLUpdate with disable = 0; only_if_empty is set on
// tbGenTextos and on every other ordinary table. With `everyFlag` the second and third
// of the other tables are tbSecurityPolicies (code, description and user groups) and
// tbMenu_Main, tbGenTextos takes force_update, and the ordinary tables take turns:
// no flag, only_if_empty, force_update (2: any value but 0 counts), Delete_First.
// Written as a T-SQL script with GO separators, a batch per few hundred rows; streamed,
// so the generator holds one row at a time.
void writeGeneratedSystemData(std::ostream& out, const SystemDataShape& shape);
void writeGeneratedSystemData(const std::filesystem::path& file, const SystemDataShape& shape);

}  // namespace benchsupport
