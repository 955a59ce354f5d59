#pragma once

#include <functional>

#include "app/host.h"
#include "app/main_form.h"

class QMessageBox;
class QWidget;

namespace qtui {

class MainWindow;

// The Host of the window: QMessageBox for message boxes (the classic flags give the
// buttons, the icon and the default button), processEvents for the pump, the system
// clipboard, and closing the window for unload. Lives as long as its window.
class QtHost : public app::Host {
public:
    explicit QtHost(MainWindow& window);

    int messageBox(const std::string& text, int flags,
                   const std::optional<std::string>& title) override;
    void repaint() override;
    void pumpEvents() override;
    void setClipboard(const std::string& text) override;
    void unload() override;

    // Replaces the modal QMessageBox, so that tests can answer and record boxes.
    using MessageBoxHandler = std::function<int(const std::string& text, int flags,
                                                const std::string& title)>;
    void setMessageBoxHandler(MessageBoxHandler handler) { m_handler = std::move(handler); }

private:
    MainWindow& m_window;
    MessageBoxHandler m_handler;
};

// Gives `box` the title, the text, the icon and the buttons of the classic flags, the
// default button chosen (No for a Yes/No box with kDefaultButton2).
void setUpMessageBox(QMessageBox& box, const std::string& text, int flags, const std::string& title);

// The classic answer of the default button of a box with these flags.
int defaultAnswer(int flags);

// Shows a modal QMessageBox for the classic flags and returns the classic answer.
int showQtMessageBox(QWidget* parent, const std::string& text, int flags, const std::string& title);

}  // namespace qtui
