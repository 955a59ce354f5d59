#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/sql_types.h"
#include "tsql/value_convert.h"

namespace sandbox::tsql {

// One local variable of a batch or trigger: its declared type and current value (NULL
// until assigned), held in the storage form.
struct Variable {
    std::string name;  // "@dttm"
    ColumnType type;
    StoredValue value;
};

// The local variables of one running batch (or trigger body, or EXEC('...') text): each
// has its own, as on SQL Server. Names compare without regard to letter case.
class VariableScope {
public:
    void add(Variable variable) { m_variables.push_back(std::move(variable)); }
    // The variable of that name, or null.
    Variable* find(std::string_view name);
    const Variable* find(std::string_view name) const;
    // Gives a variable a value converted to its type as SET and SELECT convert it (too
    // long a text is cut, 245 for text that is no number). Throws ServerError.
    void assign(Variable& variable, const StoredValue& value);

private:
    std::vector<Variable> m_variables;  // a handful per batch: found by a linear search
};

}  // namespace sandbox::tsql
