#include "tsql/variables.h"

#include "catalog/text_util.h"

namespace sandbox::tsql {

Variable* VariableScope::find(std::string_view name) {
    for (auto& v : m_variables)
        if (iequals(v.name, name)) return &v;
    return nullptr;
}

const Variable* VariableScope::find(std::string_view name) const {
    for (const auto& v : m_variables)
        if (iequals(v.name, name)) return &v;
    return nullptr;
}

void VariableScope::assign(Variable& variable, const StoredValue& value) {
    variable.value = convertTo(variable.type, value, ConversionMode::Convert);
}

}  // namespace sandbox::tsql
