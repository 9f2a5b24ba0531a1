#include "Tumblewick/shell/launch/controls_menu.h"

#include <cmath>

namespace tw {

std::string displayScaleTitle(double scale) {
    return "Scale " + std::to_string(static_cast<long long>(std::trunc(scale * 100 + 1e-9))) + "%";
}

std::vector<ControlMenuItem> controlMenuItems(double uiScale, double storedScale, bool deterministicMode) {
    ControlMenuItem separator{.separator = true};
    ControlMenuItem scales{.title = "Display scale"};
    for (double scale : {1.0, 1.1, 1.25, 1.4}) {
        scales.submenu.push_back({.title = displayScaleTitle(scale),
                                  .action = ControlAction::selectDisplayScale,
                                  .checked = std::abs(uiScale - scale) < 0.02,
                                  .scale = scale});
    }
    scales.submenu.push_back(separator);
    scales.submenu.push_back({.title = "Auto (Recommended)",
                              .action = ControlAction::selectDisplayScaleAuto,
                              .checked = storedScale <= 0});
    return {
        {.title = "Colony (Create a Flea)...", .action = ControlAction::openColony, .key = 'c'},
        separator,
        {.title = "Settings...", .action = ControlAction::openSettingsPanel},
        {.title = "Export diagnostics", .action = ControlAction::exportDiagnostics},
        separator,
        scales,
        separator,
        {.title = deterministicMode ? "Deterministic timeline: ON" : "Deterministic timeline: OFF",
         .action = ControlAction::toggleDeterministicMode},
    };
}

}  // namespace tw
