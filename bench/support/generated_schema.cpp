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

namespace {

// A comment that brings an object's source text to about `length` characters.
std::string padding(std::size_t length) {
    std::string comment = "/* ";
    while (comment.size() + 3 < length) comment += "linha d'exemplo do objecto gerado ";
    return comment + " */\n";
}

// Every tenth object is long: 4,100 to 9,000 characters, so two or three chunks.
std::size_t sourceLength(int index) {
    return index % 10 == 0 ? 4100 + static_cast<std::size_t>(index * 997) % 4900 : 200;
}

void writeObjects(std::ofstream& out, int objectsPerKind, int tables) {
    char name[16];
    for (int i = 0; i < objectsPerKind; ++i) {
        const std::string table = generatedTableName(i % tables);
        const std::string comment = padding(sourceLength(i));
        std::snprintf(name, sizeof name, "fnGen%04d", i);
        out << "CREATE FUNCTION dbo." << name << " (@valor int)\nRETURNS int\nAS\nBEGIN\n" << comment
            << "    RETURN @valor + " << i << "\nEND\nGO\n";
        std::snprintf(name, sizeof name, "vwGen%04d", i);
        out << "CREATE VIEW dbo." << name << "\nAS\n" << comment << "SELECT id, c01 FROM dbo." << table
            << "\nGO\n";
        std::snprintf(name, sizeof name, "spGen%04d", i);
        out << "CREATE PROCEDURE dbo." << name << "\n    @id int\nAS\n" << comment
            << "SELECT * FROM dbo." << table << " WHERE id = @id\nGO\n";
    }
}

}  // namespace

void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns, int objectsPerKind) {
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
            if (c % 4 == 0 && c <= 12) {
                const bool text = type[0] == 'v' || type[0] == 'n' || type[0] == 'c';
                out << " NOT NULL DEFAULT (" << (text ? "''" : "0") << ")";
            } else {
                out << " NULL";
            }
        }
        out << ")\nGO\nCREATE INDEX IX_" << table << "_c01 ON " << table << " (c01)\nGO\n"
            << "CREATE INDEX IX_" << table << "_c02 ON " << table << " (c02)\nGO\n";
    }
    writeObjects(out, objectsPerKind, tables);
}

}  // namespace benchsupport
