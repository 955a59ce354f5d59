#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "app/main_form.h"

namespace fleet {

// How a target's questions are answered: there is no one to ask while many targets run.
enum class Answer {
    Default,  // each question's default button (a raised guard is then not overridden)
    Yes,
    No,
};

// A run option that ticks a check box, under the name a targets file gives it: the
// command line's long option with '_' for '-'. Example: {"system_data", FXDadosUpdate}.
struct SwitchKey {
    std::string_view key;
    app::CheckBox app::MainForm::*box;
};

// Every switch a targets file may set, in the order the command line's help lists them.
const std::vector<SwitchKey>& switchKeys();

// The run options of one target, each absent until a level of the targets file gives it.
// Values are as given; the check boxes keep the window's defaults for what is absent.
struct RunOptions {
    std::vector<std::pair<std::string_view, bool>> switches;  // by SwitchKey::key
    std::optional<int> commandTimeoutSeconds;
    std::optional<int> loginTimeoutSeconds;
    std::optional<Answer> answer;

    // The value given for a switch, if any.
    std::optional<bool> switchValue(std::string_view key) const;
    void setSwitch(std::string_view key, bool value);
};

// `low` with every value that `high` gives put over it.
// Example: {backup false, answer yes} over-laid by {backup true} -> {backup true, answer yes}.
RunOptions overlay(const RunOptions& low, const RunOptions& high);

// Ticks or clears the check boxes the options give; clean_menus also shows its box, as
// the window shows it before it can be ticked. Time-outs and the answer are not on the form.
void applyRunOptions(const RunOptions& options, app::MainForm& form);

}  // namespace fleet
