#include "upgrade/statement_runner.h"

#include "store/sql_value.h"

namespace upgrade {

std::string defaultQuestionText(const db::Error& error) {
    return "Erro: " + error.description() + app::kLfCr + app::kLfCr + "Deseja continuar?";
}

StatementRunner::StatementRunner(db::Connection& target, db::Connection& store,
                                 const app::MainForm& form, app::Host& host, ExecutionMode logMode)
    : m_target(target), m_store(store), m_form(form), m_host(host), m_logMode(logMode) {}

std::optional<db::Error> StatementRunner::execute(std::string_view sql, ExecutionMode mode,
                                                  const catalog::Change& change,
                                                  const QuestionText& question) {
    if (m_catalog) m_catalog->apply(change);
    return execute(sql, mode, question);
}

std::optional<db::Error> StatementRunner::execute(std::string_view sql, ExecutionMode mode,
                                                  const QuestionText& question) {
    PhaseStatistics* counts = m_statistics ? &m_statistics->current() : nullptr;
    if (counts) ++counts->statementsSent;
    try {
        const long rows = m_target.execute(sql);
        if (counts && rows > 0) counts->rowsTouched += rows;
        return std::nullopt;
    } catch (const db::Error& error) {
        // Counted before the question: a failure answered No ends the run, and the count
        // still says that it happened.
        if (counts) ++(mode == ExecutionMode::IgnoreErrors ? counts->failuresIgnored : counts->statementsFailed);
        if (mode == ExecutionMode::AbortOnError) throw;
        if (mode == ExecutionMode::IgnoreErrors) return error;
        recordFailure(sql, error);
        if (mode == ExecutionMode::AskOnError) {
            askToContinue(error, question);
        } else if (!m_form.FXSilence.ticked()) {  // notify-on-error
            m_host.messageBox(
                "Erro: " + error.description() + app::kLfCr + app::kLfCr + std::string(sql),
                app::mb::kOkOnly, std::nullopt);
        }
        return error;
    }
}

void StatementRunner::askToContinue(const db::Error& error, const QuestionText& question) {
    if (m_form.FXSilence.ticked()) return;
    const int answer =
        m_host.messageBox(question(error), app::mb::kYesNo | app::mb::kQuestion, kQuestionTitle);
    if (answer == app::mb::kAnswerNo) throw AnsweredNo(error);
}

void StatementRunner::recordFailure(std::string_view sql, const db::Error& error) {
    m_failed.push_back({std::string(sql), error});
}

db::Recordset StatementRunner::open(std::string_view sql, ExecutionMode mode, db::CursorType cursor,
                                    db::LockType lock) {
    if (mode != ExecutionMode::IgnoreErrors) return m_target.open(sql, cursor, lock);
    try {
        return m_target.open(sql, cursor, lock);
    } catch (const db::Error&) {  // a query that failed finds nothing
        return db::Recordset(std::vector<db::Column>{}, std::vector<std::vector<db::Value>>{});
    }
}

void StatementRunner::log(std::string_view sql) { log(sql, m_logMode); }

void StatementRunner::log(std::string_view sql, ExecutionMode mode) {
    const std::string insert = "INSERT INTO tbLogs (descrit) VALUES (" +
                               store::SQLValue(db::Value::text(std::string(sql)), 3) + ")";
    if (mode == ExecutionMode::AbortOnError) {
        m_store.execute(insert);
        return;
    }
    try {
        m_store.execute(insert);
    } catch (const db::Error&) {  // the log insert is let go in this mode
    }
}

}  // namespace upgrade
