#pragma once

#include <memory>
#include <string>

#include "tsql/ast.h"
#include "tsql/statement.h"

namespace sandbox::tsql {

class Parser;

// The parse functions of the statement families, one file each; statement_registry.cpp
// maps leading keywords onto them.
std::unique_ptr<Statement> parseSelectStatement(Parser& parser);    // select_statement.cpp
std::unique_ptr<Statement> parseInsert(Parser& parser);             // insert_statement.cpp
std::unique_ptr<Statement> parseUpdate(Parser& parser);             // update_delete_statements.cpp
std::unique_ptr<Statement> parseDelete(Parser& parser);             // update_delete_statements.cpp
std::unique_ptr<Statement> parseCreateTable(Parser& parser);        // create_table_statement.cpp
std::unique_ptr<Statement> parseCreateIndex(Parser& parser);        // create_index_statement.cpp
std::unique_ptr<Statement> parseCreateModule(Parser& parser);       // module_statements.cpp (CREATE/ALTER VIEW/PROCEDURE/FUNCTION)
std::unique_ptr<Statement> parseDrop(Parser& parser);               // drop_statement.cpp
std::unique_ptr<Statement> parseSet(Parser& parser);                // set_statement.cpp
std::unique_ptr<Statement> parseUse(Parser& parser);                // database_statements.cpp
std::unique_ptr<Statement> parseCreateDatabase(Parser& parser);     // database_statements.cpp
std::unique_ptr<Statement> parsePrint(Parser& parser);              // database_statements.cpp
std::unique_ptr<Statement> parseAlterTable(Parser& parser);         // alter_table_statement.cpp (+ alter_column_statement.cpp)
std::unique_ptr<Statement> parseDropIndex(Parser& parser);          // drop_index_statement.cpp
std::unique_ptr<Statement> parseExecute(Parser& parser);            // execute_statement.cpp (EXEC, EXECUTE)
// "[@status =] procedure arguments" after EXEC, or a batch's first statement (execute_statement.cpp).
std::unique_ptr<Statement> parseProcedureCall(Parser& parser);
std::unique_ptr<Statement> parseBackup(Parser& parser);             // backup_statements.cpp
std::unique_ptr<Statement> parseAlterDatabase(Parser& parser);      // alter_database_statement.cpp
std::unique_ptr<Statement> parseBeginTransaction(Parser& parser);  // transaction_statements.cpp
std::unique_ptr<Statement> parseCommit(Parser& parser);            // transaction_statements.cpp
std::unique_ptr<Statement> parseRollback(Parser& parser);          // transaction_statements.cpp
std::unique_ptr<Statement> parseDeclare(Parser& parser);            // variable_statements.cpp
std::unique_ptr<Statement> parseSetVariable(Parser& parser);        // variable_statements.cpp (at SET's @v)
std::unique_ptr<Statement> parseRaiserror(Parser& parser);          // raiserror_statement.cpp
std::unique_ptr<Statement> parseCheckpoint(Parser& parser);         // maintenance_statements.cpp
std::unique_ptr<Statement> parseDbcc(Parser& parser);               // dbcc_statement.cpp (DBCC CHECKIDENT)
std::unique_ptr<Statement> parseUpdateStatistics(Parser& parser);   // maintenance_statements.cpp
std::unique_ptr<Statement> parseCreateTrigger(Parser& parser);      // trigger_statements.cpp
std::unique_ptr<Statement> parseDropTrigger(Parser& parser);        // trigger_statements.cpp
std::unique_ptr<Statement> parsePermission(Parser& parser);         // permission_statements.cpp (GRANT, REVOKE, DENY)
std::unique_ptr<Statement> parseUnsupported(Parser& parser);        // unsupported_statement.cpp
// Skips the rest of a statement the sandbox does not carry out (from the current token)
// and returns a statement that fails naming `what`, e.g. "INSERT ... SELECT".
std::unique_ptr<Statement> skipUnsupported(Parser& parser, std::string what);
// RETURN expression inside a stored procedure: sets its return status (procedure_runner.cpp).
std::unique_ptr<Statement> makeReturnStatement(ExprPtr value);
// SELECT ... INTO new_table: a query that creates a table with its result (select_into_statement.cpp).
std::unique_ptr<Statement> makeSelectInto(std::shared_ptr<Select> query);
// SELECT @v = expr, ...: a query whose items all assign variables (variable_statements.cpp).
std::unique_ptr<Statement> makeAssigningSelect(std::shared_ptr<Select> query);

}  // namespace sandbox::tsql
