#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/host.h"
#include "app/main_form.h"
#include "catalog/catalog_model.h"
#include "db/connection.h"
#include "db/error.h"
#include "upgrade/run_statistics.h"

namespace upgrade {

// How a statement's failure is handled.
enum class ExecutionMode {
    IgnoreErrors,   // discarded; the run goes on
    AskOnError,     // "Deseja continuar?" unless FXSilence is ticked; No stops
    NotifyOnError,  // an OK box with the statement unless FXSilence is ticked; goes on
    AbortOnError,   // the error propagates to the caller's error exit
};

// Thrown when the user answers No to the question after a failed statement; where it
// leads (the run error handler, a False result) is up to the catcher.
class AnsweredNo : public std::exception {
public:
    explicit AnsweredNo(db::Error error) : m_error(std::move(error)) {}
    const db::Error& error() const { return m_error; }
    const char* what() const noexcept override { return "the user chose not to continue"; }

private:
    db::Error m_error;
};

// Builds the question shown after a failed statement.
using QuestionText = std::function<std::string(const db::Error& error)>;

// "Erro: " + description + LF CR LF CR + "Deseja continuar?"
std::string defaultQuestionText(const db::Error& error);

// A statement that failed and that the run went on after (its failure ignored by the
// phase's rule, answered Yes, silenced or notified), in the order the failures happened.
struct FailedStatement {
    std::string sql;
    db::Error error;
};

// Sends statements to the target in one of the execution modes and writes the statement
// log (tbLogs of the store). Keeps the failures of ask-on-error and notify-on-error
// statements (and those a phase records itself) for the run's account of what failed;
// the failures of ignore-errors statements are not kept. Owned by one run; not
// thread-safe.
class StatementRunner {
public:
    StatementRunner(db::Connection& target, db::Connection& store, const app::MainForm& form,
                    app::Host& host, ExecutionMode logMode);

    // Runs `sql` on the target. Returns the error of a failed statement that the mode let
    // through (ignored, answered Yes, silenced, notified), nothing on success. Throws the
    // db::Error in abort-on-error mode and AnsweredNo when the user answers No.
    // `change` names what the statement changes in the catalog: the watched catalog model
    // reads it again before it next answers about it (a failed statement may have changed
    // part of it, so it counts either way).
    std::optional<db::Error> execute(std::string_view sql, ExecutionMode mode,
                                     const catalog::Change& change,
                                     const QuestionText& question = defaultQuestionText);

    // The same for a statement that changes rows only, never the catalog.
    std::optional<db::Error> execute(std::string_view sql, ExecutionMode mode,
                                     const QuestionText& question = defaultQuestionText);

    // The catalog model that statements sent here keep fresh; none by default.
    void watch(catalog::Model* model) { m_catalog = model; }

    // The question of ask-on-error execution for a failure already caught (a statement
    // sent in ignore-errors mode whose failure is asked about later): nothing while
    // FXSilence is ticked; otherwise the Yes/No box titled "Schemix", and AnsweredNo
    // thrown on No. The caller records the failure with recordFailure.
    void askToContinue(const db::Error& error, const QuestionText& question = defaultQuestionText);

    // Records a failure of `sql` caught in ignore-errors mode that the phase reports or
    // asks about itself.
    void recordFailure(std::string_view sql, const db::Error& error);

    // Every failure recorded so far in this run, oldest first.
    const std::vector<FailedStatement>& failedStatements() const { return m_failed; }

    // Opens a record set on the target. In ignore-errors mode a failed query reads as a
    // query without rows (an open, empty record set); in abort-on-error mode the
    // db::Error propagates. The other modes ask or notify about statements, not queries:
    // they are taken as abort-on-error here.
    db::Recordset open(std::string_view sql, ExecutionMode mode,
                       db::CursorType cursor = db::CursorType::ForwardOnly,
                       db::LockType lock = db::LockType::ReadOnly);

    // Appends `sql` to the statement log:
    // INSERT INTO tbLogs (descrit) VALUES ('<sql as a text literal>'), in the log mode
    // (or the one given). A failure of an ignoring log insert is dropped.
    void log(std::string_view sql);
    void log(std::string_view sql, ExecutionMode mode);

    ExecutionMode logMode() const { return m_logMode; }

    // Counts every statement execute() sends, its failures let through and the rows the
    // server reports, into the step `statistics` is running; null counts nothing.
    void countInto(RunStatistics* statistics) { m_statistics = statistics; }

private:
    db::Connection& m_target;
    db::Connection& m_store;
    const app::MainForm& m_form;
    app::Host& m_host;
    ExecutionMode m_logMode;
    std::vector<FailedStatement> m_failed;
    RunStatistics* m_statistics = nullptr;
    catalog::Model* m_catalog = nullptr;
};

inline constexpr const char* kQuestionTitle = "Schemix";

}  // namespace upgrade
