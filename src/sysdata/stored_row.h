#pragma once

#include <string>

#include "db/recordset.h"

namespace sysdata {

// One tbDados row as the row pass applies it: the target table, its key column and key
// value, the kept command and the rule flags. A view into the store cursor's current
// record: valid until the cursor moves.
struct StoredRow {
    std::string tabela;
    std::string pkeyCampo;
    db::Value pkeyValue;
    const db::Value* comando = nullptr;  // as stored: "!39!" markers, null possible
    long comandoSize = 0;                // comando's actual size as the store reports it
    bool onlyIfEmpty = false;
    bool forceUpdate = false;
    bool deleteFirst = false;

    // The current record of a cursor over tbDados. A flag counts when it is neither 0 nor
    // null.
    static StoredRow read(const db::Recordset& rows);

    // The stored command's text ("" for null).
    const std::string& command() const;
    // The key literal for the target (sysdata::keyLiteral of pkey_value).
    std::string keyLiteral() const;
};

// The tabela of the cursor's current record.
std::string tableOf(const db::Recordset& rows);

}  // namespace sysdata
