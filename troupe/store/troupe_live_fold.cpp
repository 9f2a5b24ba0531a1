#include "troupe/store/troupe_live_fold.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <unordered_set>
#include <variant>

#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/snapshot/troupe_fold_session.h"
#include "troupe/snapshot/troupe_uuid_set.h"

namespace tw {

namespace {

// Kinds whose effects are additions to counters and sets: any order of them folds
// to the same snapshot. (Stat ticks add doubles, whose sums depend on order.)
bool commutes(const TroupeEvent& event) {
    return std::holds_alternative<TroupeXPEarned>(event.payload.value) ||
           std::holds_alternative<TroupeMilestoneEarned>(event.payload.value) ||
           std::holds_alternative<TroupeMilestoneAcknowledged>(event.payload.value);
}

// Far from where adding XP saturates: an unlock below it takes its cost alike from XP
// added before it.
constexpr std::int64_t kUnsaturatedXp = std::int64_t{1} << 62;

// What those do not commute with, as a level: XP (which needs level 1) not with a flea
// made (legacy states make some) or put away, nor with an unlock whose cost XP added
// before it could keep from stopping at zero; nothing (level 2) with a checkpoint, which
// replaces the snapshot. `before` is the fold up to the event (`exactly`), or up to some
// point before it, of which only what stays true ever after counts.
int barrierLevel(const TroupeEvent& event, const TroupeSnapshot& before, bool exactly) {
    const auto flea = [&](const Uuid& id) -> const TroupeFlea* {
        auto found = before.fleas.find(id);
        return found == before.fleas.end() ? nullptr : &found->second;
    };
    return std::visit(
        [&](const auto& body) {
            using Body = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<Body, TroupeCheckpointPayload>) {
                return 2;
            } else if constexpr (std::is_same_v<Body, TroupeLegacyStateSnapshot>) {
                return 1;
            } else if constexpr (std::is_same_v<Body, TroupeFleaCreated>) {
                return flea(body.fleaId) ? 0 : 1;  // a flea made stays
            } else if constexpr (std::is_same_v<Body, TroupeFleaIdOnly>) {
                const TroupeFlea* put = flea(body.fleaId);
                return (put && put->tombstoned) || (!put && exactly) ? 0 : 1;
            } else if constexpr (std::is_same_v<Body, TroupeNodeUnlocked>) {
                const TroupeFlea* owner = flea(body.fleaId);
                if (owner ? owner->tombstoned || owner->unlockedNodeIds.contains(body.nodeId) : exactly)
                    return 0;
                return exactly && body.xpCost >= 0 && owner->xp >= body.xpCost && owner->xp <= kUnsaturatedXp
                           ? 0
                           : 1;
            } else {
                return 0;
            }
        },
        event.payload.value);
}

// The level of barrier an event that commutes cannot be moved past, as an index.
std::size_t barredAt(const TroupeEvent& event) {
    return std::holds_alternative<TroupeXPEarned>(event.payload.value) ? 0 : 1;
}

// The most events a repeated id is looked for among while they wait to be folded.
constexpr std::size_t kLongestSearchedWindow = 1024;

}  // namespace

struct TroupeLiveFold::Taking {
    explicit Taking(TroupeSnapshot& base) : session(base) {}
    TroupeFoldSession session;
    // Ids whose earlier lines were all of a newer schema: their first known one folds.
    std::unordered_set<Uuid, TroupeUuidHash> newerOnly;
    std::unordered_set<Uuid, TroupeUuidHash> placedLate;  // lines put in the tail out of turn
    // Events read and not folded yet, in slots of `waiting`, with their keys in a heap
    // whose top is the first in the fold's order: a burst of lines in one second costs
    // a logarithm a line whatever their order. A slot emptied while waiting held an
    // event that a later line of the same id, earlier in the fold's order, took the
    // place of.
    struct Later {
        bool operator()(const TroupeOrderKey& a, const TroupeOrderKey& b) const { return b < a; }
    };
    std::vector<TroupeOrderKey> window;  // a heap
    std::vector<std::optional<TroupeEvent>> waiting;
    std::vector<std::size_t> freeSlots;
    // The latest time two lines in a row reached. One line from a clock far ahead
    // does not move it: that line waits until the log catches up with it, instead of
    // every later line folding on arrival and the next one a second out of place
    // being refused.
    double newest = -INFINITY;
    double previous = -INFINITY;  // the time of the line before
    std::optional<TroupeOrderKey> lastFolded;
    std::int64_t applied = 0;

