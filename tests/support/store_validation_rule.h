#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Gives tbDados of the store at `storeFile` a rule, as a store table's validation rule
// would, that refuses every row for which the SQL condition `when` holds (columns as
// NEW.tabela, NEW.pkey_value ...) with `message` as the error's text. The store's own
// engine then fails that one insert, the way a real refusal arrives. Throws
// std::runtime_error when the rule cannot be added.
// Example: refuseDadosRows(path, "NEW.pkey_value = '2'", "Registo recusado.").
void refuseDadosRows(const std::filesystem::path& storeFile, const std::string& when,
                     const std::string& message);

}  // namespace testsupport
