#include "Tumblewick/colony/ui/mac_tech_tree_model.h"

#include <algorithm>

namespace tw {

TechNodeState techNodeState(const ProgressionSpec::TechNode& node, const std::set<std::string>& unlocked,
                            const std::optional<std::string>& committed, std::int64_t xp) {
    if (unlocked.contains(node.id)) return TechNodeState::unlocked;
    if (node.branch && committed && *node.branch != *committed) return TechNodeState::branchLocked;
    const bool prerequisitesMet = std::all_of(node.prerequisites.begin(), node.prerequisites.end(),
                                              [&](const std::string& id) { return unlocked.contains(id); });
    if (!prerequisitesMet) return TechNodeState::prerequisiteMissing;
    return node.cost <= xp ? TechNodeState::enabled : TechNodeState::unaffordable;
}

TechTreeColumns splitTechTree(const std::vector<ProgressionSpec::TechNode>& tree) {
    TechTreeColumns columns;
    for (int tier : {2, 3}) {
        for (const auto& node : tree) {
            if (node.tier != tier || !node.branch) continue;
            if (*node.branch == alphaBranch) columns.alpha.push_back(node);
            if (*node.branch == betaBranch) columns.beta.push_back(node);
        }
    }
    for (const auto& node : tree) {
        if (node.tier == 1) columns.tier1.push_back(node);
    }
    return columns;
}

TechNodeCardStyle techNodeCardStyle(TechNodeState state) {
    const ToneColor primary{Tone::primary, 1};
    const ToneColor grey{Tone::grey, 1};
    const ToneColor yellow{Tone::yellow, 1};
    const ToneColor quietFill{Tone::grey, 0.05};
    const ToneColor quietBorder{Tone::grey, 0.2};
    switch (state) {
        case TechNodeState::unlocked:
            return {yellow, TechNodeSymbol::seal, yellow, std::nullopt, {Tone::yellow, 0.1}, yellow, 2,
                    false};
        case TechNodeState::enabled:
            return {primary, TechNodeSymbol::none, grey, yellow, quietFill, {Tone::yellow, 0.5}, 1, true};
        case TechNodeState::unaffordable:
        case TechNodeState::prerequisiteMissing:
            return {primary, TechNodeSymbol::none, grey, grey, quietFill, quietBorder, 1, false};
        case TechNodeState::branchLocked:
            return {grey, TechNodeSymbol::lock, grey, grey, quietFill, quietBorder, 1, false};
    }
    return {};
}

std::string techNodeCostText(std::int64_t cost) { return std::to_string(cost) + " XP"; }

ToneColor branchHeadingTone(const std::optional<std::string>& committed, std::string_view branch) {
    if (committed && *committed == branch) return {Tone::yellow, 1};
    return {Tone::secondary, 1};
}

}  // namespace tw
