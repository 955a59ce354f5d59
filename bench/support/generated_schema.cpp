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

std::string generatedModuleName(const char* prefix, int index) {
    char name[24];
    std::snprintf(name, sizeof name, "%sGen%04d", prefix, index);
    return name;
}

bool olderSchemaLacksTable(int index) { return index % 10 == 9; }

void writeRulesTable(std::ostream& out) {
    out << "CREATE TABLE tbSQLUpdate (descrit varchar(128) NOT NULL PRIMARY KEY, exclude int NULL, "
           "disable int NULL, only_if_empty bit NULL, force_update int NULL, Delete_First int "
           "NULL)\nGO\n";
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

// The older schema lacks the modules of the tables it lacks.
void writeObjects(std::ostream& out, int objectsPerKind, int tables, bool older) {
    for (int i = 0; i < objectsPerKind; ++i) {
        if (older && olderSchemaLacksTable(i % tables)) continue;
        const std::string table = generatedTableName(i % tables);
        const std::string comment = padding(sourceLength(i));
        out << "CREATE FUNCTION dbo." << generatedModuleName("fn", i)
            << " (@valor int)\nRETURNS int\nAS\nBEGIN\n"
            << comment << "    RETURN @valor + " << i << "\nEND\nGO\n";
        out << "CREATE VIEW dbo." << generatedModuleName("vw", i) << "\nAS\n"
            << comment << "SELECT id, c01 FROM dbo." << table << "\nGO\n";
        out << "CREATE PROCEDURE dbo." << generatedModuleName("sp", i) << "\n    @id int\nAS\n"
            << comment << "SELECT * FROM dbo." << table << " WHERE id = @id\nGO\n";
    }
}

// The type of column `c` in the reference, and in the older schema (empty: the column is
// missing there).
const char* columnType(int c, bool older) {
    static const char* const kTypes[] = {"int",           "varchar(50)", "nvarchar(100)",
                                         "decimal(18,4)", "datetime",    "bit",
                                         "money",         "char(10)"};
    if (older) {
        switch (c) {
            case 9:
                return "varchar(30)";
            case 10:
                return "nvarchar(60)";
            case 11:
                return "decimal(12,2)";
            case 14:
                return "";
            default:
                break;
        }
    }
    return kTypes[c % 8];
}

void writeTable(std::ostream& out, int index, const SchemaShape& shape) {
    const std::string table = generatedTableName(index);
    const bool identity = !(shape.older && index % 50 == 7);
    out << "CREATE TABLE " << table << " (id int " << (identity ? "IDENTITY (1, 1) " : "")
        << "NOT NULL PRIMARY KEY";
    for (int c = 1; c < shape.columns; ++c) {
        const std::string type = columnType(c, shape.older);
        if (type.empty()) continue;
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

}  // namespace

void writeGeneratedSchema(std::ostream& out, const SchemaShape& shape) {
    if (shape.rulesTable) {
        writeRulesTable(out);
        out << "INSERT INTO tbSQLUpdate (descrit, exclude, disable, only_if_empty, force_update, "
               "Delete_First) VALUES ('tbNothing', 0, 1, 0, 0, 0)\nGO\n";
    }
    for (int t = 0; t < shape.tables; ++t) {
        if (shape.older && olderSchemaLacksTable(t)) continue;
        writeTable(out, t, shape);
    }
    writeObjects(out, shape.objectsPerKind, shape.tables, shape.older);
}

void writeGeneratedSchema(const std::filesystem::path& file, int tables, int columns,
                          int objectsPerKind) {
    std::ofstream out(file);
    writeGeneratedSchema(out, SchemaShape{tables, columns, objectsPerKind, false, true});
}

}  // namespace benchsupport
