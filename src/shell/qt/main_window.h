#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>
#include <filesystem>
#include <functional>

#include "app/connection_openers.h"
#include "app/operation_outcome.h"
#include "app/main_form.h"
#include "shell/qt/qt_host.h"
#include "app/startup_settings.h"
#include "upgrade/run_statistics.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qtui {

// frmMain: the window of the product. Its widgets carry the controls' own object names
// and mirror the MainForm it owns; the buttons, the timer and the double-click run the
// core's operations on this (the only) thread. While an operation runs no second one
// starts; the upgrade button then cancels, and closing the window waits for the running
// operation to end.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow(std::filesystem::path programFolder, app::ConnectionOpeners openers,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    app::MainForm& form() { return m_form; }
    QtHost& host() { return m_host; }

    // The window load: Defs.ini, then the registry override.
    void load(const app::RegistryOverride& registryOverride = {});
    // Arms Timer1 for one shot after `intervalMs` (the form's 20000 ms by default).
    void armTimer(int intervalMs = -1);

    // Shows the form's state on the widgets.
    void syncFromForm();
    // Closes the window now, or as soon as the running operation has ended.
    void requestUnload();
    bool isBusy() const { return m_busy != Busy::None; }

    // The button actions, also reachable from tests and the timer.
    void clickCommand1();
    void clickCommand2();
    void clickCommand3();
    void doubleClickBackground();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Busy { None, Capture, Upgrade };

    void buildWidgets();
    void bindWidgets();
    void onTimer();
    // The notice under the buttons while the automatic start is pending: the seconds left.
    void showCountdown();
    // The notice after an upgrade that left the window open: how it ended, in numbers.
    void showRunNotice(app::OperationOutcome outcome, const upgrade::RunStatistics& statistics);
    // Runs an operation with the window marked busy; closes afterwards if asked to.
    void runOperation(Busy kind, const std::function<void()>& operation);
    // Hands any exception to the error path instead of letting it leave a slot.
    void guarded(const std::function<void()>& action);

    std::filesystem::path m_programFolder;
    app::ConnectionOpeners m_openers;
    app::MainForm m_form;
    QtHost m_host;
    QPixmap m_background;
    Busy m_busy = Busy::None;
    bool m_closeWhenIdle = false;
    bool m_closing = false;

    QLineEdit* m_server = nullptr;
    QLineEdit* m_database = nullptr;
    QLineEdit* m_username = nullptr;
    QLineEdit* m_password = nullptr;
    struct BoundCheckBox {
        QCheckBox* widget;
        app::CheckBox* state;
    };
    std::vector<BoundCheckBox> m_checkBoxes;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QLabel* m_evolucao = nullptr;
    QProgressBar* m_progress = nullptr;
    QTimer* m_timer = nullptr;
    // Beside the system's own controls: a line of this program's notices (the countdown
    // of the automatic start, how the last upgrade ended), refreshed each second.
    QLabel* m_notice = nullptr;
    QTimer* m_countdown = nullptr;
    QElapsedTimer m_armed;
};

}  // namespace qtui
