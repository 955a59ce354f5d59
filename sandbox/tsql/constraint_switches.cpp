// ALTER TABLE t [WITH CHECK] {CHECK | NOCHECK} CONSTRAINT {ALL | name [, ...]} and
// ALTER TABLE t {ENABLE | DISABLE} TRIGGER {ALL | name [, ...]}: a table's foreign keys
// and checks turned off and on again (scripts that load data turn them off first), and
// its triggers likewise.
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/alter_table.h"
#include "tsql/constraint_checks.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"

namespace sandbox::tsql {
namespace {

// The names a statement lists, or none for ALL.
std::vector<std::string> namesOrAll(Parser& p) {
    std::vector<std::string> names;
    if (p.acceptWord("ALL")) return names;
    do {
        names.push_back(p.identifier());
    } while (p.acceptSymbol(","));
    return names;
}

// The first of the names that no rule of the lists bears, or nullopt.
template <typename... Lists>
std::optional<std::string> unknownName(const std::vector<std::string>& names,
                                       const Lists&... lists) {
    for (const auto& name : names) {
        bool found = false;
        auto look = [&](const auto& list) {
            for (const auto& rule : list) found = found || iequals(rule.name, name);
        };
        (look(lists), ...);
        if (!found) return name;
    }
    return std::nullopt;
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
    if (names.empty()) return true;
    for (const auto& n : names)
        if (iequals(n, name)) return true;
    return false;
}

// NOCHECK disables (and leaves not trusted); CHECK enables, trusted only WITH CHECK, which
// first checks every row (547). An unknown name is 4917.
class ConstraintCheckingStatement : public Statement {
public:
    ObjectName table;
    bool enable = true;
    bool withCheck = false;
    std::vector<std::string> names;  // empty: ALL

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = alteredTable(context, table);
        if (auto unknown = unknownName(names, info->checks, info->foreignKeys))
            throw ServerError(4917, 16, "Constraint '" + *unknown + "' does not exist.");
        atomicallyForgettingTables(db, [&] {
            for (const auto& check : info->checks)
                if (listed(names, check.name)) {
                    if (enable && withCheck) checkAllRows(context, *info, check);
                    setState(db, check.id);
                }
            for (const auto& fk : info->foreignKeys)
                if (listed(names, fk.name)) {
                    if (enable && withCheck) checkAllRows(context, *info, fk);
                    setState(db, fk.id);
                }
        });
        context.done(false);
    }

private:
    // Disabled: 0x100 and not trusted (0x800); enabled: trusted again only WITH CHECK, and
    // never when NOT FOR REPLICATION. The other bits (column level, NOT FOR REPLICATION,
    // cascades) stay.
    void setState(Database& db, int id) const {
        Catalog& catalog = db.catalog();
        const auto object = catalog.findObject(id);
        const bool notForReplication = object && (object->status & kStatusConstraintNotForReplication) != 0;
        catalog.setObjectStatusBits(id, kStatusConstraintDisabled, !enable);
        catalog.setObjectStatusBits(id, kStatusConstraintNotTrusted, !enable || !withCheck || notForReplication);
    }
};

// ENABLE or DISABLE TRIGGER: the trigger's status says so (0x800 while disabled, as
// ExecIsTriggerDisabled reads it); an unknown name is 4920.
class TriggerSwitchStatement : public Statement {
public:
    ObjectName table;
    bool enable = true;
    std::vector<std::string> names;  // empty: ALL

    void execute(ExecContext& context) override {
        Database& db = context.db();
        auto info = alteredTable(context, table);
        if (auto unknown = unknownName(names, info->triggers))
            throw ServerError(4920, 16,
                              "ALTER TABLE failed because trigger '" + *unknown +
                                  "' does not belong to table '" + info->name + "'.");
        atomically(db.handle(), [&] {
            sqlite::Statement update(db.handle(), "UPDATE \"~triggers\" SET disabled = ? WHERE id = ?");
            for (const auto& trigger : info->triggers) {
                if (!listed(names, trigger.name)) continue;
                update.bind(1, std::int64_t{enable ? 0 : 1}).bind(2, std::int64_t{trigger.id}).step();
                update.reset();
                db.catalog().setObjectStatusBits(trigger.id, kStatusTriggerDisabled, !enable);
            }
        });
        db.invalidate(info->name);
        context.done(false);
    }
};

}  // namespace

std::unique_ptr<Statement> parseConstraintChecking(Parser& p, ObjectName table, bool withCheck) {
    auto s = std::make_unique<ConstraintCheckingStatement>();
    s->table = std::move(table);
    s->enable = p.next().isWord("CHECK");
    s->withCheck = withCheck;
    p.expectWord("CONSTRAINT");
    s->names = namesOrAll(p);
    return s;
}

std::unique_ptr<Statement> parseTriggerSwitch(Parser& p, ObjectName table) {
    auto s = std::make_unique<TriggerSwitchStatement>();
    s->table = std::move(table);
    s->enable = p.next().isWord("ENABLE");
    p.expectWord("TRIGGER");
    s->names = namesOrAll(p);
    return s;
}

}  // namespace sandbox::tsql
