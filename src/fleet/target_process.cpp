#include "fleet/target_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "fleet/guard_ledger.h"
#include "fleet/guard_watch.h"
#include "fleet/target_host.h"
#include "store/definitions_store.h"

namespace fleet {
namespace {

std::atomic<int> g_cancelSignals{0};

extern "C" void onTargetCancelSignal(int) {
    // The first signal is the cancel press, honoured at the run's next row; a second one
    // ends the process at once, as the command line does.
    if (g_cancelSignals.fetch_add(1) > 0) _exit(3);
}

// Writes a whole event line to the fleet; a fleet that is gone loses it.
void writeEvent(int fd, const TargetEvent& event) {
    const std::string line = encodeEvent(event);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Standard input from nowhere, standard output and error into the messages file: nothing
// a library prints may reach the fleet's screen.
void redirectStandardStreams(const std::filesystem::path& messages) {
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(messages.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (in >= 0) {
        ::dup2(in, STDIN_FILENO);
        ::close(in);
    }
    if (out >= 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::close(out);
    }
}

// The run error handler's message without its closing "Objecto: " when it names no
// object. Example: "Login failed.\n\nObjecto: " -> "Login failed.".
std::string withoutEmptyObject(std::string message) {
    constexpr std::string_view kEmptyObject = "\n\nObjecto: ";
    if (message.size() >= kEmptyObject.size() &&
        message.compare(message.size() - kEmptyObject.size(), kEmptyObject.size(), kEmptyObject) == 0) {
        message.resize(message.size() - kEmptyObject.size());
    }
    while (!message.empty() && (message.back() == ' ' || message.back() == '\n')) message.pop_back();
    return message;
}

}  // namespace

int exitCodeOf(app::OperationOutcome outcome) {
    switch (outcome) {
        case app::OperationOutcome::Completed:
            return 0;
        case app::OperationOutcome::Failed:
            return 1;
        case app::OperationOutcome::Refused:
            return 2;
        case app::OperationOutcome::Cancelled:
            return 3;
    }
    return 1;
}

void takeCancelSignals() {
    std::signal(SIGPIPE, SIG_IGN);  // a fleet that is gone makes event writes fail, nothing more
    std::signal(SIGINT, onTargetCancelSignal);
    std::signal(SIGTERM, onTargetCancelSignal);
}

int runTargetHere(const Target& target, const TargetJob& job, int eventFd) {
    const std::filesystem::path messagesPath = job.folder / kMessagesFile;
    redirectStandardStreams(messagesPath);
    auto send = [eventFd](const TargetEvent& event) { writeEvent(eventFd, event); };

    const RunOptions options = overlay(target.options, job.commandLine);
    app::MainForm form;
    form.FXServer.text = target.server;
    form.FXDatabase.text = target.database;
    form.FXUsername.text = target.user;
    form.FXPassword.text = target.password;
    applyRunOptions(options, form);

    std::ofstream messages(messagesPath, std::ios::app | std::ios::binary);
    TargetHost host(form, messages, options.answer.value_or(Answer::Default), send);
    StatementCounts counts;
    const GuardLedger ledger(job.ledgerPath);
    const app::ConnectionOpeners openers{
        [&](db::ServerSettings settings) -> std::unique_ptr<db::Connection> {
            if (options.commandTimeoutSeconds) settings.commandTimeoutSeconds = *options.commandTimeoutSeconds;
            if (options.loginTimeoutSeconds) settings.connectTimeoutSeconds = *options.loginTimeoutSeconds;
            auto onGuard = [record = ledger.recorder(settings.server, settings.database), &send](GuardEvent event) {
                record(event);
                send({TargetEvent::Kind::Guard, event == GuardEvent::Raised ? "raised" : "released", {}, 0, 0});
            };
            return std::make_unique<WatchedTarget>(db::odbc::openServer(settings), onGuard, &counts);
        },
        [&job] { return store::openStoreWithPrivateLog(job.storePath, job.folder / kStatementLogFile); }};

    int pressed = 0;
    long sentStatements = -1;
    std::chrono::steady_clock::time_point sentAt{};
    host.onPump([&] {
        // The counts as they grow, ten times a second at most: a row is often quicker.
        const auto now = std::chrono::steady_clock::now();
        if (counts.statements != sentStatements && now - sentAt >= std::chrono::milliseconds(100)) {
            sentStatements = counts.statements;
            sentAt = now;
            send({TargetEvent::Kind::Counts, {}, {}, counts.statements, counts.failures});
        }
        // A pending signal becomes a press of the button, which cancels now.
        if (g_cancelSignals.load() > pressed) {
            pressed = g_cancelSignals.load();
            job.operation->press(form, host, openers);
        }
    });
    app::OperationOutcome outcome = app::OperationOutcome::Failed;
    std::string error;
    try {
        outcome = job.operation->press(form, host, openers).value_or(app::OperationOutcome::Failed);
        if (outcome == app::OperationOutcome::Failed || outcome == app::OperationOutcome::Refused)
            error = withoutEmptyObject(host.lastMessage());
    } catch (const std::exception& e) {
        // The operations end through their own error exits; this is a fault of the
        // program, kept to this target.
        error = e.what();
        messages << "sqlupgrade-cli: " << error << '\n';
    }
    messages.flush();
    send({TargetEvent::Kind::Counts, {}, {}, counts.statements, counts.failures});
    send({TargetEvent::Kind::End, app::outcomeWord(outcome), error, 0, 0});
    return exitCodeOf(outcome);
}

}  // namespace fleet
