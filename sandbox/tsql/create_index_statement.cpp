#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// CREATE [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX name ON t (columns): a sysindexes row
// (the heap row gives way to a clustered index), its sysindexkeys, and a SQLite index.
// Index names are per table, as on SQL Server.
class CreateIndexStatement : public Statement {
public:
    bool unique = false;
    bool clustered = false;
    std::string name;
    ObjectName table;
    std::vector<std::string> columns;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        Catalog& catalog = db.catalog();
        auto info = db.table(table.name());
        if (!info || info->xtype != "U")
            throw ServerError(1088, 16, "Cannot find the object '" + table.name() +
                                            "' because it does not exist or you do not have permissions.");
        {
            sqlite::Statement existing(db.handle(), "SELECT indid, name FROM sysindexes WHERE id = ? AND indid BETWEEN 1 AND 250");
            existing.bind(1, std::int64_t{info->id});
            while (existing.step()) {
                if (iequals(existing.text(1), name))
                    throw ServerError(1913, 16, "There is already an index on table '" + info->name + "' named '" + name + "'.");
                if (clustered && existing.integer(0) == 1)
                    throw ServerError(1902, 16, "Cannot create more than one clustered index on table '" + info->name +
                                                    "'. Drop the existing clustered index '" + existing.text(1) +
                                                    "' before creating another.");
            }
        }
        NewIndex index;
        index.name = name;
        std::string columnsSql;
        for (const auto& c : columns) {
            int at = info->findColumn(c);
            if (at < 0) throw ServerError(1911, 16, "Column name '" + c + "' does not exist in the target table.");
            index.colids.push_back(info->columns[static_cast<std::size_t>(at)].colid);
            columnsSql += (columnsSql.empty() ? "" : ", ") + sqlite::quoteIdentifier(info->columns[static_cast<std::size_t>(at)].name);
        }
        atomically(db.handle(), [&] {
            index.indid = clustered ? 1 : catalog.nextIndexId(info->id);
            index.status = (unique ? indexstatus::kUnique : 0) | (clustered ? indexstatus::kClustered : 0);
            if (clustered) catalog.removeIndex(info->id, 0);
            catalog.addIndex(info->id, index);
            std::string sql = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                              sqlite::quoteIdentifier("~ix~" + std::to_string(info->id) + "~" + std::to_string(index.indid)) +
                              " ON " + sqlite::quoteIdentifier(info->name) + " (" + columnsSql + ")";
            try {
                sqlite::exec(db.handle(), sql);
            } catch (const sqlite::Failure& failure) {
                if ((failure.code() & 0xFF) == SQLITE_CONSTRAINT) {
                    ServerError e(1505, 14, "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID " +
                                                std::to_string(index.indid) + ". Most significant primary key is '?'.");
                    e.terminated();
                    throw e;
                }
                throw;
            }
        });
        db.invalidate(info->name);
        context.done(false);
    }
};

}  // namespace

std::unique_ptr<Statement> parseCreateIndex(Parser& p) {
    p.expectWord("CREATE");
    auto s = std::make_unique<CreateIndexStatement>();
    if (p.acceptWord("UNIQUE")) s->unique = true;
    if (p.acceptWord("CLUSTERED")) s->clustered = true;
    else p.acceptWord("NONCLUSTERED");
    p.expectWord("INDEX");
    s->name = p.identifier();
    p.expectWord("ON");
    s->table = p.objectName();
    p.expectSymbol("(");
    do {
        s->columns.push_back(p.identifier());
        if (!p.acceptWord("ASC")) p.acceptWord("DESC");
    } while (p.acceptSymbol(","));
    p.expectSymbol(")");
    if (p.acceptWord("WITH")) {
        if (p.acceptSymbol("(")) {
            while (!p.peek().isSymbol(")") && p.peek().kind != TokenKind::End) p.next();
            p.expectSymbol(")");
        } else {
            do {
                p.next();
                if (p.acceptSymbol("=")) p.next();
            } while (p.acceptSymbol(","));
        }
    }
    if (p.acceptWord("ON")) {
        if (p.peek().kind == TokenKind::String) p.next();
        else p.identifier();
    }
    return s;
}

}  // namespace sandbox::tsql
