#include "generated_database.h"

#include <fstream>
#include <stdexcept>

namespace benchsupport {
namespace {

// The rules about the application schema rather than the system data.
// Example: INSERT INTO tbSQLUpdate VALUES ('vwGen0003', 1, 1, 0, 0, 0)
void writeStructureRules(std::ostream& out, const SchemaShape& schema) {
    auto rule = [&out](const std::string& name, const char* flags) {
        out << "INSERT INTO tbSQLUpdate VALUES ('" << name << "', " << flags << ")\n";
    };
    for (int t = 98; t < schema.tables; t += 100) {
        if (t >= schema.objectsPerKind) rule(generatedTableName(t), "1, 1, 0, 0, 0");
    }
    for (int i = 0; i < schema.objectsPerKind; ++i) {
        if (i % 20 == 3) rule(generatedModuleName("vw", i), "1, 1, 0, 0, 0");
        if (i % 20 == 13) rule(generatedModuleName("sp", i), "1, 1, 0, 0, 0");
    }
    rule(generatedTableName(1), "0, 1, 1, 1, 1");
    rule(generatedTableName(2), "0, NULL, 0, 1, 0");
    out << "GO\n";
}

// CREATE TABLE tbVersao (versao varchar(20) NOT NULL PRIMARY KEY, upgrading int NULL) and
// its one row.
void writeVersion(std::ostream& out, GeneratedVersion version) {
    out << "CREATE TABLE tbVersao (versao varchar(20) NOT NULL PRIMARY KEY, upgrading int "
           "NULL)\nGO\n"
        << "INSERT INTO tbVersao (versao, upgrading) VALUES ('"
        << (version == GeneratedVersion::Reference ? "2.0" : "1.0") << "', 0)\n"
        << "INSERT INTO tbSQLUpdate VALUES ('tbVersao', 0, 0, 0, 0, 0)\nGO\n";
}

}  // namespace

GeneratedScale generatedScale(std::string_view name) {
    if (name == "L") return {"L", SchemaShape{1000, 20, 100, false, false}, SystemDataShape{}};
    if (name == "L10") {
        SystemDataShape data;
        data.tables = 5;
        data.rows = 10000;
        data.images = 20;
        data.longTexts = 50;
        return {"L10", SchemaShape{100, 20, 10, false, false}, data};
    }
    if (name == "L100") {
        SystemDataShape data;
        data.tables = 5;
        data.rows = 1000;
        data.images = 2;
        data.longTexts = 5;
        return {"L100", SchemaShape{10, 20, 1, false, false}, data};
    }
    throw std::invalid_argument("unknown scale '" + std::string(name) + "' (L, L10 or L100)");
}

void writeGeneratedDatabase(std::ostream& out, const GeneratedScale& scale,
                            GeneratedVersion version, bool targetCollation) {
    if (targetCollation) {
        out << "DECLARE @database varchar(128)\nSET @database = DB_NAME()\n"
               "EXEC ('ALTER DATABASE [' + @database + '] COLLATE Latin1_General_CI_AI')\nGO\n";
    }
    const bool older = version == GeneratedVersion::Older;
    writeRulesTable(out);
    writeStructureRules(out, scale.schema);
    SchemaShape schema = scale.schema;
    schema.older = older;
    schema.rulesTable = false;
    writeGeneratedSchema(out, schema);
    writeVersion(out, version);
    SystemDataShape data = scale.data;
    data.everyFlag = true;
    data.halfRows = older;
    data.rulesTable = false;
    writeGeneratedSystemData(out, data);
}

void writeGeneratedDatabase(const std::filesystem::path& file, const GeneratedScale& scale,
                            GeneratedVersion version, bool targetCollation) {
    std::ofstream out(file, std::ios::binary);
    writeGeneratedDatabase(out, scale, version, targetCollation);
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace benchsupport
