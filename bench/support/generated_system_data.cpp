#include "generated_system_data.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "generated_schema.h"

namespace benchsupport {
namespace {

constexpr int kRowsPerBatch = 500;

// A small deterministic generator (xorshift), so that every run loads the same data.
class Bytes {
public:
    std::uint8_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return static_cast<std::uint8_t>(m_state >> 24);
    }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ULL;
};

// The flags of a table's rule row (exclude and disable are 0).
struct RuleFlags {
    int onlyIfEmpty = 0;
    int forceUpdate = 0;
    int deleteFirst = 0;
};

// One of the tables after tbGenImagens, tbGenTextos and tbGenGrande, by its index (1 ...).
struct OtherTable {
    std::string name;
    RuleFlags flags;
    bool identity = false;
    bool policies = false;  // the layout of tbSecurityPolicies rather than the ordinary one
};

OtherTable otherTable(int index, bool everyFlag) {
    char name[24];
    std::snprintf(name, sizeof name, "tbGenDados%02d", index);
    OtherTable table{name, {index % 2, 0, 0}, index % 3 == 0, false};
    if (!everyFlag) return table;
    if (index == 1) return {"tbSecurityPolicies", {}, false, true};
    if (index == 2) return {"tbMenu_Main", {}, false, false};
    switch (index % 4) {
        case 0:
            table.flags = {};
            break;
        case 1:
            table.flags = {1, 0, 0};
            break;
        case 2:
            table.flags = {0, 2, 0};
            break;
        default:
            table.flags = {0, 0, 1};
            break;
    }
    return table;
}

RuleFlags textsFlags(bool everyFlag) { return everyFlag ? RuleFlags{0, 1, 0} : RuleFlags{1, 0, 0}; }

// INSERT INTO tbSQLUpdate VALUES ('tbGenTextos', 0, 0, 1, 0, 0)
void writeRules(std::ostream& out, const SystemDataShape& shape, int otherTables) {
    if (shape.rulesTable) writeRulesTable(out);
    auto rule = [&](const std::string& table, const RuleFlags& flags) {
        out << "INSERT INTO tbSQLUpdate VALUES ('" << table << "', 0, 0, " << flags.onlyIfEmpty
            << ", " << flags.forceUpdate << ", " << flags.deleteFirst << ")\n";
    };
    rule("tbGenImagens", {});
    rule("tbGenTextos", textsFlags(shape.everyFlag));
    rule("tbGenGrande", {});
    for (int t = 1; t <= otherTables; ++t) {
        const OtherTable table = otherTable(t, shape.everyFlag);
        rule(table.name, table.flags);
    }
    out << "GO\n";
}

// The rows of a table that the script writes: all, or the first half of them.
int writtenRows(int rows, const SystemDataShape& shape) { return shape.halfRows ? rows / 2 : rows; }

// An ordinary system table: a key (an identity in every third table), texts with
// apostrophes and nulls, numbers, money, a date, a bit.
void writeOrdinaryTable(std::ostream& out, const std::string& table, bool identity, int rows) {
    out << "CREATE TABLE " << table << " (id int " << (identity ? "IDENTITY (1, 1) " : "")
        << "NOT NULL PRIMARY KEY, codigo varchar(20) NOT NULL, descricao varchar(100) NULL, "
           "nome nvarchar(100) NULL, valor decimal(18, 4) NULL, preco money NULL, quantidade int "
           "NULL, activo bit NOT NULL, criado datetime NULL, tipo char(1) NULL, users_groups "
           "varchar(255) NULL)\nGO\n";
    for (int r = 1; r <= rows; ++r) {
        out << "INSERT INTO " << table << " (" << (identity ? "" : "id, ")
            << "codigo, descricao, nome, valor, preco, quantidade, activo, criado, tipo, "
               "users_groups) "
               "VALUES (";
        if (!identity) out << r << ", ";
        out << "'C" << r << "', " << (r % 7 == 0 ? "'Artigo d''exemplo " : "'Artigo ") << r << "', "
            << (r % 5 == 0 ? std::string("NULL") : "N'Opção de menu " + std::to_string(r) + "'")
            << ", " << r % 1000 << "." << r % 10000 << ", " << r % 500 << ".25, " << r << ", "
            << r % 2 << ", "
            << (r % 9 == 0 ? "NULL" : "CONVERT(DATETIME, '2004-03-07 14:05:09', 102)") << ", 'A', "
            << (r % 3 == 0 ? "'Vendas;Compras'" : "''") << ")\n";
        if (r % kRowsPerBatch == 0 || r == rows) out << "GO\n";
    }
}

// The application's security policies: a code, a description (some hide or forbid
// something, which the upgrade treats apart) and the user groups.
void writePolicies(std::ostream& out, int rows) {
    out << "CREATE TABLE tbSecurityPolicies (code int NOT NULL PRIMARY KEY, descrit varchar(255) "
           "NULL, users_groups varchar(255) NULL)\nGO\n";
    static const char* const kDescriptions[] = {"Ocultar o preço de custo do artigo ",
                                                "Não permitir anular o documento ",
                                                "Consultar a conta d''um cliente "};
    for (int r = 1; r <= rows; ++r) {
        out << "INSERT INTO tbSecurityPolicies (code, descrit, users_groups) VALUES (" << r << ", '"
            << kDescriptions[r % 3] << r << "', " << (r % 2 == 0 ? "'Administradores'" : "NULL")
            << ")\n";
        if (r % kRowsPerBatch == 0 || r == rows) out << "GO\n";
    }
}

void writeImages(std::ostream& out, int images, int imageBytes, Bytes& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out << "CREATE TABLE tbGenImagens (id int IDENTITY (1, 1) NOT NULL PRIMARY KEY, nome "
           "varchar(50) NOT NULL, imagem image NULL)\nGO\n";
    std::string hex(2 * static_cast<std::size_t>(imageBytes), '0');
    for (int r = 1; r <= images; ++r) {
        for (std::size_t b = 0; b < hex.size(); b += 2) {
            const std::uint8_t byte = bytes.next();
            hex[b] = kHex[byte >> 4];
            hex[b + 1] = kHex[byte & 0x0F];
        }
        out << "INSERT INTO tbGenImagens (nome, imagem) VALUES ('imagem" << r << ".gif', 0x" << hex
            << ")\n";
        if (r % 20 == 0 || r == images) out << "GO\n";
    }
}

// Long texts under a text key: words, apostrophes and accented letters, as the source of a
// search or a report kept in a system table.
void writeLongTexts(std::ostream& out, int texts, int characters) {
    out << "CREATE TABLE tbGenTextos (chave varchar(20) NOT NULL PRIMARY KEY, descrit "
           "varchar(100) NULL, texto text NULL)\nGO\n";
    static const std::string kPiece =
        "SELECT d.numero FROM tbDocumentos d WHERE d.estado = ''A'' -- ação ";
    static const int kPieceCharacters = 65;  // ' '' ' counts one apostrophe; ç and ã one each
    for (int r = 1; r <= texts; ++r) {
        out << "INSERT INTO tbGenTextos (chave, descrit, texto) VALUES ('T" << r
            << "', 'Pesquisa d''arquivo " << r << "', '";
        int written = 0;
        while (written + kPieceCharacters <= characters) {
            out << kPiece;
            written += kPieceCharacters;
        }
        out << std::string(static_cast<std::size_t>(characters - written), 'x') << "')\n";
        if (r % 50 == 0 || r == texts) out << "GO\n";
    }
}

}  // namespace

