#include "capture/data_command.h"

#include "db/ado_types.h"
#include "db/text_encoding.h"
#include "store/sql_value.h"

namespace capture {
namespace {

// How the command writes a value, by type code.
enum class Written { Number, Date, Text, Binary, AsIs };

Written writtenAs(int adoType) {
    using namespace db::ado;
    switch (adoType) {
        case kSmallInt:
        case kInteger:
        case kSingle:
        case kDouble:
        case kCurrency:
        case kBoolean:
        case kDecimal:
        case kTinyInt:
        case kUnsignedTinyInt:
        case kUnsignedSmallInt:
        case kUnsignedInt:
        case kBigInt:
        case kUnsignedBigInt:
        case kNumeric:
            return Written::Number;
        case kDate:
        case kDBDate:
        case kDBTime:
        case kDBTimeStamp:
            return Written::Date;
        case kBSTR:
        case kVariant:
        case kGUID:
        case kChar:
        case kWChar:
        case kVarChar:
        case kLongVarChar:
        case kVarWChar:
        case kLongVarWChar:
        case kArray:
            return Written::Text;
        case kBinary:
        case kVarBinary:
        case kLongVarBinary:
            return Written::Binary;
        default:
            return Written::AsIs;
    }
}

bool isWideText(int adoType) {
    return adoType == db::ado::kWChar || adoType == db::ado::kVarWChar || adoType == db::ado::kLongVarWChar;
}

}  // namespace

bool isBinaryType(int adoType) { return writtenAs(adoType) == Written::Binary; }

void appendDataCommandValue(std::string& command, const db::Field& field) {
    switch (writtenAs(field.type())) {
        case Written::Number:
            store::AppendSQLValue(command, field.value(), store::kSqlNumber);
            return;
        case Written::Date:
            store::AppendSQLValue(command, field.value(), store::kSqlDate);
            return;
        case Written::Text:
            // A varchar literal is in the server's code page: a wide value that does not
            // fit it would arrive with question marks in place of its letters.
            store::AppendTransform(command, field.value(),
                                   isWideText(field.type()) && !field.value().isNull() &&
                                       !db::fitsWindows1252(field.value().toText()));
            return;
        case Written::Binary:
            command += kBinaryPlaceholder;
            return;
        case Written::AsIs:
            command += field.value().toText();
            return;
    }
}

bool isLargeField(const db::Field& field) {
    return isBinaryType(field.type()) || field.actualSize() > kLargeFieldBytes;
}

std::string dataCommandHead(std::string_view tableName, const std::vector<db::Column>& columns) {
    std::string head = "INSERT INTO ";
    head.append(store::NameForStatement(tableName)).append(" (");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) head += ", ";
        head += store::NameForStatement(columns[i].name);
    }
    return head + ") VALUES (";
}

std::string withIdentityInsert(std::string_view tableName, std::string_view command) {
    const std::string name = store::NameForStatement(tableName);
    std::string wrapped = "SET IDENTITY_INSERT ";
    wrapped.append(name).append(" ON ").append(command);
    return wrapped.append("  SET IDENTITY_INSERT ").append(name).append(" OFF ");
}

std::string giganticText(const db::Value& value) {
    const std::string text = value.toText();
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return store::MarkApostrophes(
        std::string_view(text).substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace capture
