#pragma once
// The reducer from troupe events to the troupe snapshot. Pure: no state, no I/O, no
// failure. fold() puts its input into one total order first, so two devices holding
// the same events (in any order, with any repeats) compute equal snapshots.
#include <vector>

#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_payloads_legacy.h"
#include "troupe/event_model/troupe_snapshot.h"

namespace tw {

class TroupeFoldSession;

class TroupeFold {
   public:
    TroupeFold() = delete;

    // Event order: earlier ts first; equal ts by lower id text; stable otherwise.
    static bool precedes(const TroupeEvent& a, const TroupeEvent& b);
    static std::vector<TroupeEvent> sorted(const std::vector<TroupeEvent>& events);

    // Folds every distinct event of a known schema version into a fresh snapshot;
    // eventCount is the number of events applied.
    static TroupeSnapshot fold(const std::vector<TroupeEvent>& events);

    // Applies one event in call order. Checks no schema version, remembers no id and
    // leaves eventCount alone (a checkpoint replaces the whole snapshot).
    static void apply(const TroupeEvent& event, TroupeSnapshot& snapshot);

   private:
    friend class TroupeFoldSession;

    // Merges a device's pre-log state: adds what the snapshot lacks, never takes away.
    static void applyLegacy(const TroupeLegacyStateSnapshot& legacy, TroupeSnapshot& snapshot);
};

}  // namespace tw
