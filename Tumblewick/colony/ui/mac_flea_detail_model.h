#pragma once
// The texts and numbers of the colony's list rows and the flea detail pane, without
// widgets.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"

namespace tw {

inline constexpr std::string_view colonyWindowTitle = "Tumblewick Colony";
inline constexpr std::string_view colonyPlaceholderText = "Select a flea or create one";
inline constexpr std::string_view colonyListHeading = "Your Fleas";
inline constexpr std::string_view joinTheCircusTitle = "Join the Circus";
inline constexpr std::int64_t practiceXP = 10;

// The live record of `flea` in `fleas` (found by id), or `flea` itself once it is gone.
const MacCustomFlea& currentFlea(const std::vector<MacCustomFlea>& fleas, const MacCustomFlea& flea);
// The document's entry for the act, by exact key; nothing when it has none.
const ProgressionSpec::ActSpec* actSpecFor(const ProgressionSpec& spec, const std::string& actKey);

// A list row's second line: the act's calling name, or the raw key when the document
// does not know the act.
std::string colonyRowActLabel(const ProgressionSpec& spec, const MacCustomFlea& flea);
// "Lv 3".
std::string levelBadgeText(std::int64_t xp);

struct LevelBar {
    std::int64_t level = 1;
    std::string levelText;  // "Level 2"
    std::string xpText;     // the flea's total XP: "27 XP"
    double fraction = 0;    // 0...1
    friend bool operator==(const LevelBar&, const LevelBar&) = default;
};
// From the current level table. At the top level the bar is empty at the last
// threshold and full from one XP above it; an empty table never divides by zero.
LevelBar levelBarFor(std::int64_t xp);

// "Practice with Zest  (+10 XP)".
std::string practiceButtonTitle(std::string_view name);

}  // namespace tw
