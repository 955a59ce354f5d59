#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"

namespace db {

// ADO cursor and lock types, with ADO's numbers.
enum class CursorType { ForwardOnly = 0, Keyset = 1, Dynamic = 2, Static = 3 };
enum class LockType { ReadOnly = 1, Pessimistic = 2, Optimistic = 3, BatchOptimistic = 4 };

// What a result column is: its name, its ADO type code and its declared size.
struct Column {
    std::string name;
    int type = 0;              // ADO type code (db::ado)
    long definedSize = 0;      // characters for text types, bytes otherwise
    int precision = 0;
    int numericScale = 0;
    bool nullable = true;
};

// Size in bytes of a value as the server counts it for a column of the given ADO type:
// one byte per character for single-byte text, two per UTF-16 unit for wide text,
// the byte length for binary types, the fixed width otherwise; 0 for null.
// Example: adVarWChar "ação" -> 8, adVarChar "ação" -> 4.
long actualSizeOf(int adoType, const Value& value);

// One field of the current record: a view into its record set, valid until the
// record set moves or closes.
class Field {
public:
    Field(const Column& column, const Value& value) : m_column(&column), m_value(&value) {}

    const std::string& name() const { return m_column->name; }
    const Value& value() const { return *m_value; }
    int type() const { return m_column->type; }
    long definedSize() const { return m_column->definedSize; }
    long actualSize() const { return actualSizeOf(m_column->type, *m_value); }
    int precision() const { return m_column->precision; }
    int numericScale() const { return m_column->numericScale; }

    // Part of a long value: `length` bytes of text or binary from `offset` on (fewer at
    // the end, an empty value past it). Null stays null.
    Value chunk(std::size_t offset, std::size_t length) const;

private:
    const Column* m_column;
    const Value* m_value;
};

// Delivers the rows of a forward-only record set one at a time.
class RowSource {
public:
    virtual ~RowSource() = default;
    // Fills `row` with the next row; false at the end.
    virtual bool next(std::vector<Value>& row) = 0;
};

// A client-side record set. A static one holds every row and knows its count; a
// forward-only one reads its rows from a RowSource as it moves and reports a count of -1.
// Every operation on a closed record set throws db::Error 3704; reading a field with
// no current record throws 3021; an unknown field name throws 3265.
class Recordset {
public:
    Recordset() = default;  // closed
    Recordset(std::vector<Column> columns, std::vector<std::vector<Value>> rows);
    Recordset(std::vector<Column> columns, std::unique_ptr<RowSource> source);

    Recordset(Recordset&&) noexcept = default;
    Recordset& operator=(Recordset&&) noexcept = default;

    bool isOpen() const { return m_open; }
    void close();

    bool eof() const;
    bool bof() const;
    void moveFirst();
    void moveLast();
    void moveNext();
    long recordCount() const;

    std::size_t fieldCount() const;
    Field field(std::size_t index) const;
    Field field(std::string_view name) const;  // names compared without regard to case
    // The current record's value of a field moved out of the record set, which holds null
    // there afterwards: a long value kept beyond the record set without a copy.
    Value takeValue(std::size_t index);
    std::optional<std::size_t> fieldIndex(std::string_view name) const;
    const std::vector<Column>& columns() const;

private:
    void requireOpen() const;
    void fetchCurrent();

    bool m_open = false;
    std::vector<Column> m_columns;
    std::vector<std::vector<Value>> m_rows;  // every row (static) or the current one
    std::unique_ptr<RowSource> m_source;      // set for forward-only
    std::size_t m_position = 0;
    bool m_streamEnd = false;
    bool m_beforeFirst = false;
};

// The exact record count of a static record set, read the classic way: moved to the last
// and back to the first record first. 0 for an empty one.
long countRecords(Recordset& recordset);

// ASCII case-insensitive comparison, as field and table names are matched.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace db
