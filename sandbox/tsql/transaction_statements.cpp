#include "catalog/server_error.h"
#include "tsql/parser.h"
#include "tsql/statements.h"
#include "tsql/transaction.h"

namespace sandbox::tsql {
namespace {

constexpr const char* kSavepoint = "tsql_transaction";

// BEGIN TRAN[SACTION] [name]: @@TRANCOUNT + 1; the first one starts the transaction in
// the current database.
class BeginTransactionStatement : public Statement {
public:
    std::string name;

    void execute(ExecContext& context) override {
        SessionState& session = context.session();
        if (++session.transaction.count == 1) {
            session.transaction.name = name;
            try {
                enlistInTransaction(session, context.db());
            } catch (...) {
                session.transaction = {};
                throw;
            }
        }
        context.done(false);
    }
};

// COMMIT [TRAN[SACTION] [name] | WORK]: @@TRANCOUNT - 1; the last one makes the work
// permanent. Without a transaction: 3902.
class CommitStatement : public Statement {
public:
    void execute(ExecContext& context) override {
        SessionState& session = context.session();
        if (session.transaction.count == 0)
            throw ServerError(
                3902, 16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        if (--session.transaction.count == 0) commitTransaction(context.databases(), session);
        context.done(false);
    }
};

// ROLLBACK [TRAN[SACTION] [name] | WORK]: undoes the whole transaction whatever the
// nesting; a name must be the outermost transaction's (6401 otherwise, as there are no
// savepoints). Without a transaction: 3903.
class RollbackStatement : public Statement {
public:
    std::string name;

    void execute(ExecContext& context) override {
        SessionState& session = context.session();
        if (session.transaction.count == 0)
            throw ServerError(
                3903, 16,
                "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        if (!name.empty() && name != session.transaction.name)
            throw ServerError(6401, 16,
                              "Cannot roll back " + name +
                                  ". No transaction or savepoint of that name was found.");
        rollBackTransaction(context.databases(), session);
        context.rolledBack();
        context.done(false);
    }
};

// The optional transaction name after TRAN, TRANSACTION (or nothing after WORK).
std::string transactionName(Parser& p) {
    if (p.acceptWord("WORK")) return {};
    if (!p.acceptWord("TRAN") && !p.acceptWord("TRANSACTION")) return {};
    if (p.atStatementEnd() || p.peek().isWord("END") || p.peek().isWord("ELSE")) return {};
    if (p.peek().kind == TokenKind::Variable) return p.next().text;
    return p.identifier();
}

}  // namespace

void enlistInTransaction(SessionState& session, Database& db) {
    TransactionState& transaction = session.transaction;
    if (transaction.count == 0) return;
    for (const std::string& name : transaction.databases)
        if (name == db.name()) return;
    sqlite::exec(db.handle(), std::string("SAVEPOINT ") + kSavepoint);
    transaction.databases.push_back(db.name());
}

void commitTransaction(DatabaseDirectory& databases, SessionState& session) {
    for (const std::string& name : session.transaction.databases)
        if (Database* db = databases.find(name))
            sqlite::exec(db->handle(), std::string("RELEASE ") + kSavepoint);
    session.transaction = {};
}

void rollBackTransaction(DatabaseDirectory& databases, SessionState& session) noexcept {
    for (const std::string& name : session.transaction.databases) {
        Database* db = databases.find(name);
        if (!db) continue;
        const std::string sql =
            std::string("ROLLBACK TO ") + kSavepoint + "; RELEASE " + kSavepoint;
        sqlite3_exec(db->handle(), sql.c_str(), nullptr, nullptr, nullptr);
        db->reloadAfterRollback();
    }
    session.transaction = {};
    ++session.rollbacks;
}

std::unique_ptr<Statement> parseBeginTransaction(Parser& p) {
    p.expectWord("BEGIN");
    auto s = std::make_unique<BeginTransactionStatement>();
    s->name = transactionName(p);
    return s;
}

std::unique_ptr<Statement> parseCommit(Parser& p) {
    p.expectWord("COMMIT");
    transactionName(p);
    return std::make_unique<CommitStatement>();
}

std::unique_ptr<Statement> parseRollback(Parser& p) {
    p.expectWord("ROLLBACK");
    auto s = std::make_unique<RollbackStatement>();
    s->name = transactionName(p);
    return s;
}

}  // namespace sandbox::tsql
