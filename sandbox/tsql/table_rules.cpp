#include "tsql/table_rules.h"

#include <algorithm>

#include "catalog/catalog.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/parser.h"
#include "tsql/translator.h"

namespace sandbox::tsql {
namespace {

std::string nameOfColumn(sqlite3* db, int tableId, int colid) {
    sqlite::Statement q(db, "SELECT name FROM syscolumns WHERE id = ? AND colid = ?");
    q.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{colid});
    return q.step() ? q.text(0) : std::string();
}

std::string nameOfObject(sqlite3* db, int id) {
    sqlite::Statement q(db, "SELECT name FROM sysobjects WHERE id = ?");
    q.bind(1, std::int64_t{id});
    return q.step() ? q.text(0) : std::string();
}

std::string commentText(sqlite3* db, int id) {
    sqlite::Statement q(db,
                        "SELECT text FROM syscomments WHERE id = ? AND number = 0 ORDER BY colid");
    q.bind(1, std::int64_t{id});
    std::string text;
    while (q.step()) text += q.text(0);
    return text;
}

}  // namespace

std::vector<std::string> columnsReadBy(const std::string& expressionText) {
    std::vector<std::string> names;
    Parser parser(expressionText, true);
    ExprPtr root = parser.expression();
    std::vector<const Expr*> pending{root.get()};
    while (!pending.empty()) {
        const Expr* e = pending.back();
        pending.pop_back();
        if (e->kind == ExprKind::Column) {
            std::string name = lower(e->parts.back());
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
        for (auto it = e->args.rbegin(); it != e->args.rend(); ++it) pending.push_back(it->get());
    }
    return names;
}

ForeignKeyRule loadForeignKey(sqlite3* db, int constraintId) {
    ForeignKeyRule fk;
    fk.id = constraintId;
    {
        sqlite::Statement object(db, "SELECT name, status FROM sysobjects WHERE id = ?");
        object.bind(1, std::int64_t{constraintId});
        if (object.step()) {
            fk.name = object.text(0);
            const auto status = object.integer(1);
            fk.enabled = (status & kStatusConstraintDisabled) == 0;
            fk.deleteCascade = (status & kStatusDeleteCascade) != 0;
            fk.updateCascade = (status & kStatusUpdateCascade) != 0;
        }
    }
    sqlite::Statement keys(
        db,
        "SELECT fkeyid, rkeyid, fkey, rkey FROM sysforeignkeys WHERE constid = ? ORDER BY keyno");
    keys.bind(1, std::int64_t{constraintId});
    while (keys.step()) {
        fk.childId = static_cast<int>(keys.integer(0));
        fk.parentId = static_cast<int>(keys.integer(1));
        fk.childColids.push_back(static_cast<int>(keys.integer(2)));
        fk.parentColids.push_back(static_cast<int>(keys.integer(3)));
    }
    keys = sqlite::Statement();
    fk.childTable = nameOfObject(db, fk.childId);
    fk.parentTable = nameOfObject(db, fk.parentId);
    for (int colid : fk.childColids) fk.childColumns.push_back(nameOfColumn(db, fk.childId, colid));
    for (int colid : fk.parentColids)
        fk.parentColumns.push_back(nameOfColumn(db, fk.parentId, colid));
    return fk;
}

std::string storedExpressionSql(const std::string& text, const std::string& databaseName,
                                const std::string& collation) {
    Parser parser(text, true);
    ExprPtr condition = parser.expression();
    TranslationContext names;
    names.databaseName = databaseName;
    names.collation = collation;
    Translator translator(names);
    return translator.expression(*condition).sql;
}

void loadTableRules(sqlite3* db, const std::string& databaseName, const std::string& collation,
                    TableInfo& table) {
    for (const auto& c : table.columns) table.hasComputed = table.hasComputed || c.computed;
    std::vector<std::pair<int, std::string>> children;  // (id, xtype) of checks and foreign keys
    {
        sqlite::Statement q(
            db,
            "SELECT id, name, trim(xtype), info, status FROM sysobjects WHERE parent_obj = ? "
            "AND trim(xtype) IN ('C', 'F')");
        q.bind(1, std::int64_t{table.id});
        while (q.step()) {
            const int id = static_cast<int>(q.integer(0));
            if (q.text(2) == "F") {
                children.emplace_back(id, "F");
                continue;
            }
            CheckRule check;
            check.id = id;
            check.name = q.text(1);
            check.colid = static_cast<int>(q.integer(3));
            check.enabled = (q.integer(4) & kStatusConstraintDisabled) == 0;
            table.checks.push_back(std::move(check));
        }
    }
    for (auto& check : table.checks) {
        check.text = commentText(db, check.id);
        try {
            check.sql = storedExpressionSql(check.text, databaseName, collation);
        } catch (const std::exception&) {
            check.sql.clear();  // refused when created; an older file's check is not enforced
        }
        for (const auto& name : columnsReadBy(check.text)) {
            int at = table.findColumn(name);
            if (at >= 0) check.colids.push_back(table.columns[static_cast<std::size_t>(at)].colid);
        }
    }
    for (const auto& [id, xtype] : children) table.foreignKeys.push_back(loadForeignKey(db, id));
    std::vector<int> referencing;
    {
        sqlite::Statement q(db, "SELECT DISTINCT constid FROM sysforeignkeys WHERE rkeyid = ?");
        q.bind(1, std::int64_t{table.id});
        while (q.step()) referencing.push_back(static_cast<int>(q.integer(0)));
    }
    for (int id : referencing) table.referencedBy.push_back(loadForeignKey(db, id));
    sqlite::Statement triggers(
        db,
        "SELECT t.id, o.name, t.on_insert, t.on_update, t.on_delete, t.instead_of, t.disabled, "
        "(SELECT group_concat(r.event || ':' || r.position) FROM \"~trigger_order\" r WHERE r.id = t.id) "
        "FROM \"~triggers\" t JOIN sysobjects o ON o.id = t.id WHERE t.table_id = ? ORDER BY "
        "o.crdate, o.rowid");
    triggers.bind(1, std::int64_t{table.id});
    while (triggers.step()) {
        TriggerRule t;
        t.id = static_cast<int>(triggers.integer(0));
        t.name = triggers.text(1);
        t.onInsert = triggers.integer(2) != 0;
        t.onUpdate = triggers.integer(3) != 0;
        t.onDelete = triggers.integer(4) != 0;
        t.insteadOf = triggers.integer(5) != 0;
        t.disabled = triggers.integer(6) != 0;
        if (!triggers.isNull(7)) t.order = triggers.text(7);
        table.triggers.push_back(std::move(t));
    }
}

}  // namespace sandbox::tsql
