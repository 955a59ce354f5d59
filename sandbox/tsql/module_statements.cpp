#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/module_dependencies.h"
#include "tsql/parser.h"
#include "tsql/procedure_definition.h"
#include "tsql/query_references.h"
#include "tsql/statements.h"
#include "tsql/user_types.h"

namespace sandbox::tsql {
namespace {

// CREATE VIEW / PROCEDURE / FUNCTION: the object is recorded with the complete text as
// sent (syscomments, 4000-character chunks), the session's ANSI_NULLS and
// QUOTED_IDENTIFIER settings in sysobjects.status (0x60000000 with both on), what it uses
// in sysdepends, and a procedure's parameters in syscolumns (number 1, isoutparam for
// OUTPUT). Views whose query translates are also made queryable; procedures run when
// executed; functions are not run. ALTER VIEW / PROCEDURE / FUNCTION gives an existing
// object a new text, keeping its id, its permissions and its creation date (208 when
// there is none of that name and kind).
class CreateModuleStatement : public Statement {
public:
    std::string kind;    // VIEW, PROCEDURE, FUNCTION
    std::string_view xtype;  // V, P, FN, IF, TF (string literals)
    bool alter = false;
    ObjectName name;
    std::string text;
    std::shared_ptr<Select> viewQuery;
    std::vector<std::string> viewColumns;
    std::vector<ProcedureParameter> parameters;  // a procedure's, when its header parsed

    void execute(ExecContext& context) override {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        std::optional<ObjectInfo> existing = catalog.findObject(name.name());
        if (!alter && existing)
            throw ServerError(err::kObjectExists, 16, "There is already an object named '" + name.name() + "' in the database.");
        if (alter && (!existing || !sameKind(existing->xtype))) raiseInvalidObject(name);
        const SessionOptions& o = context.session().options;
        int status = (o.ansiNulls ? kStatusAnsiNulls : 0) | (o.quotedIdentifier ? kStatusQuotedIdentifier : 0);
        const std::string view = viewQuery ? queryableView(context) : std::string();
        atomically(db.handle(), [&] {
            int id = 0;
            if (existing && alter) {
                id = existing->id;
                for (const char* sql : {"DELETE FROM syscomments WHERE id = ?", "DELETE FROM syscolumns WHERE id = ?"}) {
                    sqlite::Statement clear(db.handle(), sql);
                    clear.bind(1, std::int64_t{id}).step();
                }
                sqlite::Statement update(db.handle(), "UPDATE sysobjects SET status = ?, xtype = ?, type = ? WHERE id = ?");
                const std::string x = xtype.size() < 2 ? std::string(xtype) + " " : std::string(xtype);
                update.bind(1, std::int64_t{status}).bind(2, x).bind(3, x).bind(4, std::int64_t{id}).step();
                if (existing->xtype == "V")
                    sqlite::exec(db.handle(), "DROP VIEW IF EXISTS " + sqlite::quoteIdentifier(existing->name));
            } else {
                id = catalog.addObject(name.name(), xtype, 0, status);
            }
            catalog.addComment(id, text, xtype == "P" ? 1 : 0);
            addParameters(context, id);
            recordDependencies(db, id, text, o.quotedIdentifier);
            if (!view.empty()) sqlite::exec(db.handle(), view);
        });
        context.done(false);
    }

private:
    bool sameKind(const std::string& existing) const {
        if (xtype == "V" || xtype == "P") return existing == xtype;
        return existing == "FN" || existing == "IF" || existing == "TF";
    }

    // A procedure's parameters as syscolumns keeps them: name "@x", colid in order,
    // number 1, isoutparam and status 0x40 for OUTPUT.
    void addParameters(ExecContext& context, int id) {
        Database& db = context.db();
        int colid = 0;
        for (const auto& parameter : parameters) {
            ++colid;
            auto type = findNamedType(db, parameter.type, static_cast<std::size_t>(colid));
            if (!type) continue;
            NewColumn column;
            column.name = parameter.name;
            column.type = type->type;
            column.collation = type->type.isCharacter() ? db.collation() : "";
            db.catalog().addColumn(id, colid, column);
            sqlite::Statement mark(db.handle(),
                                   "UPDATE syscolumns SET number = 1, isoutparam = ?, status = status | ? WHERE id = ? "
                                   "AND colid = ?");
            mark.bind(1, std::int64_t{parameter.output ? 1 : 0}).bind(2, std::int64_t{parameter.output ? 0x40 : 0});
            mark.bind(3, std::int64_t{id}).bind(4, std::int64_t{colid}).step();
        }
    }

