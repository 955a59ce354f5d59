// CREATE TRIGGER and DROP TRIGGER. A trigger is a TR object whose parent is its table,
// with its whole CREATE TRIGGER text in syscomments (the body is parsed when created, so a
// syntax error refuses it, and again each time it fires) and the session's ANSI_NULLS and
// QUOTED_IDENTIFIER in its status; the table's sysobjects row names its first insert,
// update and delete trigger (instrig, updtrig, deltrig) as SQL Server 2000's does.
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/module_dependencies.h"
#include "tsql/parser.h"
#include "tsql/system_procedures.h"
#include "tsql/statements.h"
#include "tsql/trigger_runner.h"

namespace sandbox::tsql {
namespace {

class CreateTriggerStatement : public Statement {
public:
    TriggerDefinition definition;
    std::string text;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        const std::string& name = definition.name.name();
        if (catalog.findObject(name))
            throw ServerError(err::kObjectExists, 16,
                              "There is already an object named '" + name + "' in the database.");
        auto table = db.table(definition.table.name());
        if (!table || table->xtype != "U") {
            if (auto object = catalog.findObject(definition.table.name());
                object && object->xtype == "V")
                throw ServerError(err::kUnsupported, 16,
                                  "The sandbox server does not support triggers on views.");
            raiseInvalidObject(definition.table);
        }
        const SessionOptions& o = context.session().options;
        const int status = (o.ansiNulls ? kStatusAnsiNulls : 0) |
                           (o.quotedIdentifier ? kStatusQuotedIdentifier : 0);
        atomically(db.handle(), [&] {
            const int id = catalog.addObject(name, "TR", table->id, status);
            catalog.addComment(id, text);
            recordDependencies(db, id, text, o.quotedIdentifier);
            sqlite::Statement parent(db.handle(), "UPDATE sysobjects SET deltrig = ? WHERE id = ?");
            parent.bind(1, std::int64_t{table->id}).bind(2, std::int64_t{id}).step();
            sqlite::Statement row(db.handle(),
                                  "INSERT INTO \"~triggers\" (id, table_id, on_insert, on_update, "
                                  "on_delete, instead_of, "
                                  "disabled) VALUES (?, ?, ?, ?, ?, ?, 0)");
            row.bind(1, std::int64_t{id}).bind(2, std::int64_t{table->id});
            row.bind(3, std::int64_t{definition.onInsert})
                .bind(4, std::int64_t{definition.onUpdate});
            row.bind(5, std::int64_t{definition.onDelete})
                .bind(6, std::int64_t{definition.insteadOf})
                .step();
            for (const auto& [fires, column] : {std::pair{definition.onInsert, "instrig"},
                                                std::pair{definition.onUpdate, "updtrig"},
                                                std::pair{definition.onDelete, "deltrig"}}) {
                if (!fires) continue;
                sqlite::Statement first(db.handle(), std::string("UPDATE sysobjects SET ") +
                                                         column + " = ? WHERE id = ? AND " +
                                                         column + " = 0");
                first.bind(1, std::int64_t{id}).bind(2, std::int64_t{table->id}).step();
            }
        });
        db.invalidate(table->name);
        context.done(false);
    }
};

// DROP TRIGGER name [, ...]: each goes with its text; a missing one is 3701 and the
// others still go.
class DropTriggerStatement : public Statement {
public:
    std::vector<ObjectName> names;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        std::optional<ServerError> failure;
        for (const auto& name : names) {
            auto object = db.catalog().findObject(name.name());
            if (!object || object->xtype != "TR") {
                failure = ServerError(err::kCannotDrop, 11,
                                      "Cannot drop the trigger '" + name.name() +
                                          "', because it does not exist in the system catalog.");
                continue;
            }
            atomically(db.handle(), [&] {
                db.catalog().dropObject(object->id);
                for (const char* column : {"instrig", "updtrig", "deltrig"}) {
                    sqlite::Statement clear(db.handle(), std::string("UPDATE sysobjects SET ") +
                                                             column + " = 0 WHERE id = ? AND " +
                                                             column + " = ?");
                    clear.bind(1, std::int64_t{object->parentObj})
                        .bind(2, std::int64_t{object->id})
                        .step();
                }
            });
            db.invalidateAll();
        }
        if (failure) throw *failure;
        context.done(false);
    }
};

}  // namespace

