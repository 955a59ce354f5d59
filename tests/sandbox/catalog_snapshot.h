#pragma once

#include <string>
#include <vector>

#include "engine_harness.h"

namespace sandbox::testing {

// The catalog rows of one table as readable lines, for golden comparisons:
//   column nome varchar length=10 prec=0 scale=0 nullable=1 colstat=0 collation=SQL_Latin1_General_CP1_CI_AS default=-
//   object PK_tbX PK
//   index 2 PK_tbX status=2050 keys=id
// System-generated names (PK, UQ, DF, FK, CK) lose their 8-digit suffix:
// DF__tbX__ativo__0F975522 -> DF__tbX__ativo__*.
// No lines when the table does not exist.
std::vector<std::string> catalogOf(EngineHarness& harness, const std::string& table);

// Catalog rows that belong to no object any more (columns, comments, index rows and keys,
// foreign key columns, permissions and dependencies of dropped objects); empty when the catalog is
// consistent.
std::vector<std::string> orphanedCatalogRows(EngineHarness& harness);

}  // namespace sandbox::testing
