#pragma once
// The lines the fleas spoke, as the strip and the windows read them: the capped feed of
// recent lines and of dialogue debug entries, the bubble each flea shows, the flicker
// of a refusal, and the counts over the feed.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "dialogue/flea_dialogue_generator.h"
#include "platform/date.h"

namespace tw::agent_host {

class LineFeed final {
   public:
    static constexpr std::size_t maxRecentLines = 50;
    static constexpr std::size_t maxDialogueDebugEntries = 100;
    static constexpr double lineShownSeconds = 4.0;
    static constexpr double refusalFlickerSeconds = 2.0;

    // Oldest first, newest last.
    const std::vector<RecentLine>& recentLines() const { return recentLines_; }
    const std::vector<DialogueDebugEntry>& dialogueDebug() const { return dialogueDebug_; }
    void recordRecentLine(RecentLine line);
    void recordDialogueDebug(DialogueDebugEntry entry);

    // A decision's thought-bubble line arrived at `now`: it goes to the bubble, the feed
    // and the debug entries. A later line for the same flea replaces the bubble's.
    void recordBubbleLine(const std::string& fleaID, const std::string& actionRaw,
                          const std::string& outcomeKind, const FleaDialogueResult& result, Date startedAt,
                          Date now);
    // The flea's latest bubble line while it is less than lineShownSeconds old.
    std::optional<std::string> currentLineForFlea(const std::string& fleaID, Date now) const;

    void noteRefusal(const std::string& fleaID, Date now);
    bool refusalFlickers(const std::string& fleaID, Date now) const;

    std::int64_t decisionsInLast(double seconds, Date now) const {
        return linesInLast(recentLines_, seconds, now);
    }
    std::vector<std::int64_t> decisionsByMinute(int minutes, Date now) const {
        return linesByMinute(recentLines_, minutes, now);
    }
    DayStats todayStats() const { return dayStats(recentLines_); }

   private:
    struct Bubble {
        std::string text;
        Date at;
    };

    std::vector<RecentLine> recentLines_;
    std::vector<DialogueDebugEntry> dialogueDebug_;
    std::map<std::string, Bubble> bubbleByFlea_;
    std::map<std::string, Date> refusalFlickerUntil_;
};

}  // namespace tw::agent_host
