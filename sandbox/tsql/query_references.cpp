#include "tsql/query_references.h"

namespace sandbox::tsql {

std::vector<const ObjectName*> tablesReferencedBy(const Select& query) {
    std::vector<const ObjectName*> names;
    std::vector<const Select*> selects{&query};
    std::vector<const Expr*> exprs;
    std::vector<const FromItem*> froms;
    auto addExpr = [&](const ExprPtr& e) {
        if (e) exprs.push_back(e.get());
    };
    auto addRef = [&](const TableRef& ref) {
        if (ref.derived)
            selects.push_back(ref.derived.get());
        else if (ref.nested)
            froms.push_back(ref.nested.get());
        else
            names.push_back(&ref.name);
    };
    while (!selects.empty() || !exprs.empty() || !froms.empty()) {
        if (!selects.empty()) {
            const Select* s = selects.back();
            selects.pop_back();
            for (const auto& item : s->items) addExpr(item.expr);
            for (const auto& from : s->from) froms.push_back(&from);
            addExpr(s->where);
            addExpr(s->having);
            for (const auto& g : s->groupBy) addExpr(g);
            for (const auto& o : s->orderBy) addExpr(o.expr);
            for (const auto& [all, other] : s->unions) selects.push_back(other.get());
            continue;
        }
        if (!froms.empty()) {
            const FromItem* f = froms.back();
            froms.pop_back();
            addRef(f->table);
            for (const auto& join : f->joins) {
                addRef(join.table);
                addExpr(join.on);
            }
            continue;
        }
        const Expr* e = exprs.back();
        exprs.pop_back();
        if (e->select) selects.push_back(e->select.get());
        for (const auto& arg : e->args) exprs.push_back(arg.get());
    }
    return names;
}

}  // namespace sandbox::tsql
