#include "sysdata/large_field_transfer.h"

#include <algorithm>
#include <optional>

#include "db/error.h"
#include "store/sql_value.h"
#include "sysdata/row_execution.h"
#include "sysdata/system_data_statements.h"

namespace sysdata {
namespace {

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool holdsPlaceholder(std::string_view command) {
    return std::search(command.begin(), command.end(), kBinaryPlaceholderText.begin(),
                       kBinaryPlaceholderText.end(), [](char text, char placeholder) {
                           return upperAscii(text) == placeholder;
                       }) != command.end();
}

// One large field of a row: what the target's column is to hold and how it gets there.
struct LargeField {
    std::string name;
    db::Value value;  // target_image (binary way) or target_value (text way), as stored
};

// The binary way: the bytes (none, or NULL) written over what the insert left in the
// column, the placeholder text.
void writeBinary(upgrade::UpgradeRun& run, const StoredRow& row, const std::string& key,
                 const LargeField& field) {
    if (!targetHasRow(run, fieldProbeQuery(row.tabela, field.name, row.pkeyCampo, key))) return;
    run.target.writeLongValue(row.tabela, row.pkeyCampo, key, field.name, field.value);
}

// The text way: the column emptied to null first, then the text written with its
// apostrophes back.
void writeText(upgrade::UpgradeRun& run, const StoredRow& row, const std::string& key,
               const LargeField& field) {
    run.target.execute(clearFieldStatement(row.tabela, field.name, row.pkeyCampo, key));
    if (!targetHasRow(run, rowProbeQuery(row.tabela, row.pkeyCampo, key))) return;
    if (field.value.isNull()) return;
    run.target.writeLongValue(row.tabela, row.pkeyCampo, key, field.name,
                              db::Value::text(store::UnmarkApostrophes(field.value.toText())));
}

}  // namespace

bool takesLargeFieldStep(const StoredRow& row) {
    return row.comandoSize > kLargeCommandSize || holdsPlaceholder(row.command());
}

void transferLargeFields(upgrade::UpgradeRun& run, const StoredRow& row) {
    if (!takesLargeFieldStep(row)) return;
    const bool binary = holdsPlaceholder(row.command());
    const std::string key = row.keyLiteral();
    db::Recordset fields =
        run.store.open(largeFieldsQuery(row.tabela, row.pkeyCampo, row.pkeyValue),
                       db::CursorType::Static, db::LockType::ReadOnly);
    for (; !fields.eof(); fields.moveNext()) {
        const std::optional<std::size_t> valueIndex =
            fields.fieldIndex(binary ? "target_image" : "target_value");
        if (!valueIndex) throw db::itemNotFoundError();
        // The value is moved out of the cursor, so that a large one is held once.
        const LargeField field{fields.field("target_field").value().toText(),
                               fields.takeValue(*valueIndex)};
        if (binary) {
            writeBinary(run, row, key, field);
        } else {
            writeText(run, row, key, field);
        }
    }
    fields.close();
}

}  // namespace sysdata
