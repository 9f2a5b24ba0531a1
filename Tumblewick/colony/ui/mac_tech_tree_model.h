#pragma once
// The tech tree of the detail view without its widgets: each node's state for a
// flea, the split into tier 1 and the two branch columns, and how each state looks.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Tumblewick/colony/progression_spec.h"

namespace tw {

enum class TechNodeState {
    unlocked,
    enabled,              // available and affordable: the only state that takes a press
    unaffordable,         // available, but it costs more than the flea's XP
    branchLocked,         // of the branch the flea did not commit to
    prerequisiteMissing,  // a prerequisite is not unlocked (or not in the tree at all)
};

// `unlocked` holds the flea's unlocked ids, `committed` its committed branch.
TechNodeState techNodeState(const ProgressionSpec::TechNode& node, const std::set<std::string>& unlocked,
                            const std::optional<std::string>& committed, std::int64_t xp);

// The nodes the view shows, in document order within each list. Nodes of other tiers,
// and tier-2 or tier-3 nodes outside "alpha" and "beta", are not shown.
struct TechTreeColumns {
    std::vector<ProgressionSpec::TechNode> tier1;
    std::vector<ProgressionSpec::TechNode> alpha;  // tier 2, then tier 3
    std::vector<ProgressionSpec::TechNode> beta;   // tier 2, then tier 3
    friend bool operator==(const TechTreeColumns&, const TechTreeColumns&) = default;
};
TechTreeColumns splitTechTree(const std::vector<ProgressionSpec::TechNode>& tree);

// Colours by role; the widget maps them onto its palette (primary and secondary text
// follow the desktop theme).
enum class Tone { primary, secondary, yellow, grey };
struct ToneColor {
    Tone tone = Tone::primary;
    double opacity = 1;
    friend bool operator==(const ToneColor&, const ToneColor&) = default;
};

enum class TechNodeSymbol { none, seal, lock };

struct TechNodeCardStyle {
    ToneColor title;
    TechNodeSymbol symbol = TechNodeSymbol::none;
    ToneColor symbolColor;
    std::optional<ToneColor> costLine;  // not shown once unlocked
    ToneColor fill;
    ToneColor border;
    double borderWidth = 1;
    bool pressable = false;
    friend bool operator==(const TechNodeCardStyle&, const TechNodeCardStyle&) = default;
};
TechNodeCardStyle techNodeCardStyle(TechNodeState state);

// "10 XP".
std::string techNodeCostText(std::int64_t cost);
// A branch heading is yellow once the flea committed to that branch.
ToneColor branchHeadingTone(const std::optional<std::string>& committed, std::string_view branch);

inline constexpr std::string_view techTreeHeading = "TECH TREE";
inline constexpr std::string_view tierOneHeading = "Tier 1 \u2014 Foundation";
inline constexpr std::string_view alphaBranch = "alpha";
inline constexpr std::string_view betaBranch = "beta";
inline constexpr std::string_view alphaHeading = "Branch A";
inline constexpr std::string_view betaHeading = "Branch B";

}  // namespace tw
