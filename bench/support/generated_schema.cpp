#include "generated_schema.h"

#include <cstdio>
#include <fstream>

namespace benchsupport {

std::string generatedTableName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "tbGen%04d", index);
    return name;
}

std::string generatedColumnName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "c%02d", index);
    return name;
}

void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns) {
    static const char* const kTypes[] = {"int",      "varchar(50)", "nvarchar(100)", "decimal(18,4)",
                                         "datetime", "bit",         "money",         "char(10)"};
    std::ofstream out(file);
    out << "CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL PRIMARY KEY, exclude int NULL, "
           "disable int NULL, only_if_empty bit NULL, force_update int NULL, Delete_First int NULL)\nGO\n"
           "INSERT INTO tbSQLUpdate (descrit, exclude, disable, only_if_empty, force_update, "
           "Delete_First) VALUES ('tbNothing', 0, 1, 0, 0, 0)\nGO\n";
    for (int t = 0; t < tables; ++t) {
        const std::string table = generatedTableName(t);
        out << "CREATE TABLE " << table << " (id int IDENTITY (1, 1) NOT NULL PRIMARY KEY";
        for (int c = 1; c < columns; ++c) {
            const std::string type = kTypes[c % 8];
            out << ", " << generatedColumnName(c) << ' ' << type;
            if (c % 4 == 0) {
                const bool text = type[0] == 'v' || type[0] == 'n' || type[0] == 'c';
                out << " NOT NULL DEFAULT (" << (text ? "''" : "0") << ")";
            } else {
                out << " NULL";
            }
        }
        out << ")\nGO\nCREATE INDEX IX_" << table << "_c01 ON " << table << " (c01)\nGO\n";
    }
}

}  // namespace benchsupport