// sp_settriggerorder @triggername, @order, @stmttype: makes an AFTER trigger fire first
// ('First') or last ('Last') among its table's triggers for INSERT, UPDATE or DELETE, or
// in no particular place ('None'). A table has one first and one last trigger per
// statement: naming another takes the place over. 15009 when there is no such trigger.
void spSettriggerorder(ExecContext& context, const ProcedureCall& call) {
    const std::string triggerName = call.required(0, "@triggername");
    const std::string order = call.required(1, "@order");
    const std::string statement = upperName(call.required(2, "@stmttype"));
    Database& db = context.db();
    auto trigger = db.catalog().findObject(objectNameArgument(triggerName));
    if (!trigger || trigger->xtype != "TR")
        throw ServerError(15009, 16, "The object '" + triggerName + "' does not exist in database '" + db.name() + "'.");
    std::string position;
    for (const char* known : {"First", "Last", "None"})
        if (iequals(order, known)) position = known;
    if (position.empty() || (statement != "INSERT" && statement != "UPDATE" && statement != "DELETE"))
        throw ServerError(err::kUnsupported, 16, "sp_settriggerorder takes @order 'First', 'Last' or 'None' and "
                                                 "@stmttype 'INSERT', 'UPDATE' or 'DELETE'.");
    atomically(db.handle(), [&] {
        sqlite::Statement clear(db.handle(), "DELETE FROM \"~trigger_order\" WHERE id = ? AND event = ?");
        clear.bind(1, std::int64_t{trigger->id}).bind(2, statement).step();
        if (position == "None") return;
        sqlite::Statement taken(db.handle(),
                                "DELETE FROM \"~trigger_order\" WHERE event = ? AND position = ? AND id IN "
                                "(SELECT id FROM sysobjects WHERE parent_obj = ?)");
        taken.bind(1, statement).bind(2, position).bind(3, std::int64_t{trigger->parentObj}).step();
        sqlite::Statement set(db.handle(), "INSERT INTO \"~trigger_order\" (id, event, position) VALUES (?, ?, ?)");
        set.bind(1, std::int64_t{trigger->id}).bind(2, statement).bind(3, position).step();
    });
    db.invalidateAll();
}

TriggerDefinition parseTriggerDefinition(Parser& p) {
    TriggerDefinition d;
    p.expectWord("CREATE");
    p.expectWord("TRIGGER");
    d.name = p.objectName();
    p.expectWord("ON");
    d.table = p.objectName();
    if (p.acceptWord("WITH")) p.expectWord("ENCRYPTION");
    if (p.acceptWord("INSTEAD")) {
        p.expectWord("OF");
        d.insteadOf = true;
    } else if (!p.acceptWord("FOR")) {
        p.expectWord("AFTER");
    }
    do {
        if (p.acceptWord("INSERT"))
            d.onInsert = true;
        else if (p.acceptWord("UPDATE"))
            d.onUpdate = true;
        else if (p.acceptWord("DELETE"))
            d.onDelete = true;
        else
            p.syntaxError();
    } while (p.acceptSymbol(","));
    if (p.acceptWord("WITH")) p.expectWord("APPEND");
    if (p.acceptWord("NOT")) {
        p.expectWord("FOR");
        p.expectWord("REPLICATION");
    }
    p.expectWord("AS");
    d.body = parseProgram(p);
    return d;
}

std::unique_ptr<Statement> parseCreateTrigger(Parser& p) {
    if (!p.isFirstStatement())
        throw ServerError(111, 15, "'CREATE TRIGGER' must be the first statement in a query batch.",
                          1, ErrorScope::Batch);
    auto s = std::make_unique<CreateTriggerStatement>();
    // The text as sent: the whole batch (comments before CREATE included).
    s->text = std::string(p.batch());
    s->definition = parseTriggerDefinition(p);
    return s;
}

std::unique_ptr<Statement> parseDropTrigger(Parser& p) {
    p.expectWord("DROP");
    p.expectWord("TRIGGER");
    auto s = std::make_unique<DropTriggerStatement>();
    do {
        s->names.push_back(p.objectName());
    } while (p.acceptSymbol(","));
    return s;
}

}  // namespace sandbox::tsql
