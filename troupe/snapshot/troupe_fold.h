#pragma once
// The reducer from troupe events to the troupe snapshot. Pure: no state, no I/O, no
// failure. fold() puts its input into one total order first, so two devices holding
// the same events (in any order, with any repeats) compute equal snapshots.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_payloads_legacy.h"
#include "troupe/event_model/troupe_snapshot.h"

namespace tw {

class TroupeFoldSession;

// The fold's order as integers, so that ordering a long log neither chases a pointer into
// every event nor compares ids byte by byte. `position` (the event's place in its input)
// breaks ties, which keeps a sort stable.
struct TroupeOrderKey {
    std::uint64_t time;  // orders like timeBefore: numerically, -0 as 0, NaN last
    std::uint64_t idHigh;
    std::uint64_t idLow;  // the two halves compare like the id's bytes, first byte first
    std::size_t position;

    static TroupeOrderKey of(const TroupeEvent& event, std::size_t position) {
        return TroupeOrderKey{orderedTime(event.ts.seconds), bigEndian(event.id.bytes.data()),
                              bigEndian(event.id.bytes.data() + 8), position};
    }
    static std::uint64_t orderedTime(double seconds) {
        if (seconds != seconds) return ~std::uint64_t{0};
        if (seconds == 0) seconds = 0;
        const auto bits = std::bit_cast<std::uint64_t>(seconds);
        return (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
    }
    // Time, then id: the fold's order without the tie-break of the position.
    static bool timeThenIdBefore(const TroupeOrderKey& a, const TroupeOrderKey& b) {
        return std::tie(a.time, a.idHigh, a.idLow) < std::tie(b.time, b.idHigh, b.idLow);
    }
    friend bool operator<(const TroupeOrderKey& a, const TroupeOrderKey& b) {
        return std::tie(a.time, a.idHigh, a.idLow, a.position) <
               std::tie(b.time, b.idHigh, b.idLow, b.position);
    }

   private:
    static std::uint64_t bigEndian(const std::uint8_t* bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
        return value;
    }
};

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
