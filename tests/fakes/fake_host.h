#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/host.h"

namespace testing_support {

// One message box the operation showed.
struct ShownMessage {
    std::string text;
    int flags = 0;
    std::optional<std::string> title;
};

// A scripted Host for tests: answers questions from a queue (the box's default button
// when the queue is empty), records every message, the clipboard and unloads, and runs
// an action at a chosen pumpEvents() call, which is how a test presses a button in the
// middle of an operation.
class FakeHost : public app::Host {
public:
    int messageBox(const std::string& text, int flags,
                   const std::optional<std::string>& title) override;
    void repaint() override { ++repaints; }
    void pumpEvents() override;
    void setClipboard(const std::string& text) override { clipboard = text; }
    void unload() override { ++unloads; }

    // Queues answers for the next questions, in order.
    void answer(std::initializer_list<int> next) { answers.insert(answers.end(), next); }
    // Runs `action` during the `n`th call of pumpEvents() (1-based).
    void atPump(int n, std::function<void()> action);
    // The text of every message shown, in order.
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> out;
        for (const auto& message : messages) out.push_back(message.text);
        return out;
    }

    std::deque<int> answers;
    std::vector<ShownMessage> messages;
    std::optional<std::string> clipboard;
    int pumps = 0;
    int repaints = 0;
    int unloads = 0;

private:
    std::vector<std::pair<int, std::function<void()>>> m_pumpActions;
};

}  // namespace testing_support
