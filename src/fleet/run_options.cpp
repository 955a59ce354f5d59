#include "fleet/run_options.h"

#include <algorithm>

namespace fleet {

const std::vector<SwitchKey>& switchKeys() {
    using F = app::MainForm;
    static const std::vector<SwitchKey> keys{
        {"backup", &F::FXBackup},
        {"silent", &F::FXSilence},
        {"system_data", &F::FXDadosUpdate},
        {"menus", &F::FXDadosUpdateMenus},
        {"searches", &F::FXDadosUpdatePesquisas},
        {"rebuild_indexes", &F::FXIndexes},
        {"rebuild_defaults", &F::FXDefaults},
        {"clean_menus", &F::FXDadosUpdateMenusClean},
        {"debug", &F::FXDebug},
    };
    return keys;
}

std::optional<bool> RunOptions::switchValue(std::string_view key) const {
    const auto found = std::find_if(switches.begin(), switches.end(),
                                    [key](const auto& entry) { return entry.first == key; });
    if (found == switches.end()) return std::nullopt;
    return found->second;
}

void RunOptions::setSwitch(std::string_view key, bool value) {
    const auto found = std::find_if(switches.begin(), switches.end(),
                                    [key](const auto& entry) { return entry.first == key; });
    if (found != switches.end()) {
        found->second = value;
    } else {
        switches.emplace_back(key, value);
    }
}

RunOptions overlay(const RunOptions& low, const RunOptions& high) {
    RunOptions result = low;
    for (const auto& [key, value] : high.switches) result.setSwitch(key, value);
    if (high.commandTimeoutSeconds) result.commandTimeoutSeconds = high.commandTimeoutSeconds;
    if (high.loginTimeoutSeconds) result.loginTimeoutSeconds = high.loginTimeoutSeconds;
    if (high.answer) result.answer = high.answer;
    return result;
}

void applyRunOptions(const RunOptions& options, app::MainForm& form) {
    for (const SwitchKey& key : switchKeys()) {
        const std::optional<bool> value = options.switchValue(key.key);
        if (!value) continue;
        app::CheckBox& box = form.*key.box;
        box.value = *value ? 1 : 0;
        if (*value && &box == &form.FXDadosUpdateMenusClean) box.visible = true;
    }
}

}  // namespace fleet
