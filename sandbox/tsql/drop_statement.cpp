#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

struct DropKind {
    std::string_view keyword;  // TABLE, VIEW, PROCEDURE, FUNCTION
    std::string_view noun;     // as 3701 names it
    std::vector<std::string_view> xtypes;
};

const DropKind kKinds[] = {
    {"TABLE", "table", {"U"}},
    {"VIEW", "view", {"V"}},
    {"PROCEDURE", "procedure", {"P"}},
    {"FUNCTION", "function", {"FN", "IF", "TF"}},
};

std::string_view nounOf(const std::string& xtype) {
    for (const auto& k : kKinds)
        for (auto x : k.xtypes)
            if (x == xtype) return k.noun;
    return "object";
}

// True when a foreign key of another table references the table: SQL Server refuses to
// drop it (3726) until that constraint or table goes.
bool referencedByAnotherTable(Database& db, int tableId) {
    sqlite::Statement q(db.handle(), "SELECT 1 FROM sysforeignkeys WHERE rkeyid = ? AND fkeyid <> ? LIMIT 1");
    q.bind(1, std::int64_t{tableId}).bind(2, std::int64_t{tableId});
    return q.step();
}

// DROP TABLE/VIEW/PROCEDURE/FUNCTION name [, name ...]: each name is dropped with every
// catalog row hanging off it; a missing one raises 3701 and the others still go.
class DropStatement : public Statement {
public:
    const DropKind* kind = nullptr;
    std::vector<ObjectName> names;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        std::optional<ServerError> failure;
        for (const auto& name : names) {
            auto object = db.catalog().findObject(name.name());
            bool matches = false;
            if (object)
                for (auto x : kind->xtypes)
                    if (x == object->xtype) matches = true;
            if (object && !matches && object->parentObj == 0 && object->xtype != "S") {
                failure = ServerError(3705, 16, "Cannot use DROP " + std::string(kind->keyword) + " with '" + name.name() +
                                                    "' because '" + name.name() + "' is a " +
                                                    std::string(nounOf(object->xtype)) + ". Use DROP " +
                                                    upperName(nounOf(object->xtype)) + ".");
                continue;
            }
            if (!matches) {
                failure = ServerError(err::kCannotDrop, 11, "Cannot drop the " + std::string(kind->noun) + " '" + name.name() +
                                                                "', because it does not exist in the system catalog.");
                continue;
            }
            if (object->xtype == "U" && referencedByAnotherTable(db, object->id)) {
                failure = ServerError(3726, 16, "Could not drop object '" + object->name +
                                                    "' because it is referenced by a FOREIGN KEY constraint.");
                continue;
            }
            atomically(db.handle(), [&] {
                db.catalog().dropObject(object->id);
                if (object->xtype == "U") sqlite::exec(db.handle(), "DROP TABLE " + sqlite::quoteIdentifier(object->name));
                if (object->xtype == "V") sqlite::exec(db.handle(), "DROP VIEW IF EXISTS " + sqlite::quoteIdentifier(object->name));
            });
            db.invalidateAll();  // the tables it referenced no longer list its foreign keys
            auto& identityInsert = context.session().identityInsert;
            if (identityInsert && identityInsert->tableId == object->id && iequals(identityInsert->database, db.name()))
                identityInsert.reset();
        }
        if (failure) throw *failure;
        context.done(false);
    }
};

}  // namespace

std::unique_ptr<Statement> parseDrop(Parser& p) {
    p.expectWord("DROP");
    const Token& what = p.peek();
    const DropKind* kind = nullptr;
    for (const auto& k : kKinds)
        if (what.isWord(k.keyword)) kind = &k;
    if (what.isWord("PROC")) kind = &kKinds[2];
    if (!kind) return skipUnsupported(p, "DROP " + upperName(what.text));
    p.next();
    auto s = std::make_unique<DropStatement>();
    s->kind = kind;
    do {
        s->names.push_back(p.objectName());
    } while (p.acceptSymbol(","));
    return s;
}

}  // namespace sandbox::tsql
