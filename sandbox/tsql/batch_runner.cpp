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

// Parses a whole batch; a syntax error is reported and yields no statements.
std::vector<std::unique_ptr<Statement>> parseOrReport(SessionState& session, Response& response, std::string_view sql) {
    try {
        Parser parser(sql, session.options.quotedIdentifier);
        return parser.parseBatch();
    } catch (const ServerError& e) {
        session.lastError = e.number();
        addError(response, e, 1);
        return {};
    }
}

}  // namespace

bool runStatements(ExecContext& context, const std::vector<std::unique_ptr<Statement>>& statements) {
    SessionState& session = context.session();
    Response& response = context.response();
    for (const auto& statement : statements) {
        try {
            session.lastError = 0;
            statement->execute(context);
        } catch (const BatchAborted&) {
            return false;
        } catch (const ServerError& e) {
            session.lastError = e.number();
            addError(response, e, statement->line);
            if (e.scope() == ErrorScope::Batch) return false;
        } catch (const sqlite::Failure& f) {
            try {
                context.raise(f);
            } catch (const ServerError& e) {
                session.lastError = e.number();
                addError(response, e, statement->line);
                if (e.scope() == ErrorScope::Batch) return false;
            }
        } catch (const std::exception& ex) {
            ServerError e(err::kUnsupported, 16, std::string("The sandbox server failed to run the statement: ") + ex.what());
            addError(response, e, statement->line);
        }
    }
    return true;
}

Response runBatch(DatabaseDirectory& databases, SessionState& session, std::string_view sql) {
    Response response;
    auto statements = parseOrReport(session, response, sql);
    ExecContext context(databases, session, response);
    runStatements(context, statements);
    return response;
}

void runNestedBatch(ExecContext& context, std::string_view sql) {
    auto statements = parseOrReport(context.session(), context.response(), sql);
    runStatements(context, statements);
}

}  // namespace sandbox::tsql
