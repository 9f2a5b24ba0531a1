#include "Tumblewick/shell/launch/settings_panel_model.h"

#include <array>
#include <cmath>

#include "Tumblewick/shell/configuration/configuration.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

struct FixedScale {
    const char* title;
    double scale;
};
constexpr std::array<FixedScale, 4> fixedScales{
    {{"100%", 1.0}, {"110%", 1.1}, {"125%", 1.25}, {"140%", 1.4}}};
constexpr double scaleTolerance = 0.02;

}  // namespace

const std::vector<std::string>& settingsScaleTitles() {
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> list{"Auto (Recommended)"};
        for (const FixedScale& fixed : fixedScales) list.emplace_back(fixed.title);
        return list;
    }();
    return titles;
}

std::optional<int> settingsScaleSelection(double storedScale) {
    if (!(storedScale > 0)) return 0;
    for (std::size_t i = 0; i < fixedScales.size(); ++i) {
        if (std::abs(storedScale - fixedScales[i].scale) < scaleTolerance) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

SettingsPanelValues settingsPanelValues(const Defaults& defaults, bool deterministicMode,
                                        std::int64_t deterministicSeed) {
    return {settingsScaleSelection(defaults.doubleForKey(settings::uiScale.key)), deterministicMode,
            std::to_string(deterministicSeed), updateCheckEnabled(defaults)};
}

SettingsSaveResult saveSettings(const SettingsPanelState& state, double uiScale, std::int64_t currentSeed,
                                Defaults& defaults) {
    const double previous = defaults.doubleForKey(settings::uiScale.key);
    std::optional<double> chosen;
    for (const FixedScale& fixed : fixedScales) {
        if (state.scaleTitle == fixed.title) chosen = fixed.scale;
    }
    if (chosen) {
        defaults.setDouble(settings::uiScale.key, *chosen);
    } else {
        defaults.remove(settings::uiScale.key);
    }

    SettingsSaveResult result;
    result.deterministicMode = state.deterministicMode;
    defaults.setBool(settings::deterministicMode.key, result.deterministicMode);
    result.deterministicSeed = parseTrimmedInteger(state.seedText).value_or(currentSeed);
    defaults.setInteger(settings::deterministicSeed.key, result.deterministicSeed);
    defaults.setBool(settings::checkForUpdates.key, state.checkForUpdates);
    result.relaunch = chosen ? std::abs(uiScale - *chosen) > scaleTolerance : previous > 0;
    return result;
}

}  // namespace tw
