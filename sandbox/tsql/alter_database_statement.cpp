#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/exec_context.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// ALTER DATABASE db COLLATE name: the database's default collation changes. Character
// columns created afterwards take it; existing user columns keep theirs; systypes and the
// system tables' columns follow it in the catalog, as on SQL Server. An unknown collation
// is refused with 448, an unknown database with 911; master keeps its collation.
class AlterDatabaseCollateStatement : public Statement {
public:
    std::string database;
    std::string collation;

    void execute(ExecContext& context) override {
        Database* db = context.databases().find(database);
        if (!db)
            throw ServerError(911, 16, "Could not locate entry in sysdatabases for database '" + database +
                                           "'. No entry found with that name. Make sure that the name is entered correctly.");
        if (iequals(db->name(), "master"))
            throw ServerError(3708, 16, "Cannot alter the database 'master' because it is a system database.");
        CollationRules rules;
        if (!parseCollation(collation, rules)) throw ServerError(448, 16, "Invalid collation '" + collation + "'.");
        sqlite::exec(db->handle(), "SAVEPOINT alter_database");
        try {
            db->setCollation(collation);
        } catch (...) {
            sqlite3_exec(db->handle(), "ROLLBACK TO alter_database; RELEASE alter_database", nullptr, nullptr, nullptr);
            db->invalidateAll();
            throw;
        }
        sqlite::exec(db->handle(), "RELEASE alter_database");
        context.done(false);
    }
};

// ALTER DATABASE db SET option [, ...] [WITH ROLLBACK ... | NO_WAIT]: RECOVERY, AUTO_CLOSE
// and the other options SQL Server 2000 knows are accepted for a database that exists (911
// otherwise); none changes what the sandbox does.
class AlterDatabaseSetStatement : public Statement {
public:
    std::string database;

    void execute(ExecContext& context) override {
        if (!context.databases().find(database))
            throw ServerError(911, 16, "Could not locate entry in sysdatabases for database '" + database +
                                           "'. No entry found with that name. Make sure that the name is entered correctly.");
        context.done(false);
    }
};

std::unique_ptr<Statement> parseSetOptions(Parser& p, std::string database) {
    do {
        if (p.peek().kind != TokenKind::Word) p.syntaxError();
        p.next();
        // RECOVERY SIMPLE, AUTO_CLOSE ON, TORN_PAGE_DETECTION OFF, or a lone SINGLE_USER.
        if (p.peek().kind == TokenKind::Word && !p.peek().isWord("WITH") && !p.isStatementStart(p.peek())) p.next();
        else if (p.peek().isWord("ON") || p.peek().isWord("OFF")) p.next();
    } while (p.acceptSymbol(","));
    if (p.acceptWord("WITH")) {
        if (p.acceptWord("ROLLBACK")) {
            if (p.acceptWord("AFTER")) {
                if (p.peek().kind != TokenKind::Integer) p.syntaxError();
                p.next();
                p.acceptWord("SECONDS");
            } else {
                p.expectWord("IMMEDIATE");
            }
        } else {
            p.expectWord("NO_WAIT");
        }
    }
    auto s = std::make_unique<AlterDatabaseSetStatement>();
    s->database = std::move(database);
    return s;
}

}  // namespace

std::unique_ptr<Statement> parseAlterDatabase(Parser& p) {
    p.expectWord("ALTER");
    p.expectWord("DATABASE");
    std::string database = p.identifier();
    if (p.acceptWord("SET")) return parseSetOptions(p, std::move(database));
    if (!p.peek().isWord("COLLATE")) return skipUnsupported(p, "ALTER DATABASE ... " + upperName(p.peek().text));
    p.next();
    auto s = std::make_unique<AlterDatabaseCollateStatement>();
    s->database = std::move(database);
    s->collation = p.identifier();
    return s;
}

}  // namespace sandbox::tsql
