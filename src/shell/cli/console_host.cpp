#include "shell/cli/console_host.h"

#include <iostream>

#include "app/message_text.h"

namespace cli {

std::string consoleText(const std::string& text) { return app::plainMessageText(text); }

ConsoleHost::ConsoleHost(const app::MainForm& form, std::istream& in, std::ostream& err,
                         bool interactive, AnswerPolicy policy)
    : m_form(form), m_in(in), m_err(err), m_interactive(interactive), m_policy(policy) {}

int ConsoleHost::messageBox(const std::string& text, int flags,
                            const std::optional<std::string>& title) {
    const bool question = (flags & 7) == app::mb::kYesNo;
    std::string shown = (title ? *title : m_form.caption) + ": " + consoleText(text);
    if (!question && shown == m_lastMessage) {
        ++m_repeats;
        return app::mb::kAnswerOk;
    }
    finishOutput();
    m_err << shown << '\n';
    if (!question) {
        m_lastMessage = std::move(shown);
        return app::mb::kAnswerOk;
    }
    m_lastMessage.reset();
    return answerQuestion(flags);
}

void ConsoleHost::writeRepeatCount() {
    if (m_repeats == 0) return;
    m_err << *m_lastMessage << " (repeated "
          << (m_repeats == 1 ? std::string("once") : groupedCount(m_repeats) + " times") << ")\n";
    m_repeats = 0;
}

int ConsoleHost::answerQuestion(int flags) {
    const bool defaultIsNo = (flags & app::mb::kDefaultButton2) != 0;
    if (!m_interactive || m_policy != AnswerPolicy::Ask) {
        bool yes = !defaultIsNo;
        if (m_policy == AnswerPolicy::Yes) yes = true;
        if (m_policy == AnswerPolicy::No) yes = false;
        m_err << "(answered " << (yes ? "yes" : "no") << ")\n";
        return yes ? app::mb::kAnswerYes : app::mb::kAnswerNo;
    }
    for (;;) {
        m_err << (defaultIsNo ? "[y/N] " : "[Y/n] ") << std::flush;
        std::string line;
        if (!std::getline(m_in, line)) return defaultIsNo ? app::mb::kAnswerNo : app::mb::kAnswerYes;
        if (line.empty()) return defaultIsNo ? app::mb::kAnswerNo : app::mb::kAnswerYes;
        if (line[0] == 'y' || line[0] == 'Y' || line[0] == 's' || line[0] == 'S') return app::mb::kAnswerYes;
        if (line[0] == 'n' || line[0] == 'N') return app::mb::kAnswerNo;
    }
}

void ConsoleHost::repaint() {
    const std::string& caption = m_form.FXEvolucao.visible ? m_form.FXEvolucao.caption : std::string();
    const app::ProgressBar& bar = m_form.ProgressBar1;
    if (!caption.empty()) m_lastProgress = caption;
    if (!m_interactive) {
        if (!caption.empty() && caption != m_lastCaption) {
            writeRepeatCount();
            m_err << caption << '\n';
        }
        m_lastCaption = caption;
        return;
    }
    // Redrawing on every row would cost more than the row itself: ten times a second is
    // plenty, plus every change of text.
    const auto now = std::chrono::steady_clock::now();
    if (caption == m_lastCaption && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    m_lastCaption = caption;
    if (caption.empty()) return;
    constexpr int kWidth = 30;
    const int filled = bar.max > 0 ? bar.value * kWidth / bar.max : 0;
    m_err << '\r' << caption << " [" << std::string(static_cast<std::size_t>(filled), '#')
          << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << bar.value
          << '/' << bar.max << "\x1b[K" << std::flush;
    m_progressLineOpen = true;
}

void ConsoleHost::pumpEvents() {
    if (m_onPump) m_onPump();
}

void ConsoleHost::writeLastingLine(const std::string& line) {
    if (m_progressLineOpen) {
        m_err << "\r\x1b[K";  // the progress line is wiped, not left behind
        m_progressLineOpen = false;
        m_lastCaption.clear();
    }
    writeRepeatCount();
    m_err << line << '\n' << std::flush;
}

void ConsoleHost::finishOutput() {
    if (m_progressLineOpen) {
        m_err << '\n';
        m_progressLineOpen = false;
        m_lastCaption.clear();
    }
    writeRepeatCount();
}

}  // namespace cli
