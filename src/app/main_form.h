#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

// System colours as the window toolkit names them.
inline constexpr std::uint32_t kButtonFaceColour = 0x8000000F;
inline constexpr std::uint32_t kWindowBackgroundColour = 0x80000005;

struct TextBox {
    std::string text;
    bool visible = true;
    bool enabled = true;
    std::uint32_t backColour = kWindowBackgroundColour;
};

struct CheckBox {
    std::string caption;
    int value = 0;  // ticked when not 0
    bool visible = true;
    bool enabled = true;
    bool ticked() const { return value != 0; }
};

struct Button {
    std::string caption;
    bool visible = true;
    bool enabled = true;
};

struct Label {
    std::string caption;
    bool visible = true;
};

struct ProgressBar {
    int max = 100;
    int value = 0;
    bool visible = true;
    // Adds 1 to the value unless that would pass the maximum.
    void advance() {
        if (max >= value + 1) ++value;
    }
};

struct Timer {
    int intervalMs = 20000;
    bool enabled = true;
};

// The state of every control of the main window under the controls' own names, plus the
// run state the window owns across operations. Plain data: the operations read and
// write it, the front end shows it. Owned by the front end, one per program run.
class MainForm {
public:
    MainForm();

    std::string caption;

    TextBox FXServer;
    TextBox FXDatabase;
    TextBox FXUsername;
    TextBox FXPassword;

    CheckBox FXAuto;
    CheckBox FXSilence;
    CheckBox FXBackup;
    CheckBox FXDefaults;
    CheckBox FXIndexes;
    CheckBox FXDadosUpdate;
    CheckBox FXDebug;
    CheckBox FXDadosUpdateMenus;
    CheckBox FXDadosUpdateMenusClean;
    CheckBox FXDadosUpdatePesquisas;

    Button Command1;
    Button Command2;
    Button Command3;

    Label FXEvolucao;
    ProgressBar ProgressBar1;
    Timer Timer1;

    // Tables declined in debug mode; absent until the first one is added.
    std::optional<std::vector<std::string>> SkippedTables;
    // Raised by a press of Command2 while it reads "&Cancelar".
    bool CancelRequested = false;
    // Whether the target's tbVersao carries an upgrading mark; kept from run to run.
    bool UpgradeGuardActive = false;
};

class Host;

// The start of a phase that walks `count` rows: its progress text shown, the bar sized to
// the count and set to 0, the window repainted and pending events let run.
void showPhaseProgress(MainForm& form, Host& host, const std::string& text, long count);

// The window's design-time server name; a deployment setting.
inline constexpr const char* kDefaultServer = "localhost";

// Captions that the operations compare with or restore.
inline constexpr const char* kUpgradeCaption = "Processar Upgrade";
inline constexpr const char* kCancelCaption = "&Cancelar";

}  // namespace app
