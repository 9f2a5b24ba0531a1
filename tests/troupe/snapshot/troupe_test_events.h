#pragma once
// Builders for hand-made troupe events in tests: readable ids, fixed device, times in
// whole seconds so that JSON round trips keep them exactly.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "troupe/event_model/troupe_event.h"

namespace tw::testing {

// 00000000-0000-0000-0000-0000000000NN style ids; their text order is numeric order.
inline Uuid uuidN(std::uint64_t n, std::uint8_t tag = 0) {
    Uuid id;
    id.bytes[0] = tag;
    for (int i = 0; i < 8; ++i) id.bytes[15 - i] = static_cast<std::uint8_t>(n >> (8 * i));
    return id;
}

inline Uuid seededUuid(std::mt19937_64& rng) {
    Uuid id;
    std::uint64_t a = rng();
    std::uint64_t b = rng();
    for (int i = 0; i < 8; ++i) {
        id.bytes[i] = static_cast<std::uint8_t>(a >> (8 * i));
        id.bytes[8 + i] = static_cast<std::uint8_t>(b >> (8 * i));
    }
    return id;
}

inline const Uuid kDeviceA = uuidN(0xA, 0xDD);
inline const Uuid kDeviceB = uuidN(0xB, 0xDD);

inline Date at(double seconds) { return Date{seconds}; }

inline TroupeEvent makeEvent(TroupePayload payload, double ts, Uuid id, Uuid device = kDeviceA,
                             std::int64_t schemaVersion = troupeSchemaVersion) {
    auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{.id = id,
                       .kind = kind,
                       .payload = std::move(payload),
                       .ts = Date{ts},
                       .deviceId = device,
                       .schemaVersion = schemaVersion};
}

inline TroupeFleaCreated created(const Uuid& flea, std::string name, double createdAt = 100) {
    return TroupeFleaCreated{.fleaId = flea,
                             .name = std::move(name),
                             .bodyColorIndex = 2,
                             .hatKind = "topHat",
                             .discoveredAct = "trapeze",
                             .createdAt = Date{createdAt},
                             .traits = {"brave", "vain"}};
}

}  // namespace tw::testing
