#include "fleet/target_host.h"

#include <ostream>

#include "app/message_text.h"
#include "upgrade/upgrade_run.h"

namespace fleet {

TargetHost::TargetHost(const app::MainForm& form, std::ostream& messages, Answer answer,
                       std::function<void(const TargetEvent&)> events)
    : m_form(form), m_messages(messages), m_answer(answer), m_events(std::move(events)) {}

int TargetHost::messageBox(const std::string& text, int flags, const std::optional<std::string>& title) {
    m_lastMessage = app::plainMessageText(text);
    m_messages << (title ? *title : m_form.caption) << ": " << m_lastMessage << '\n';
    int answer = app::mb::kAnswerOk;
    if ((flags & 7) == app::mb::kYesNo) {
        const bool defaultIsNo = (flags & app::mb::kDefaultButton2) != 0;
        const bool yes = m_answer == Answer::Yes || (m_answer == Answer::Default && !defaultIsNo);
        m_messages << "(answered " << (yes ? "yes" : "no") << ")\n";
        answer = yes ? app::mb::kAnswerYes : app::mb::kAnswerNo;
        if (!yes && title == upgrade::kGuardQuestionTitle)
            m_events({TargetEvent::Kind::Guard, "found", {}, 0, 0});
    }
    m_messages.flush();
    return answer;
}

void TargetHost::repaint() {
    const std::string& caption = m_form.FXEvolucao.visible ? m_form.FXEvolucao.caption : std::string();
    if (!caption.empty() && caption != m_lastCaption) {
        m_messages << caption << '\n' << std::flush;
        m_events({TargetEvent::Kind::Phase, caption, {}, 0, 0});
        m_lastValue = m_lastMax = -1;
    }
    m_lastCaption = caption;
    const app::ProgressBar& bar = m_form.ProgressBar1;
    const auto now = std::chrono::steady_clock::now();
    if (caption.empty() || (bar.value == m_lastValue && bar.max == m_lastMax) ||
        (bar.max == m_lastMax && now - m_lastProgress < std::chrono::milliseconds(100))) {
        return;
    }
    m_lastProgress = now;
    m_lastValue = bar.value;
    m_lastMax = bar.max;
    m_events({TargetEvent::Kind::Progress, {}, {}, bar.value, bar.max});
}

void TargetHost::pumpEvents() {
    if (m_onPump) m_onPump();
}

void TargetHost::setClipboard(const std::string& text) {
    m_messages << "Clipboard:\n" << text << '\n' << std::flush;
}

}  // namespace fleet
