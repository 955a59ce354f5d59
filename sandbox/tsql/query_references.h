#pragma once

#include <vector>

#include "tsql/ast.h"

namespace sandbox::tsql {

// Every table or view a query names, in FROM and JOIN clauses, derived tables and
// subqueries (in the select list, WHERE, HAVING, ON, IN and EXISTS), each as written and
// once per occurrence. Walks the query without recursion.
// Example: "SELECT a FROM t1 JOIN (t2 JOIN t3 ON ...) ON ... WHERE x IN (SELECT y FROM t4)"
// -> t1, t2, t3, t4 (in no particular order).
std::vector<const ObjectName*> tablesReferencedBy(const Select& query);

}  // namespace sandbox::tsql