void writeGeneratedSystemData(std::ostream& out, const SystemDataShape& shape) {
    const int others = shape.tables - 3;
    writeRules(out, shape, others);
    Bytes bytes;
    writeImages(out, writtenRows(shape.images, shape), shape.imageBytes, bytes);
    writeLongTexts(out, writtenRows(shape.longTexts, shape), shape.longTextCharacters);
    const int ordinaryRows = shape.rows - shape.images - shape.longTexts;
    const int largeRows = ordinaryRows * 6 / 10;
    writeOrdinaryTable(out, "tbGenGrande", false, writtenRows(largeRows, shape));
    const int rest = ordinaryRows - largeRows;
    for (int t = 1; t <= others && rest > 0; ++t) {
        const OtherTable table = otherTable(t, shape.everyFlag);
        const int rows = writtenRows(rest / others + (t <= rest % others ? 1 : 0), shape);
        if (table.policies) {
            writePolicies(out, rows);
        } else {
            writeOrdinaryTable(out, table.name, table.identity, rows);
        }
    }
}

void writeGeneratedSystemData(const std::filesystem::path& file, const SystemDataShape& shape) {
    std::ofstream out(file, std::ios::binary);
    writeGeneratedSystemData(out, shape);
}

SystemDataShape oneLargeImage(int imageBytes) {
    SystemDataShape shape;
    shape.tables = 3;
    shape.rows = 1;
    shape.images = 1;
    shape.imageBytes = imageBytes;
    shape.longTexts = 0;
    return shape;
}

}  // namespace benchsupport
