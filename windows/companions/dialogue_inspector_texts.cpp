#include "windows/companions/dialogue_inspector_texts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace tw {
namespace {

// "noFallbackNeeded" and an empty reason both mean the first choice answered.
bool fellBack(const agent_host::DialogueDebugEntry& entry) {
    return !entry.fallback.empty() && entry.fallback != "noFallbackNeeded";
}

}  // namespace

std::string inspectorAgeText(double elapsedSeconds) {
    // NaN reads as no time at all; a clock far off must not overflow the cast.
    const double bounded = std::isnan(elapsedSeconds) ? 0.0 : std::clamp(elapsedSeconds, -1e15, 1e15);
    const auto seconds = static_cast<std::int64_t>(bounded);
    if (seconds <= 59) return std::to_string(seconds) + "s";
    if (seconds < 3600) return std::to_string(seconds / 60) + "m";
    return std::to_string(seconds / 3600) + "h";
}

DialogueInspectorContent dialogueInspectorContent(
    const std::vector<agent_host::DialogueDebugEntry>& oldestFirst, Date now) {
    const std::size_t shown = std::min(oldestFirst.size(), inspectorEntriesShown);
    const auto newest = oldestFirst.rbegin();
    const auto end = newest + static_cast<std::ptrdiff_t>(shown);

    std::int64_t model = 0;
    std::int64_t hits = 0;
    std::int64_t fallbacks = 0;
    for (auto entry = newest; entry != end; ++entry) {
        model += entry->generator == "llm" ? 1 : 0;
        hits += entry->cacheHit ? 1 : 0;
        fallbacks += fellBack(*entry) ? 1 : 0;
    }
    DialogueInspectorContent content;
    content.stats = std::to_string(shown) + " recent \u00B7 " + std::to_string(model) + " llm \u00B7 " +
                    std::to_string(hits) + " cache hits \u00B7 " + std::to_string(fallbacks) + " fallbacks";
    if (shown == 0) {
        content.runs.push_back(
            {InspectorStyle::placeholder,
             "No dialogue calls yet \u2014 wait for the agent to fire an interesting action."});
        return content;
    }
    const std::string dot = "  \u00B7  ";
    for (auto entry = newest; entry != end; ++entry) {
        const bool fromModel = entry->generator == "llm";
        const std::string stem = entry->flea + dot + entry->outcomeKind + dot + entry->channel + dot +
                                 entry->generator + " (" + std::to_string(entry->latencyMs) + "ms" +
                                 (entry->cacheHit ? " \u00B7 cache" : "") + ")" + dot;
        content.runs.push_back({fromModel ? InspectorStyle::modelHeader : InspectorStyle::templateHeader,
                                stem + inspectorAgeText(now.since(entry->at)) + "\n"});
        // Its time to the last bit keeps apart entries that read alike.
        std::array<char, 32> at{};
        const auto written = std::to_chars(at.data(), at.data() + at.size(), entry->at.seconds).ptr;
        content.entryKeys.push_back(std::string(at.data(), written) + stem + entry->line + entry->fallback);
        content.runs.push_back({InspectorStyle::line, "  \"" + entry->line + "\"\n"});
        if (fellBack(*entry))
            content.runs.push_back(
                {InspectorStyle::fallback, "  \u21B3 fallback: " + entry->fallback + "\n"});
        content.runs.push_back({InspectorStyle::gap, "\n"});
    }
    return content;
}

}  // namespace tw
