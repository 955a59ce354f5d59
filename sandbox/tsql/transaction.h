#pragma once

#include "tsql/exec_context.h"

namespace sandbox::tsql {

// One level of SQL Server's transactions over SQLite savepoints. BEGIN TRANSACTION counts
// up (@@TRANCOUNT); the outermost one opens the savepoint "tsql_transaction" in every
// database the transaction touches (DDL included, as SQL Server allows); COMMIT counts down
// and the last one releases them; ROLLBACK undoes everything at once. A session that
// disconnects with a transaction open has it rolled back. While one session has a
// transaction open, the engine runs no other session's batch (see ServerEngine).

// Makes `db` part of the session's open transaction, when it has one and `db` is not yet.
// Throws sqlite::Failure.
void enlistInTransaction(SessionState& session, Database& db);

// Ends the session's transaction, keeping its work in every database it touched.
void commitTransaction(DatabaseDirectory& databases, SessionState& session);

// Ends the session's transaction, undoing its work in every database it touched; cached
// table descriptions of those databases are forgotten. Never throws: a database that
// cannot roll back is left as SQLite leaves it.
void rollBackTransaction(DatabaseDirectory& databases, SessionState& session) noexcept;

}  // namespace sandbox::tsql
