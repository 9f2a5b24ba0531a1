#pragma once
// The in-memory history of what fleas said, by dialogue channel: at most 50 lines per
// flea and channel, and at most one gossip line per 300 seconds across all fleas.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/dialogue_records.h"
#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/serial_executor.h"
#include "platform/uuid.h"

namespace tw {

class DialogueChannelStore {
   public:
    static constexpr std::size_t perBucketCap = 50;
    static constexpr double gossipThrottleSeconds = 300;
    // The earliest representable day (0001-01-01), so the first gossip line passes.
    static constexpr Date distantPast{-63'114'076'800.0};

    struct ChannelEntry {
        Uuid id;
        std::string flea_id;
        AgentDialogueLine line;
        AgentDialogueChannel channel = AgentDialogueChannel::thought_bubble;
        Date recordedAt;
        friend bool operator==(const ChannelEntry&, const ChannelEntry&) = default;
    };
    using Entries = std::vector<ChannelEntry>;

    explicit DialogueChannelStore(
        std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>());
    ~DialogueChannelStore();
    DialogueChannelStore(const DialogueChannelStore&) = delete;
    DialogueChannelStore& operator=(const DialogueChannelStore&) = delete;

    // Completions run on the store's executor. A negative limit reads as 0.
    void record(std::string flea_id, AgentDialogueLine line, AgentDialogueChannel channel, Date at,
                std::function<void(bool accepted)> done = {});
    void entries(std::string forFlea, AgentDialogueChannel channel, std::int64_t limit,
                 std::function<void(Entries)> done);
    void latest(std::string forFlea, AgentDialogueChannel channel,
                std::function<void(std::optional<ChannelEntry>)> done);
    void latestEntries(std::int64_t limit, std::function<void(Entries)> done);
    // One flea's diary lines of the calendar day that contains `on`, oldest first.
    void diaryLines(std::string forFlea, Date on, Calendar calendar, std::function<void(Entries)> done);
    // Post-show lines and thought bubbles since now - window, model lines first.
    void recapCandidates(std::int64_t windowMinutes, std::int64_t limit, Date now,
                         std::function<void(Entries)> done);
    void clear(std::function<void()> done = {});
    void count(std::function<void(std::size_t)> done);

   private:
    bool recordNow(std::string flea_id, AgentDialogueLine line, AgentDialogueChannel channel, Date at);
    Entries selectSorted(const std::function<bool(const ChannelEntry&)>& keep, bool newestFirst) const;

    Entries entries_;  // in recording order
    Date lastGossipAt_ = distantPast;
    std::unique_ptr<SerialExecutor> executor_;  // last: drained before the state goes
};

}  // namespace tw
