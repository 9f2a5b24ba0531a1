#pragma once
// The "Controls" menu of the strip's close button, as data: the items in order, their
// titles, keys, check marks and actions. The shell turns it into a real menu.
#include <optional>
#include <string>
#include <vector>

namespace tw {

enum class ControlAction {
    none,
    openColony,
    openSettingsPanel,
    exportDiagnostics,
    selectDisplayScale,
    selectDisplayScaleAuto,
    toggleDeterministicMode
};

struct ControlMenuItem {
    std::string title{};
    ControlAction action = ControlAction::none;
    bool separator = false;
    bool checked = false;
    char key = 0;                            // pressed alone while the menu is open; 0: none
    std::optional<double> scale{};           // for selectDisplayScale
    std::vector<ControlMenuItem> submenu{};  // "Display scale"
    friend bool operator==(const ControlMenuItem&, const ControlMenuItem&) = default;
};

// `uiScale`: this run's scale; `storedScale`: the double under "TumblewickUIScale" (0 when missing).
std::vector<ControlMenuItem> controlMenuItems(double uiScale, double storedScale, bool deterministicMode);

// "Scale 125%": the scale times 100, toward zero.
std::string displayScaleTitle(double scale);

}  // namespace tw
