#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/host.h"
#include "app/main_form.h"
#include "fleet/run_options.h"
#include "fleet/target_events.h"

namespace fleet {

// The Host of one target of a fleet, in the process that runs it. No one is there to
// click: messages are written to `messages` as "title: text" lines (a message's own line
// breaks kept), each question is answered by `answer` and the answer written after it,
// and each progress text is written when it changes. What the fleet shows goes to
// `events`: the progress text, the bar (at most ten times a second), and the guard found
// raised when the guard question is answered No.
class TargetHost : public app::Host {
public:
    TargetHost(const app::MainForm& form, std::ostream& messages, Answer answer,
               std::function<void(const TargetEvent&)> events);

    int messageBox(const std::string& text, int flags, const std::optional<std::string>& title) override;
    void repaint() override;
    void pumpEvents() override;
    void setClipboard(const std::string& text) override;
    void unload() override {}

    // Runs at every pumpEvents(): where a pending cancel turns into a press of the button.
    void onPump(std::function<void()> action) { m_onPump = std::move(action); }

    // The last message shown, as written; empty before the first.
    const std::string& lastMessage() const { return m_lastMessage; }

private:
    const app::MainForm& m_form;
    std::ostream& m_messages;
    Answer m_answer;
    std::function<void(const TargetEvent&)> m_events;
    std::function<void()> m_onPump;
    std::string m_lastMessage;
    std::string m_lastCaption;
    int m_lastValue = -1;
    int m_lastMax = -1;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

}  // namespace fleet
