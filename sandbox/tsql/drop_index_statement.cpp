#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/column_definition.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// One index named as SQL Server 2000 wants it: table.index ([tbX].[IX_a], dbo.tbX.IX_a).
struct IndexName {
    std::string table;
    std::string index;
    std::string written() const { return table + "." + index; }
};

// DROP INDEX t.ix [, ...]: the sysindexes and sysindexkeys rows and the SQLite index go;
// a dropped clustered index gives the table its heap row back. An index that backs a
// PRIMARY KEY or UNIQUE constraint is refused (3723); a missing one is 3703, and the
// other names of the statement are still dropped.
class DropIndexStatement : public Statement {
public:
    std::vector<IndexName> names;

    void execute(ExecContext& context) override {
        Database& db = context.db();
        std::optional<ServerError> failure;
        for (const auto& name : names) {
            try {
                drop(db, name);
            } catch (const ServerError& e) {
                failure = e;
            }
        }
        if (failure) throw *failure;
        context.done(false);
    }

private:
    static void drop(Database& db, const IndexName& name) {
        auto info = db.table(name.table);
        std::optional<int> indid;
        int status = 0;
        if (info && info->xtype == "U") {
            sqlite::Statement q(db.handle(), "SELECT indid, status FROM sysindexes WHERE id = ? AND name = ? AND indid BETWEEN 1 AND 250");
            q.bind(1, std::int64_t{info->id}).bind(2, name.index);
            if (q.step()) {
                indid = static_cast<int>(q.integer(0));
                status = static_cast<int>(q.integer(1));
            }
        }
        if (!indid)
            throw ServerError(3703, 11, "Cannot drop the index '" + name.written() +
                                            "', because it does not exist in the system catalog.");
        if (status & (indexstatus::kPrimaryKey | indexstatus::kUniqueConstraint))
            throw ServerError(3723, 16, "An explicit DROP INDEX is not allowed on index '" + name.written() +
                                            "'. It is being used for " +
                                            ((status & indexstatus::kPrimaryKey) ? "PRIMARY KEY" : "UNIQUE KEY") +
                                            " constraint enforcement.");
        atomically(db.handle(), [&] {
            db.catalog().removeIndex(info->id, *indid);
            sqlite::exec(db.handle(), "DROP INDEX IF EXISTS " + sqlite::quoteIdentifier(sqliteIndexName(info->id, *indid)));
            if (*indid == 1) db.catalog().addIndex(info->id, NewIndex{info->name, 0, 0, {}});
        });
        db.invalidate(info->name);
    }
};

}  // namespace

std::unique_ptr<Statement> parseDropIndex(Parser& p) {
    p.expectWord("DROP");
    p.expectWord("INDEX");
    auto s = std::make_unique<DropIndexStatement>();
    do {
        ObjectName name = p.objectName();
        if (name.parts.size() < 2)
            throw ServerError(159, 15, "Must specify the table name and index name for the DROP INDEX statement.", 1,
                              ErrorScope::Batch);
        s->names.push_back(IndexName{name.parts[name.parts.size() - 2], name.parts.back()});
    } while (p.acceptSymbol(","));
    return s;
}

}  // namespace sandbox::tsql
