#pragma once
// The settings panel as data: its scale choices, the values it opens with, and what
// Save writes and whether the app must relaunch for it. The panel widget only shows
// these and hands its controls' states back.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults.h"

namespace tw {

// The pop-up's titles in order: "Auto (Recommended)", then "100%" ... "140%".
const std::vector<std::string>& settingsScaleTitles();
// The pop-up's index for the stored scale (0 when nothing is stored); none when no
// fixed scale is within 0.02 of it, and the pop-up keeps its first item.
std::optional<int> settingsScaleSelection(double storedScale);

struct SettingsPanelValues {
    std::optional<int> scaleSelection;
    bool deterministicMode = false;
    std::string seedText;
    bool checkForUpdates = true;
    friend bool operator==(const SettingsPanelValues&, const SettingsPanelValues&) = default;
};

// What the panel shows when it is created.
SettingsPanelValues settingsPanelValues(const Defaults& defaults, bool deterministicMode,
                                        std::int64_t deterministicSeed);

// The controls' states when Save is pressed.
struct SettingsPanelState {
    std::string scaleTitle;  // the pop-up's selected title; empty without a selection
    bool deterministicMode = false;
    std::string seedText;
    bool checkForUpdates = false;  // false too when the checkbox is missing
};

struct SettingsSaveResult {
    bool deterministicMode = false;
    std::int64_t deterministicSeed = 0;
    bool relaunch = false;
    friend bool operator==(const SettingsSaveResult&, const SettingsSaveResult&) = default;
};

// Stores the panel's choices in `defaults` and says whether the scale change needs a
// relaunch. A seed that is not an integer keeps `currentSeed`. Choosing automatic
// relaunches only when a scale was stored; a fixed scale only when it differs from
// the running `uiScale`.
SettingsSaveResult saveSettings(const SettingsPanelState& state, double uiScale, std::int64_t currentSeed,
                                Defaults& defaults);

}  // namespace tw
