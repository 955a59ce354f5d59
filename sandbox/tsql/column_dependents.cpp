#include "tsql/column_dependents.h"

#include <algorithm>

#include "catalog/catalog.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/table_rules.h"

namespace sandbox::tsql {

std::string_view ColumnDependent::noun() const {
    switch (kind) {
        case Kind::Index: return "index";
        case Kind::ComputedColumn: return "column";
        default: return "object";
    }
}

std::vector<ColumnDependent> columnDependents(Database& db, const TableInfo& info, const ColumnInfo& column) {
    std::vector<ColumnDependent> found;
    {
        sqlite::Statement indexes(db.handle(),
                                  "SELECT i.name, i.status FROM sysindexes i JOIN sysindexkeys k ON k.id = i.id "
                                  "AND k.indid = i.indid WHERE i.id = ? AND k.colid = ? AND i.indid BETWEEN 1 AND 250 "
                                  "ORDER BY i.indid");
        indexes.bind(1, std::int64_t{info.id}).bind(2, std::int64_t{column.colid});
        while (indexes.step()) {
            const auto status = indexes.integer(1);
            const auto kind = (status & indexstatus::kPrimaryKey)         ? ColumnDependent::Kind::PrimaryKey
                              : (status & indexstatus::kUniqueConstraint) ? ColumnDependent::Kind::UniqueConstraint
                                                                          : ColumnDependent::Kind::Index;
            found.push_back(ColumnDependent{kind, indexes.text(0)});
        }
    }
    if (column.defaultId != 0)
        if (auto df = db.catalog().findObject(column.defaultId))
            found.push_back(ColumnDependent{ColumnDependent::Kind::Default, df->name});
    auto uses = [&](const std::vector<int>& colids) {
        return std::find(colids.begin(), colids.end(), column.colid) != colids.end();
    };
    for (const auto& check : info.checks)
        if (uses(check.colids)) found.push_back(ColumnDependent{ColumnDependent::Kind::Check, check.name});
    for (const auto& fk : info.foreignKeys)
        if (uses(fk.childColids)) found.push_back(ColumnDependent{ColumnDependent::Kind::ForeignKey, fk.name});
    for (const auto& fk : info.referencedBy)
        if (uses(fk.parentColids) && fk.childId != info.id)
            found.push_back(ColumnDependent{ColumnDependent::Kind::ForeignKey, fk.name});
    for (const auto& other : info.columns) {
        if (!other.computed || other.colid == column.colid) continue;
        sqlite::Statement text(db.handle(), "SELECT text FROM syscomments WHERE id = ? AND number = ?");
        text.bind(1, std::int64_t{info.id}).bind(2, std::int64_t{other.colid});
        if (!text.step()) continue;
        for (const auto& name : columnsReadBy(text.text(0)))
            if (iequals(name, column.name)) found.push_back(ColumnDependent{ColumnDependent::Kind::ComputedColumn, other.name});
    }
    return found;
}

ServerError dependentsRefusal(const std::vector<ColumnDependent>& dependents, std::string_view change,
                              const std::string& column) {
    auto text = [&](const ColumnDependent& d) {
        return "The " + std::string(d.noun()) + " '" + d.name + "' is dependent on column '" + column + "'.";
    };
    ServerError e(5074, 16, text(dependents.at(0)), 8);
    for (std::size_t i = 1; i < dependents.size(); ++i) e.followedBy(5074, 16, text(dependents[i]), 8);
    e.followedBy(4922, 16,
                 "ALTER TABLE " + std::string(change) + " " + column +
                     " failed because one or more objects access this column.",
                 9);
    return e;
}

}  // namespace sandbox::tsql
