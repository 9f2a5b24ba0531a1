// Decoding 1e5 realistic log lines, against a plain nlohmann parse of the same bytes
// measured in the same run (the floor any decoder on that parser pays).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "troupe/event_model/troupe_json.h"

namespace {

using namespace tw;

// A heavy user's log: mostly XP, then stats, messages and sessions.
std::vector<std::string> makeLines(std::size_t count) {
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
                return TroupeXPEarned{roll % 2 ? std::optional<Uuid>(flea) : std::nullopt, 3,
                                      TroupeXPSource::practice};
            if (roll < 80) return TroupeCumulativeStatTick{TroupeCumulativeStat::mouseDistance, 1234.5};
            if (roll < 88)
                return TroupeFleaMessageFromUser{flea, uuid(), "How was the trapeze today? 🎪", uuid()};
            if (roll < 94) return TroupeNodeUnlocked{flea, "trapeze", "trapeze.swing.2", 150};
            if (roll < 97) return TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "workbench"};
            return TroupeFleaCreated{flea, "Pip", 3, "top_hat", "trapeze", Date{7.5e8}, {"brave", "tiny"}};
        }();
        const auto kind = static_cast<TroupeEventKind>(payload.value.index());
        lines.push_back(encodeTroupeEventLine(
            TroupeEvent{uuid(), kind, std::move(payload), Date{7.6e8 + static_cast<double>(i)}, device, 1}));
    }
    return lines;
}

const std::vector<std::string>& lines() {
    static const std::vector<std::string> all = makeLines(100000);
    return all;
}

void BM_TroupeDecodeLines(benchmark::State& state) {
    const auto& all = lines();
    for (auto _ : state) {
        for (const auto& line : all) {
            auto event = decodeTroupeEventLine(line);
            benchmark::DoNotOptimize(event);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(all.size()));
}

void BM_PlainNlohmannParse(benchmark::State& state) {
    const auto& all = lines();
    for (auto _ : state) {
        for (const auto& line : all) {
            auto json = nlohmann::json::parse(line);
            benchmark::DoNotOptimize(json);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(all.size()));
}

BENCHMARK(BM_PlainNlohmannParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TroupeDecodeLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
