#pragma once
// A heavy user's troupe log for the benchmarks: mostly XP, then stats, messages,
// unlocks, sessions and a few new fleas, among twelve fleas, from a fixed seed.
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "troupe/event_model/troupe_json.h"

namespace tw::bench {

// `count` encoded lines (without their line feeds), dated `step` seconds apart from `start`.
inline std::vector<std::string> syntheticTroupeLines(std::size_t count, double start, double step,
                                                     TroupeXPSource xpSource) {
    std::mt19937_64 rng(42);
    auto uuid = [&rng]() {
        Uuid id;
        for (auto& b : id.bytes) b = static_cast<std::uint8_t>(rng());
        return id;
    };
    std::vector<Uuid> fleas;
    for (int i = 0; i < 12; ++i) fleas.push_back(uuid());
    const Uuid device = uuid();
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Uuid flea = fleas[rng() % fleas.size()];
        const auto roll = rng() % 100;
        auto payload = [&]() -> TroupePayload {
            if (roll < 70)
                return TroupeXPEarned{roll % 2 ? std::optional<Uuid>(flea) : std::nullopt, 3, xpSource};
            if (roll < 80) return TroupeCumulativeStatTick{TroupeCumulativeStat::mouseDistance, 1234.5};
            if (roll < 88)
                return TroupeFleaMessageFromUser{flea, uuid(), "How was the trapeze today? 🎪", uuid()};
            if (roll < 94) return TroupeNodeUnlocked{flea, "trapeze", "trapeze.swing.2", 150};
            if (roll < 97) return TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "workbench"};
            return TroupeFleaCreated{flea, "Pip", 3, "top_hat", "trapeze", Date{7.5e8}, {"brave", "tiny"}};
        }();
        const auto kind = static_cast<TroupeEventKind>(payload.value.index());
        lines.push_back(encodeTroupeEventLine(TroupeEvent{
            uuid(), kind, std::move(payload), Date{start + static_cast<double>(i) * step}, device, 1}));
    }
    return lines;
}

}  // namespace tw::bench
