#include "troupe/snapshot/troupe_fold.h"

#include <algorithm>
#include <bit>
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

namespace {

// The sort keys packed as integers, so that ordering a long log neither chases a
// pointer into every event nor calls memcmp per comparison. The input position
// makes std::sort stable.
struct OrderKey {
    std::uint64_t time;  // orders like timeBefore: numerically, -0 as 0, NaN last
    std::uint64_t idHigh;
    std::uint64_t idLow;  // the two halves compare like the id's bytes, first byte first
    std::size_t position;
};

std::uint64_t orderedTime(double seconds) {
    if (seconds != seconds) return ~std::uint64_t{0};
    if (seconds == 0) seconds = 0;
    auto bits = std::bit_cast<std::uint64_t>(seconds);
    return (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
}

std::uint64_t bigEndian(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return value;
}

OrderKey orderKey(const TroupeEvent& event, std::size_t position) {
    return OrderKey{orderedTime(event.ts.seconds), bigEndian(event.id.bytes.data()),
                    bigEndian(event.id.bytes.data() + 8), position};
}

}  // namespace

TroupeSnapshot TroupeFold::fold(const std::vector<TroupeEvent>& events) {
    // A newer writer's event is skipped before it takes its id, so an older version
    // of the same id still counts.
    std::vector<OrderKey> keys;
    keys.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].schemaVersion > troupeSchemaVersion) continue;
        keys.push_back(orderKey(events[i], i));
    }
    std::sort(keys.begin(), keys.end(), [](const OrderKey& a, const OrderKey& b) {
        if (a.time != b.time) return a.time < b.time;
        if (a.idHigh != b.idHigh) return a.idHigh < b.idHigh;
        if (a.idLow != b.idLow) return a.idLow < b.idLow;
        return a.position < b.position;
    });

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
