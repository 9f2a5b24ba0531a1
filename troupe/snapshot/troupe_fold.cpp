#include "troupe/snapshot/troupe_fold.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/snapshot/troupe_fold_session.h"

namespace tw {

bool TroupeFold::precedes(const TroupeEvent& a, const TroupeEvent& b) {
    return troupe_ops::timeThenIdBefore(a.ts, a.id, b.ts, b.id);
}

std::vector<TroupeEvent> TroupeFold::sorted(const std::vector<TroupeEvent>& events) {
    std::vector<TroupeEvent> result = events;
    std::stable_sort(result.begin(), result.end(), precedes);
    return result;
}

TroupeSnapshot TroupeFold::fold(const std::vector<TroupeEvent>& events) {
    // A newer writer's event is skipped before it takes its id, so an older version
    // of the same id still counts.
    std::vector<TroupeOrderKey> keys;
    keys.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].schemaVersion > troupeSchemaVersion) continue;
        keys.push_back(TroupeOrderKey::of(events[i], i));
    }
    std::sort(keys.begin(), keys.end());

    TroupeSnapshot snapshot;
    TroupeUuidSet applied(keys.size());
    TroupeFoldSession session(snapshot);
    // The ids are checked a few keys ahead of use and the events fetched ahead of
    // their turn: a long log is memory-bound, not compute-bound.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i + kAhead < keys.size()) {
            applied.prefetch(events[keys[i + kAhead].position].id);
            const TroupeEvent& ahead = events[keys[i + kAhead].position];
            __builtin_prefetch(&ahead.payload);
            __builtin_prefetch(&ahead.ts);
        }
        if (!applied.insert(events[keys[i].position].id)) continue;
        session.apply(events[keys[i].position]);
    }
    session.finish();
    snapshot.eventCount = static_cast<std::int64_t>(applied.size());
    return snapshot;
}

void TroupeFold::apply(const TroupeEvent& event, TroupeSnapshot& snapshot) {
    TroupeFoldSession session(snapshot);
    session.apply(event);
    session.finish();
}

}  // namespace tw