    bool waits() const { return !window.empty(); }
    // The waiting event of this id, if any. Only a line whose id came before asks, and
    // logs repeat ids rarely: a search of the window costs less than keeping a map.
    std::optional<TroupeEvent>* waitingWith(const Uuid& id) {
        for (const TroupeOrderKey& key : window) {
            if (auto& slot = waiting[key.position]; slot && slot->id == id) return &slot;
        }
        return nullptr;
    }
};

TroupeLiveFold::TroupeLiveFold() = default;
TroupeLiveFold::~TroupeLiveFold() = default;

TroupeLiveFold::TroupeLiveFold(Date tailFrom)
    : settledBefore_(tailFrom), taking_(std::make_unique<Taking>(base_)) {}

bool TroupeLiveFold::take(TroupeEvent&& event, bool seenBefore) {
    Taking& t = *taking_;
    if (event.schemaVersion > troupeSchemaVersion) {  // the fold skips it wherever it stands
        if (!seenBefore) t.newerOnly.insert(event.id);
        return true;
    }
    TroupeOrderKey key = TroupeOrderKey::of(event, 0);
    if (t.lastFolded && TroupeOrderKey::timeThenIdBefore(key, *t.lastFolded)) {
        // A line far out of place that belongs in the tail goes there, the first of its id.
        if (seenBefore || troupe_ops::timeBefore(event.ts, settledBefore_)) return false;
        t.placedLate.insert(event.id);
        ++t.applied;
        toTail(keyOf(event), std::move(event));
        return true;
    }
    if (seenBefore && t.placedLate.contains(event.id)) return false;
    if (seenBefore && t.newerOnly.erase(event.id) == 0) {
        // Of two lines with one id the fold keeps the earlier in its order, the first
        // line on a tie. One folded already came first: nothing after it is folded yet.
        // Searching a long window for every repeat would make the load quadratic;
        // folding the whole log is cheaper then.
        if (t.window.size() > kLongestSearchedWindow) return false;
        auto* earlier = t.waitingWith(event.id);
        if (earlier == nullptr || !troupe_ops::timeBefore(event.ts, (*earlier)->ts)) return true;
        earlier->reset();
    } else {
        ++t.applied;
    }
    if (t.freeSlots.empty()) {
        t.freeSlots.push_back(t.waiting.size());
        t.waiting.emplace_back();
    }
    key.position = t.freeSlots.back();
    t.freeSlots.pop_back();
    t.newest = std::max(t.newest, std::min(event.ts.seconds, t.previous));
    t.previous = event.ts.seconds;
    t.waiting[key.position] = std::move(event);
    t.window.push_back(key);
    std::push_heap(t.window.begin(), t.window.end(), Taking::Later{});
    // What is older than the latest time read by more than the window is folded: a
    // line written later than that much out of place is what needs the whole log.
    const std::uint64_t foldBefore = TroupeOrderKey::orderedTime(t.newest - reorderWindowSeconds);
    while (t.waits() && t.window.front().time < foldBefore) foldNextTaken();
    return true;
}

