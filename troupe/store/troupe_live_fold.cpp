#include "troupe/store/troupe_live_fold.h"

#include <algorithm>

#include "troupe/snapshot/troupe_fold.h"
#include "troupe/snapshot/troupe_fold_session.h"
#include "troupe/snapshot/troupe_value_ops.h"

namespace tw {

namespace {

// Kinds whose effects are additions to counters and sets: any order of them folds
// to the same snapshot. (Stat ticks add doubles, whose sums depend on order.)
bool commutes(const TroupeEvent& event) {
    return std::holds_alternative<TroupeXPEarned>(event.payload.value) ||
           std::holds_alternative<TroupeMilestoneEarned>(event.payload.value) ||
           std::holds_alternative<TroupeMilestoneAcknowledged>(event.payload.value);
}

}  // namespace

TroupeLiveFold::TroupeLiveFold(const std::vector<TroupeEvent>& events) : snapshot_(TroupeFold::fold(events)) {
    count_ = snapshot_.eventCount;
    for (const TroupeEvent& event : events) {
        if (event.schemaVersion <= troupeSchemaVersion && after(event, lastKey_))
            lastKey_ = Key{event.ts, event.id};
    }
    base_ = snapshot_;
    baseLastKey_ = lastKey_;
}

bool TroupeLiveFold::after(const TroupeEvent& event, const std::optional<Key>& key) {
    return !key || troupe_ops::timeThenIdBefore(key->ts, key->id, event.ts, event.id);
}

void TroupeLiveFold::settleTail() {
    TroupeFoldSession session(base_);
    for (const TroupeEvent& event : tail_) session.apply(event);
    session.finish();
    tail_.clear();
    baseLastKey_ = lastKey_;
}

bool TroupeLiveFold::apply(const TroupeEvent& event) {
    ++count_;
    bool inPlace = true;
    if (after(event, lastKey_)) {
        if (!tail_.empty() && troupe_ops::timeBefore(tail_.back().ts, event.ts)) settleTail();
        TroupeFold::apply(event, snapshot_);
        tail_.push_back(event);
        lastKey_ = Key{event.ts, event.id};
    } else if (after(event, baseLastKey_)) {
        const auto place = std::upper_bound(tail_.begin(), tail_.end(), event, TroupeFold::precedes);
        const bool reorderFree = commutes(event) && std::all_of(place, tail_.end(), commutes);
        tail_.insert(place, event);
        if (reorderFree) {
            TroupeFold::apply(event, snapshot_);
        } else {
            snapshot_ = base_;
            TroupeFoldSession session(snapshot_);
            for (const TroupeEvent& settled : tail_) session.apply(settled);
            session.finish();
        }
    } else {
        TroupeFold::apply(event, snapshot_);
        inPlace = false;
    }
    snapshot_.eventCount = count_;
    return inPlace;
}

}  // namespace tw
