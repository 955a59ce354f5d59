#pragma once

#include <optional>
#include <string>

namespace app {

// Message box flags and answers, with the classic values so that "flags 36" reads 36.
namespace mb {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kQuestion = 32;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton2 = 256;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace mb

// The platform services the operations call: message boxes, keeping the window alive,
// the clipboard, closing the window. The window implements it with Qt, the command line
// on the console, tests with a scripted fake. Calls come from the operation's thread.
class Host {
public:
    virtual ~Host() = default;

    // Shows `text` with the given flags and returns the answer (mb::kAnswer*). A missing
    // title means the application's default title (the window caption).
    virtual int messageBox(const std::string& text, int flags,
                           const std::optional<std::string>& title) = 0;

    // Redraws the window from the form's current state.
    virtual void repaint() {}

    // Lets pending window events run (clicks, the timer); this is where a cancel press
    // reaches a running operation.
    virtual void pumpEvents() = 0;

    virtual void setClipboard(const std::string& text) = 0;

    // Closes the main window, which ends the program.
    virtual void unload() = 0;
};

// Line break inside message texts: line feed, then carriage return.
inline constexpr const char* kLfCr = "\n\r";

}  // namespace app
