#include "fake_host.h"

namespace testing_support {

int FakeHost::messageBox(const std::string& text, int flags,
                         const std::optional<std::string>& title) {
    messages.push_back({text, flags, title});
    if ((flags & 7) != app::mb::kYesNo) return app::mb::kAnswerOk;
    if (!answers.empty()) {
        const int next = answers.front();
        answers.pop_front();
        return next;
    }
    return (flags & app::mb::kDefaultButton2) ? app::mb::kAnswerNo : app::mb::kAnswerYes;
}

void FakeHost::pumpEvents() {
    ++pumps;
    for (auto& [n, action] : m_pumpActions) {
        if (n == pumps && action) {
            auto run = std::move(action);
            action = nullptr;
            run();
        }
    }
}

void FakeHost::atPump(int n, std::function<void()> action) {
    m_pumpActions.emplace_back(n, std::move(action));
}

}  // namespace testing_support
