#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/query_references.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// CREATE VIEW / PROCEDURE / FUNCTION: the object is recorded with the complete text as
// sent (syscomments, 4000-character chunks) and the session's ANSI_NULLS and
// QUOTED_IDENTIFIER settings in sysobjects.status (0x60000000 with both on). Views whose
// query translates are also made queryable; procedures and functions are not run.
class CreateModuleStatement : public Statement {
public:
    std::string kind;    // VIEW, PROCEDURE, FUNCTION
    std::string_view xtype;  // V, P, FN, IF, TF (string literals)
    ObjectName name;
    std::string text;
    std::shared_ptr<Select> viewQuery;
    std::vector<std::string> viewColumns;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        if (catalog.findObject(name.name()))
            throw ServerError(err::kObjectExists, 16, "There is already an object named '" + name.name() + "' in the database.");
        const SessionOptions& o = context.session().options;
        int status = (o.ansiNulls ? kStatusAnsiNulls : 0) | (o.quotedIdentifier ? kStatusQuotedIdentifier : 0);
        const std::string view = viewQuery ? queryableView(context) : std::string();
        atomically(db.handle(), [&] {
            int id = catalog.addObject(name.name(), xtype, 0, status);
            catalog.addComment(id, text, xtype == "P" ? 1 : 0);
            if (!view.empty()) sqlite::exec(db.handle(), view);
        });
        context.done(false);
    }

private:
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
    p.expectWord("CREATE");
    auto s = std::make_unique<CreateModuleStatement>();
    const Token& kindToken = p.next();
    std::string kind = upperName(kindToken.text);
    if (kind == "PROC") kind = "PROCEDURE";
    s->kind = kind;
    if (!p.isFirstStatement())
        throw ServerError(111, 15, "'CREATE " + kind + "' must be the first statement in a query batch.", 1, ErrorScope::Batch);
    s->name = p.objectName();
    // The text as sent: the whole batch from its start (comments before CREATE included).
    s->text = std::string(p.batch());
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
    }
    // Procedure and function bodies are stored, not parsed further.
    while (p.peek().kind != TokenKind::End) p.next();
    return s;
}

}  // namespace sandbox::tsql
