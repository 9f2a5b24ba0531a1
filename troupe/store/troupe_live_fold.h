#pragma once
// The snapshot kept up to date one appended event at a time, equal to what folding
// the whole log gives at the next launch. The fold orders events by time, then id;
// events stamped within one second arrive in id order only by chance, so the events
// of the latest second stay in a sorted tail over a settled base, and an event that
// lands before another of its second is replayed into place. Events that commute
// with everything after them (XP and milestones, the bulk of a busy log) are applied
// in place without a replay.
#include <cstdint>
#include <optional>
#include <vector>

#include "troupe/event_model/troupe_event.h"
#include "troupe/snapshot/troupe_snapshot.h"

namespace tw {

class TroupeLiveFold {
   public:
    TroupeLiveFold() = default;
    // Folds a loaded log (every line that decoded, in file order).
    explicit TroupeLiveFold(const std::vector<TroupeEvent>& events);

    // Applies an accepted event: a known schema version and an id not seen before.
    // False when it belongs before the latest second: it is applied at the end, and
    // only folding the whole log again puts it in its place.
    bool apply(const TroupeEvent& event);

    const TroupeSnapshot& snapshot() const { return snapshot_; }

   private:
    struct Key {
        Date ts;
        Uuid id;
    };
    static bool after(const TroupeEvent& event, const std::optional<Key>& key);
    void settleTail();

    TroupeSnapshot snapshot_;
    TroupeSnapshot base_;             // every event before the tail
    std::vector<TroupeEvent> tail_;   // the latest second's events, in fold order
    std::optional<Key> lastKey_;      // the last event in fold order
    std::optional<Key> baseLastKey_;  // the last event of the base
    std::int64_t count_ = 0;
};

}  // namespace tw