    // The SQLite CREATE VIEW that makes the view queryable, or empty when its query is
    // beyond the sandbox (the view is then recorded but not queryable: a query on it says
    // so, see ExecContext::raise). Names resolve now, as on SQL Server: a table or view
    // that does not exist is 208, a column none of them has 207.
    std::string queryableView(ExecContext& context) {
        Database& db = context.db();
        for (const ObjectName* table : tablesReferencedBy(*viewQuery)) {
            auto object = db.catalog().findObject(table->name());
            if (!object || (object->xtype != "U" && object->xtype != "V" && object->xtype != "S"))
                raiseInvalidObject(*table);
        }
        std::string query;
        try {
            TranslationContext names = context.translation();
            Translator translator(names);
            query = translator.select(*viewQuery);
        } catch (const std::exception&) {
            return {};
        }
        sqlite3_stmt* probe = nullptr;
        const std::string sql = "SELECT * FROM (" + query + ") LIMIT 0";
        const int rc = sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &probe, nullptr);
        const std::string failure = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(db.handle());
        sqlite3_finalize(probe);
        if (failure.rfind("no such column: ", 0) == 0) context.raise(sqlite::Failure(rc, failure));
        if (rc != SQLITE_OK) return {};
        std::string view = "CREATE VIEW " + sqlite::quoteIdentifier(name.name());
        if (!viewColumns.empty()) {
            view += " (";
            for (std::size_t i = 0; i < viewColumns.size(); ++i) view += (i ? ", " : "") + sqlite::quoteIdentifier(viewColumns[i]);
            view += ")";
        }
        return view + " AS " + query;
    }
};

}  // namespace

std::unique_ptr<Statement> parseCreateModule(Parser& p) {
    auto s = std::make_unique<CreateModuleStatement>();
    const Token& verbToken = p.next();
    s->alter = verbToken.isWord("ALTER");
    const std::size_t verbBegin = verbToken.begin;
    const std::size_t verbEnd = verbToken.end;
    const Token& kindToken = p.next();
    std::string kind = upperName(kindToken.text);
    if (kind == "PROC") kind = "PROCEDURE";
    s->kind = kind;
    const std::string verb = s->alter ? "ALTER" : "CREATE";
    if (!p.isFirstStatement())
        throw ServerError(111, 15, "'" + verb + " " + kind + "' must be the first statement in a query batch.", 1,
                          ErrorScope::Batch);
    s->name = p.objectName();
    // The text as sent: the whole batch from its start (comments before CREATE included).
    // Quirk (SQL Server): ALTER keeps its text as the CREATE that would make the object as
    // it now is, so that the text can be run again on another database.
    s->text = std::string(p.batch());
    if (s->alter) s->text.replace(verbBegin, verbEnd - verbBegin, "CREATE");
    if (kind == "VIEW") {
        s->xtype = "V";
        if (p.peek().isSymbol("(")) s->viewColumns = p.columnList();
        if (p.acceptWord("WITH")) {
            do {
                p.next();
            } while (p.acceptSymbol(","));
        }
        p.expectWord("AS");
        s->viewQuery = p.selectQuery();
        if (p.acceptSymbol(";") && p.peek().kind != TokenKind::End) p.syntaxError();
        if (p.peek().kind != TokenKind::End) p.syntaxError();
        return s;
    }
    if (kind == "FUNCTION") {
        s->xtype = "FN";
        while (p.peek().kind != TokenKind::End) {
            if (p.next().isWord("RETURNS")) {
                if (p.peek().isWord("TABLE")) s->xtype = "IF";
                else if (p.peek().kind == TokenKind::Variable) s->xtype = "TF";
                break;
            }
        }
    } else {
        s->xtype = "P";
        // The parameters, when the text parses as the sandbox reads procedures; the body
        // is parsed again when the procedure runs.
        try {
            ProcedureDefinition definition = parseProcedureText(s->text, p.quotedIdentifier());
            s->parameters = std::move(definition.parameters);
        } catch (const std::exception&) {
            s->parameters.clear();
        }
    }
    while (p.peek().kind != TokenKind::End) p.next();
    return s;
}

}  // namespace sandbox::tsql