void TroupeLiveFold::foldNextTaken() {
    Taking& t = *taking_;
    std::pop_heap(t.window.begin(), t.window.end(), Taking::Later{});
    const TroupeOrderKey key = t.window.back();
    t.window.pop_back();
    t.freeSlots.push_back(key.position);
    std::optional<TroupeEvent>& slot = t.waiting[key.position];
    if (!slot) return;
    t.lastFolded = key;
    TroupeEvent& event = *slot;
    if (!tail_.empty() || !troupe_ops::timeBefore(event.ts, settledBefore_))
        toTail(keyOf(event), std::move(event));
    else
        toBase(t.session, event);
    slot.reset();
}

void TroupeLiveFold::finishTaking() {
    while (taking_->waits()) foldNextTaken();
    taking_->session.finish();
    count_ = taking_->applied;
    newerOnly_ = std::move(taking_->newerOnly);
    taking_.reset();
    snapshot_ = base_;
    replayTail();
}

bool TroupeLiveFold::KeyLess::operator()(const Key& a, const Key& b) const {
    return troupe_ops::timeThenIdBefore(a.ts, a.id, b.ts, b.id);
}

TroupeLiveFold::TroupeLiveFold(std::vector<TroupeEvent> events, Date tailFrom) : settledBefore_(tailFrom) {
    // The fold's rules: newer schema versions skipped, the first of an id in order wins.
    std::vector<TroupeOrderKey> keys;
    keys.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].schemaVersion <= troupeSchemaVersion) keys.push_back(TroupeOrderKey::of(events[i], i));
    }
    std::sort(keys.begin(), keys.end());
    TroupeUuidSet applied(keys.size());
    TroupeFoldSession session(base_);
    for (const TroupeOrderKey& key : keys) {
        TroupeEvent& event = events[key.position];
        if (!applied.insert(event.id)) continue;
        if (!tail_.empty() || !troupe_ops::timeBefore(event.ts, tailFrom))
            toTail(keyOf(event), std::move(event));
        else
            toBase(session, event);
    }
    session.finish();
    count_ = static_cast<std::int64_t>(applied.size());
    for (const TroupeEvent& event : events) {
        if (event.schemaVersion > troupeSchemaVersion && applied.insert(event.id))
            newerOnly_.insert(event.id);
    }
    snapshot_ = base_;
    replayTail();
}

void TroupeLiveFold::toBase(TroupeFoldSession& session, const TroupeEvent& event) {
    const int level = barrierLevel(event, base_, true);
    session.apply(event);
    lastSettled_ = keyOf(event);
    for (int i = 0; i < level; ++i) lastSettledBarrier_[i] = lastSettled_;
}

void TroupeLiveFold::toTail(Key key, TroupeEvent event) {
    if (!commutes(event)) tailOrderDependent_.insert(key);
    for (int i = 0, level = barrierLevel(event, base_, false); i < level; ++i) tailBarriers_[i].insert(key);
    tail_.emplace_hint(tail_.end(), key, std::move(event));
}

void TroupeLiveFold::replayTail() {
    TroupeFoldSession session(snapshot_);
    for (const auto& [key, event] : late_) session.apply(event);
    for (const auto& [key, event] : tail_) session.apply(event);
    session.finish();
    snapshot_.eventCount = count_;
}

void TroupeLiveFold::settleBefore(Date boundary) {
    // Nothing settles behind an event out of its place: this run's own later events stay
    // after it until the whole log is folded again.
    if (!late_.empty()) return;
    if (troupe_ops::timeBefore(settledBefore_, boundary)) settledBefore_ = boundary;
    auto end = tail_.begin();
    while (end != tail_.end() && troupe_ops::timeBefore(end->first.ts, settledBefore_)) ++end;
    if (end == tail_.begin()) return;
    TroupeFoldSession session(base_);
    for (auto it = tail_.begin(); it != end; ++it) {
        toBase(session, it->second);
        tailOrderDependent_.erase(it->first);
        for (auto& barriers : tailBarriers_) barriers.erase(it->first);
    }
    session.finish();
    tail_.erase(tail_.begin(), end);
}

