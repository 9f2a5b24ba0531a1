#include "agent/host/line_feed.h"

#include <cmath>
#include <limits>

namespace tw::agent_host {

namespace {

// Whole milliseconds between two moments; 0 when the span is not a usable number.
std::int64_t wholeMilliseconds(Date from, Date to) {
    const double ms = to.since(from) * 1000.0;
    if (!std::isfinite(ms) || ms <= 0) return 0;
    constexpr double largest = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2);
    return static_cast<std::int64_t>(std::min(ms, largest));
}

}  // namespace

void LineFeed::recordRecentLine(RecentLine line) {
    appendCapped(recentLines_, std::move(line), maxRecentLines);
}

void LineFeed::recordDialogueDebug(DialogueDebugEntry entry) {
    appendCapped(dialogueDebug_, std::move(entry), maxDialogueDebugEntries);
}

void LineFeed::recordBubbleLine(const std::string& fleaID, const std::string& actionRaw,
                                const std::string& outcomeKind, const FleaDialogueResult& result,
                                Date startedAt, Date now) {
    const std::string& text = result.line.text;
    bubbleByFlea_[fleaID] = Bubble{text, now};
    recordRecentLine(RecentLine{.fleaName = fleaID, .actionRaw = actionRaw, .line = text, .at = now});
    recordDialogueDebug(
        DialogueDebugEntry{.flea = fleaID,
                           .outcomeKind = outcomeKind,
                           .channel = std::string(rawValue(AgentDialogueChannel::thought_bubble)),
                           .generator = std::string(rawValue(result.line.generated_by)),
                           .cacheHit = result.cacheHit,
                           .latencyMs = wholeMilliseconds(startedAt, now),
                           .fallback = std::string(rawValue(result.fallbackReason)),
                           .line = text,
                           .at = now});
}

std::optional<std::string> LineFeed::currentLineForFlea(const std::string& fleaID, Date now) const {
    const auto bubble = bubbleByFlea_.find(fleaID);
    if (bubble == bubbleByFlea_.end()) return std::nullopt;
    if (now.since(bubble->second.at) < lineShownSeconds) return bubble->second.text;
    return std::nullopt;
}

void LineFeed::noteRefusal(const std::string& fleaID, Date now) {
    refusalFlickerUntil_[fleaID] = now.adding(refusalFlickerSeconds);
}

bool LineFeed::refusalFlickers(const std::string& fleaID, Date now) const {
    const auto it = refusalFlickerUntil_.find(fleaID);
    return it != refusalFlickerUntil_.end() && it->second > now;
}

}  // namespace tw::agent_host
