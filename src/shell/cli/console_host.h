#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/host.h"
#include "app/main_form.h"
#include "upgrade/run_record.h"

namespace cli {

// How questions are answered: Ask asks on a terminal and takes each question's default
// button otherwise; the others answer every question without asking.
enum class AnswerPolicy { Ask, Default, Yes, No };

// The Host of the command line: message boxes on standard error as "title: text", questions
// asked as y/n on a terminal (`interactive`) or answered by the policy, the progress label and
// bar drawn as one line on a terminal (one line per progress text otherwise), the
// clipboard kept for the end of the run. A message that repeats the previous one exactly
// is held back and counted; the count follows as one line, "title: text (repeated 2,099
// times)", before the next other output or at finishOutput(). Questions are never folded.
class ConsoleHost : public app::Host {
public:
    ConsoleHost(const app::MainForm& form, std::istream& in, std::ostream& err,
                bool interactive, AnswerPolicy policy);

    int messageBox(const std::string& text, int flags,
                   const std::optional<std::string>& title) override;
    void repaint() override;
    void pumpEvents() override;
    void setClipboard(const std::string& text) override { m_clipboard = text; }
    void unload() override { m_unloaded = true; }

    // Runs at every pumpEvents(): where a pending signal turns into a button press.
    void onPump(std::function<void()> action) { m_onPump = std::move(action); }

    const std::string& clipboard() const { return m_clipboard; }
    // The last non-empty progress text shown; empty before the first.
    const std::string& lastProgress() const { return m_lastProgress; }
    bool unloaded() const { return m_unloaded; }

    // Ends the progress line and writes the count of held-back repeats, so that later
    // output starts on a line of its own after everything this host has to say.
    void finishOutput();

    // Writes `line` as a line that stays: on a terminal it takes the place of the progress
    // line, which is drawn again below it at the next repaint.
    void writeLastingLine(const std::string& line);

private:
    int answerQuestion(int flags);
    void writeRepeatCount();

    const app::MainForm& m_form;
    std::istream& m_in;
    std::ostream& m_err;
    bool m_interactive;
    AnswerPolicy m_policy;
    std::function<void()> m_onPump;
    std::string m_clipboard;
    bool m_unloaded = false;
    std::string m_lastCaption;
    std::string m_lastProgress;
    bool m_progressLineOpen = false;
    std::optional<std::string> m_lastMessage;  // the last message printed, as printed
    long m_repeats = 0;                         // held-back repeats of m_lastMessage
    std::chrono::steady_clock::time_point m_lastDraw{};
};

// A message text as a console shows it: every LF CR pair becomes one line break.
std::string consoleText(const std::string& text);

// A count with its thousands grouped by commas. Example: 2099 -> "2,099".
using upgrade::groupedCount;

}  // namespace cli
