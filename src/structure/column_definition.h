#pragma once

#include <string>

#include "db/recordset.h"
#include "db/value.h"

namespace structure {

// One column as a tbObjects row or a target catalog row describes it. The numbers stay
// values as the record set delivered them, so that a Null can be told apart (a
// comparison with a Null never counts as a difference).
struct ColumnDefinition {
    std::string tabela;
    std::string campo;
    std::string tipo;     // base type name, compared exactly as stored; empty for a Null
    db::Value tamanho;    // length in bytes (an nvarchar(50) holds 100)
    db::Value xprec;
    db::Value xscale;
    db::Value isnullable;  // 1: accepts Null
    db::Value isidentity;  // the catalog's column status; 1 marks an identity column
    db::Value cdefault;    // default's source text with its parentheses, or Null
    db::Value collation;   // target rows only; Null for non-character types

    // Reads the current row of a record set with the tbObjects column names; a
    // `collation` field is read when the record set has one.
    static ColumnDefinition fromRow(const db::Recordset& row);
};

// Whether a value "equals 1" as the flags are tested: a number 1 (or numeric text "1").
bool equalsOne(const db::Value& value);

// Whether two values differ, the comparison rule of the column alteration: a Null on
// either side never differs; numbers compare by value, whatever their kind (4 and 4.0
// are equal); text compares exactly. Example: (50, 80) -> true, (50, Null) -> false.
bool differs(const db::Value& stored, const db::Value& target);

}  // namespace structure
