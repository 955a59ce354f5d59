#include "tsql/batch_runner.h"

#include "catalog/server_error.h"
#include "tsql/parser.h"

namespace sandbox::tsql {
namespace {

void addError(Response& response, const ServerError& e, int statementLine) {
    int line = e.line() > 0 ? e.line() : statementLine;
    response.items.emplace_back(Message{e.number(), e.state(), e.severity(), e.text(), {}, line});
    for (Message m : e.followUps()) {
        m.line = line;
        response.items.emplace_back(std::move(m));
    }
    Done done;
    done.error = true;
    response.items.emplace_back(done);
}

}  // namespace

Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql) {
    Response response;
    std::vector<std::unique_ptr<Statement>> statements;
    try {
        Parser parser(sql, session.options.quotedIdentifier);
        statements = parser.parseBatch();
    } catch (const ServerError& e) {
        session.lastError = e.number();
        addError(response, e, 1);
        return response;
    }
    ExecContext context(databases, session, response);
    for (auto& statement : statements) {
        try {
            session.lastError = 0;
            statement->execute(context);
        } catch (const ServerError& e) {
            session.lastError = e.number();
            addError(response, e, statement->line);
            if (e.scope() == ErrorScope::Batch) break;
        } catch (const sqlite::Failure& f) {
            try {
                context.raise(f);
            } catch (const ServerError& e) {
                session.lastError = e.number();
                addError(response, e, statement->line);
                if (e.scope() == ErrorScope::Batch) break;
            }
        } catch (const std::exception& ex) {
            ServerError e(err::kUnsupported, 16, std::string("The sandbox server failed to run the statement: ") + ex.what());
            addError(response, e, statement->line);
        }
    }
    return response;
}

}  // namespace sandbox::tsql
