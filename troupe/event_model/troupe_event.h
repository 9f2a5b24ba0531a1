#pragma once
// The troupe log's unit: one immutable record of one thing that happened, and the
// window of event times the store accepts.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/date.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_enums.h"
#include "troupe/event_model/troupe_payload.h"

namespace tw {

// `kind` and the payload's own alternative stand side by side; nothing ties them
// together. The fold acts on the payload, transports copy `kind`.
struct TroupeEvent {
    Uuid id;
    TroupeEventKind kind = TroupeEventKind::fleaCreated;
    TroupePayload payload;
    Date ts;
    Uuid deviceId;
    std::int64_t schemaVersion = troupeSchemaVersion;

    // All six fields; two envelopes sharing an id but differing elsewhere are unequal.
    friend bool operator==(const TroupeEvent&, const TroupeEvent&) = default;
};

struct TroupeClock {
    static constexpr double futureToleranceSeconds = 172800;   // 48 hours
    static constexpr double pastToleranceSeconds = 157680000;  // 5 × 365 days

    // Inclusive at both ends; NaN (or any non-number difference) is outside.
    static bool isWithinSkewWindow(Date ts, Date now) {
        const double d = ts.seconds - now.seconds;
        return d >= -pastToleranceSeconds && d <= futureToleranceSeconds;
    }
};

}  // namespace tw

template <>
struct std::hash<tw::TroupeEvent> {
    std::size_t operator()(const tw::TroupeEvent& event) const;
};
