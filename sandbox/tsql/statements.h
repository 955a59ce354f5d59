#pragma once

#include <memory>

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
std::unique_ptr<Statement> parseCreateModule(Parser& parser);       // module_statements.cpp (VIEW/PROCEDURE/FUNCTION)
std::unique_ptr<Statement> parseDrop(Parser& parser);               // drop_statement.cpp
std::unique_ptr<Statement> parseSet(Parser& parser);                // set_statement.cpp
std::unique_ptr<Statement> parseUse(Parser& parser);                // database_statements.cpp
std::unique_ptr<Statement> parseCreateDatabase(Parser& parser);     // database_statements.cpp
std::unique_ptr<Statement> parsePrint(Parser& parser);              // database_statements.cpp
std::unique_ptr<Statement> parseAlterTable(Parser& parser);         // alter_table_statement.cpp (+ alter_column_statement.cpp)
std::unique_ptr<Statement> parseDropIndex(Parser& parser);          // drop_index_statement.cpp
std::unique_ptr<Statement> parseExecute(Parser& parser);            // execute_statement.cpp (EXEC, EXECUTE)
std::unique_ptr<Statement> parseIf(Parser& parser);                 // if_statement.cpp
std::unique_ptr<Statement> parseBackup(Parser& parser);             // backup_statements.cpp
std::unique_ptr<Statement> parseAlterDatabase(Parser& parser);      // alter_database_statement.cpp
std::unique_ptr<Statement> parseBeginTransaction(Parser& parser);  // transaction_statements.cpp
std::unique_ptr<Statement> parseCommit(Parser& parser);            // transaction_statements.cpp
std::unique_ptr<Statement> parseRollback(Parser& parser);          // transaction_statements.cpp
std::unique_ptr<Statement> parseUnsupported(Parser& parser);        // unsupported_statement.cpp
// Skips the rest of a statement the sandbox does not carry out (from the current token)
// and returns a statement that fails naming `what`, e.g. "INSERT ... SELECT".
std::unique_ptr<Statement> skipUnsupported(Parser& parser, std::string what);

}  // namespace sandbox::tsql