bool TroupeLiveFold::apply(const TroupeEvent& event, Date now) {
    ++count_;
    settleBefore(Date{std::floor(now.seconds) - reorderWindowSeconds});
    const Key key = keyOf(event);
    if (lastSettled_ && KeyLess{}(key, *lastSettled_)) return applyBeforeTail(event);
    const bool last = tail_.empty() || KeyLess{}(std::prev(tail_.end())->first, key);
    // In place when nothing after it depends on the order (nor it on theirs).
    const bool inPlace =
        last || (commutes(event) && tailOrderDependent_.upper_bound(key) == tailOrderDependent_.end());
    toTail(key, event);
    show(event, inPlace);
    return true;
}

// The snapshot with `event` added: at the end, or by replaying the tail over the base.
void TroupeLiveFold::show(const TroupeEvent& event, bool atTheEnd) {
    if (atTheEnd) {
        TroupeFold::apply(event, snapshot_);
        snapshot_.eventCount = count_;
    } else {
        snapshot_ = base_;
        replayTail();
    }
}

// Among the settled events: where it stands when every one after it commutes with it (the
// base keeps no order of what commutes) and none waits out of its place, the tail replayed
// over it when one of the tail's might not commute; else out of its place.
bool TroupeLiveFold::applyBeforeTail(const TroupeEvent& event) {
    const auto* xp = std::get_if<TroupeXPEarned>(&event.payload.value);
    const std::size_t barred = commutes(event) ? barredAt(event) : 0;
    const auto& barrier = lastSettledBarrier_[barred];
    if (!late_.empty() || !commutes(event) || (xp && xp->amount > kUnsaturatedXp >> 30) ||
        (barrier && KeyLess{}(keyOf(event), *barrier))) {
        const auto placed = late_.emplace(keyOf(event), event).first;
        show(event, tail_.empty() && std::next(placed) == late_.end());
        return false;
    }
    TroupeFold::apply(event, base_);
    show(event, tailBarriers_[barred].empty());
    return true;
}

bool TroupeLiveFold::applyLine(const TroupeEvent& event, bool seenBefore, Date now) {
    if (event.schemaVersion > troupeSchemaVersion) {
        if (!seenBefore) newerOnly_.insert(event.id);
        return true;
    }
    if (!seenBefore || newerOnly_.erase(event.id) > 0) return apply(event, now);
    return applyRepeat(event, now);
}

// A line whose id counts already. In the tail or out of its place, the copy that counts is
// there to compare with and take out; a settled one comes before any line after the base.
bool TroupeLiveFold::applyRepeat(const TroupeEvent& event, Date now) {
    const Key key = keyOf(event);
    const auto sameId = [&](const auto& entry) { return entry.first.id == event.id; };
    auto inTail = std::find_if(tail_.begin(), tail_.end(), sameId);
    auto inLate = std::find_if(late_.begin(), late_.end(), sameId);
    if (inTail != tail_.end() || inLate != late_.end()) {
        const Key counted = inTail != tail_.end() ? inTail->first : inLate->first;
        if (!KeyLess{}(key, counted)) return true;
        if (inTail != tail_.end()) {
            tailOrderDependent_.erase(counted);
            for (auto& barriers : tailBarriers_) barriers.erase(counted);
            tail_.erase(inTail);
        } else {
            late_.erase(inLate);
        }
        --count_;  // counted again by apply()
        const bool inPlace = apply(event, now);
        snapshot_ = base_;
        replayTail();
        return inPlace;
    }
    if (!lastSettled_ || !KeyLess{}(key, *lastSettled_)) return true;
    lateRepeats_.push_back(key);
    return false;
}

TroupeLiveFold::OutOfPlace TroupeLiveFold::outOfPlace() const {
    OutOfPlace out;
    if (lastSettled_) out.after = std::pair(lastSettled_->ts, lastSettled_->id);
    for (const Key& key : lateRepeats_) out.repeats.emplace_back(key.ts, key.id);
    for (const auto& [key, event] : late_) out.moved.emplace_back(key.ts, key.id);
    return out;
}

}  // namespace tw
