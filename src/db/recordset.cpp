#include "db/recordset.h"

#include <algorithm>
#include <utility>

#include "db/ado_types.h"
#include "db/error.h"

namespace db {
namespace {

long utf8CodePoints(const std::string& s) {
    long n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

long utf16Units(const std::string& s) {
    long n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) n += (c >= 0xF0) ? 2 : 1;  // 4-byte sequences need a pair
    }
    return n;
}

Error backwardFetchError() {
    return Error(-2147217884, "Rowset does not support fetching backward.");
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

long actualSizeOf(int adoType, const Value& value) {
    if (value.isNull()) return 0;
    switch (adoType) {
        case ado::kChar:
        case ado::kVarChar:
        case ado::kLongVarChar:
            return value.kind() == Value::Kind::Text ? utf8CodePoints(value.asText())
                                                     : static_cast<long>(value.toText().size());
        case ado::kWChar:
        case ado::kVarWChar:
        case ado::kLongVarWChar:
        case ado::kBSTR:
            return 2 * utf16Units(value.toText());
        case ado::kBinary:
        case ado::kVarBinary:
        case ado::kLongVarBinary:
            return value.kind() == Value::Kind::Bytes ? static_cast<long>(value.asBytes().size())
                                                      : static_cast<long>(value.toText().size());
        case ado::kTinyInt:
        case ado::kUnsignedTinyInt:
            return 1;
        case ado::kSmallInt:
        case ado::kBoolean:
            return 2;
        case ado::kInteger:
        case ado::kSingle:
            return 4;
        case ado::kBigInt:
        case ado::kDouble:
        case ado::kCurrency:
        case ado::kDate:
            return 8;
        case ado::kGUID:
        case ado::kDBTimeStamp:
        case ado::kVariant:
            return 16;
        case ado::kNumeric:
        case ado::kDecimal:
            return 19;
        default:
            return static_cast<long>(value.toText().size());
    }
}

Value Field::chunk(std::size_t offset, std::size_t length) const {
    const Value& v = *m_value;
    switch (v.kind()) {
        case Value::Kind::Null:
            return v;
        case Value::Kind::Bytes: {
            const Bytes& b = v.asBytes();
            if (offset >= b.size()) return Value::bytes({});
            const std::size_t n = std::min(length, b.size() - offset);
            return Value::bytes(Bytes(b.begin() + static_cast<std::ptrdiff_t>(offset),
                                      b.begin() + static_cast<std::ptrdiff_t>(offset + n)));
        }
        default: {
            const std::string t = v.toText();
            if (offset >= t.size()) return Value::text({});
            return Value::text(t.substr(offset, length));
        }
    }
}

long countRecords(Recordset& recordset) {
    if (recordset.eof()) return 0;
    recordset.moveLast();
    recordset.moveFirst();
    return recordset.recordCount();
}

Recordset::Recordset(std::vector<Column> columns, std::vector<std::vector<Value>> rows)
    : m_open(true), m_columns(std::move(columns)), m_rows(std::move(rows)) {}

Recordset::Recordset(std::vector<Column> columns, std::unique_ptr<RowSource> source)
    : m_open(true), m_columns(std::move(columns)), m_source(std::move(source)) {
    m_rows.resize(1);
    fetchCurrent();
}

void Recordset::fetchCurrent() {
    if (!m_source->next(m_rows[0])) {
        m_streamEnd = true;
        m_rows[0].clear();
    }
}

void Recordset::close() {
    requireOpen();
    m_open = false;
    m_rows.clear();
    m_source.reset();
}

void Recordset::requireOpen() const {
    if (!m_open) throw objectClosedError();
}

bool Recordset::eof() const {
    requireOpen();
    return m_source ? m_streamEnd : m_position >= m_rows.size();
}

bool Recordset::bof() const {
    requireOpen();
    if (m_source) return m_streamEnd && m_position == 0;
    return m_rows.empty() || m_beforeFirst;
}

void Recordset::moveFirst() {
    requireOpen();
    if (m_source) {
        if (m_position != 0) throw backwardFetchError();
        return;
    }
    m_position = 0;
    m_beforeFirst = false;
}

void Recordset::moveLast() {
    requireOpen();
    if (m_source) throw backwardFetchError();
    m_position = m_rows.empty() ? 0 : m_rows.size() - 1;
    m_beforeFirst = false;
}

void Recordset::moveNext() {
    requireOpen();
    if (eof()) throw noCurrentRecordError();
    ++m_position;
    if (m_source) fetchCurrent();
}

long Recordset::recordCount() const {
    requireOpen();
    return m_source ? -1 : static_cast<long>(m_rows.size());
}

std::size_t Recordset::fieldCount() const {
    requireOpen();
    return m_columns.size();
}

const std::vector<Column>& Recordset::columns() const {
    requireOpen();
    return m_columns;
}

std::optional<std::size_t> Recordset::fieldIndex(std::string_view name) const {
    requireOpen();
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (equalsIgnoreCase(m_columns[i].name, name)) return i;
    }
    return std::nullopt;
}

Field Recordset::field(std::size_t index) const {
    requireOpen();
    if (index >= m_columns.size()) throw itemNotFoundError();
    if (eof()) throw noCurrentRecordError();
    const std::vector<Value>& row = m_source ? m_rows[0] : m_rows[m_position];
    return Field(m_columns[index], row[index]);
}

Value Recordset::takeValue(std::size_t index) {
    requireOpen();
    if (index >= m_columns.size()) throw itemNotFoundError();
    if (eof()) throw noCurrentRecordError();
    std::vector<Value>& row = m_source ? m_rows[0] : m_rows[m_position];
    return row[index].take();
}

Field Recordset::field(std::string_view name) const {
    auto index = fieldIndex(name);
    if (!index) throw itemNotFoundError();
    return field(*index);
}

}  // namespace db
