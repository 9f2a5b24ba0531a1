#include "dialogue/dialogue_channel_store.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tw {

namespace {

// A negative limit is a caller's slip; reading it as "none" beats failing.
void cut(DialogueChannelStore::Entries& entries, std::int64_t limit) {
    const std::size_t keep = limit <= 0 ? 0 : static_cast<std::size_t>(limit);
    if (entries.size() > keep) entries.resize(keep);
}

}  // namespace

DialogueChannelStore::DialogueChannelStore(std::unique_ptr<SerialExecutor> executor)
    : executor_(std::move(executor)) {}

DialogueChannelStore::~DialogueChannelStore() { executor_->drain(); }

void DialogueChannelStore::record(std::string flea_id, AgentDialogueLine line, AgentDialogueChannel channel,
                                  Date at, std::function<void(bool)> done) {
    executor_->execute([this, flea_id = std::move(flea_id), line = std::move(line), channel, at,
                        done = std::move(done)]() mutable {
        const bool accepted = recordNow(std::move(flea_id), std::move(line), channel, at);
        if (done) done(accepted);
    });
}

bool DialogueChannelStore::recordNow(std::string flea_id, AgentDialogueLine line,
                                     AgentDialogueChannel channel, Date at) {
    if (channel == AgentDialogueChannel::gossip_line) {
        // A refusal leaves the window where it was; an earlier stamp is refused too.
        if (!(at.since(lastGossipAt_) >= gossipThrottleSeconds)) return false;
        lastGossipAt_ = at;
    }
    entries_.push_back(ChannelEntry{Uuid::random(), std::move(flea_id), std::move(line), channel, at});

    const ChannelEntry& added = entries_.back();
    std::size_t inBucket = 0;
    for (const ChannelEntry& entry : entries_)
        if (entry.flea_id == added.flea_id && entry.channel == added.channel) ++inBucket;
    if (inBucket > perBucketCap) {
        // The bucket's earliest recorded line, whatever its stamp.
        auto oldest = std::find_if(entries_.begin(), entries_.end(), [&](const ChannelEntry& entry) {
            return entry.flea_id == added.flea_id && entry.channel == added.channel;
        });
        entries_.erase(oldest);
    }
    return true;
}

DialogueChannelStore::Entries DialogueChannelStore::selectSorted(
    const std::function<bool(const ChannelEntry&)>& keep, bool newestFirst) const {
    Entries selected;
    for (const ChannelEntry& entry : entries_)
        if (keep(entry)) selected.push_back(entry);
    // Stable: equal stamps keep their recording order. A NaN stamp sorts as the oldest,
    // so the comparison stays a strict weak order.
    auto stamp = [](const ChannelEntry& e) {
        return std::isnan(e.recordedAt.seconds) ? -std::numeric_limits<double>::infinity()
                                                : e.recordedAt.seconds;
    };
    std::stable_sort(selected.begin(), selected.end(),
                     [newestFirst, &stamp](const ChannelEntry& a, const ChannelEntry& b) {
                         return newestFirst ? stamp(a) > stamp(b) : stamp(a) < stamp(b);
                     });
    return selected;
}

void DialogueChannelStore::entries(std::string forFlea, AgentDialogueChannel channel, std::int64_t limit,
                                   std::function<void(Entries)> done) {
    executor_->execute([this, forFlea = std::move(forFlea), channel, limit, done = std::move(done)] {
        Entries selected = selectSorted(
            [&](const ChannelEntry& e) { return e.flea_id == forFlea && e.channel == channel; }, true);
        cut(selected, limit);
        done(std::move(selected));
    });
}

void DialogueChannelStore::latest(std::string forFlea, AgentDialogueChannel channel,
                                  std::function<void(std::optional<ChannelEntry>)> done) {
    executor_->execute([this, forFlea = std::move(forFlea), channel, done = std::move(done)] {
        Entries selected = selectSorted(
            [&](const ChannelEntry& e) { return e.flea_id == forFlea && e.channel == channel; }, true);
        if (selected.empty())
            done(std::nullopt);
        else
            done(std::move(selected.front()));
    });
}

void DialogueChannelStore::latestEntries(std::int64_t limit, std::function<void(Entries)> done) {
    executor_->execute([this, limit, done = std::move(done)] {
        Entries selected = selectSorted([](const ChannelEntry&) { return true; }, true);
        cut(selected, limit);
        done(std::move(selected));
    });
}

void DialogueChannelStore::diaryLines(std::string forFlea, Date on, Calendar calendar,
                                      std::function<void(Entries)> done) {
    executor_->execute(
        [this, forFlea = std::move(forFlea), on, calendar = std::move(calendar), done = std::move(done)] {
            const Date start = calendar.startOfDay(on);
            const Date end = calendar.startOfNextDay(on);
            done(selectSorted(
                [&](const ChannelEntry& e) {
                    return e.flea_id == forFlea && e.channel == AgentDialogueChannel::diary_line &&
                           start <= e.recordedAt && e.recordedAt < end;
                },
                false));
        });
}

void DialogueChannelStore::recapCandidates(std::int64_t windowMinutes, std::int64_t limit, Date now,
                                           std::function<void(Entries)> done) {
    executor_->execute([this, windowMinutes, limit, now, done = std::move(done)] {
        const Date cutoff = now.adding(-static_cast<double>(windowMinutes) * 60.0);
        Entries selected = selectSorted(
            [&](const ChannelEntry& e) {
                return e.recordedAt >= cutoff && (e.channel == AgentDialogueChannel::post_show_line ||
                                                  e.channel == AgentDialogueChannel::thought_bubble);
            },
            true);
        // Model lines first; the stable partition keeps newest-first inside each group.
        std::stable_partition(selected.begin(), selected.end(), [](const ChannelEntry& e) {
            return e.line.generated_by == AgentDialogueGenerator::llm;
        });
        cut(selected, limit);
        done(std::move(selected));
    });
}

void DialogueChannelStore::clear(std::function<void()> done) {
    executor_->execute([this, done = std::move(done)] {
        entries_.clear();
        lastGossipAt_ = distantPast;
        if (done) done();
    });
}

void DialogueChannelStore::count(std::function<void(std::size_t)> done) {
    executor_->execute([this, done = std::move(done)] { done(entries_.size()); });
}

}  // namespace tw
