// process() on a full state: 30 recent events, 80 memories, 20 fleas, 50 bonds.
// Baseline: interpret() alone on the same state, measured in the same run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "narrative/flea_narrative_engine.h"
#include "platform/testing/manual_clock.h"

namespace {

using namespace tw;

constexpr int kFleas = 20;
const Date kStart{783777600.0};

FleaReference fleaNumber(int i) { return FleaReference{std::nullopt, "Flea" + std::to_string(i % kFleas)}; }

std::vector<TumblewickEventRecord> eventMix() {
    const TumblewickEventType types[] = {
        TumblewickEventType::performanceSuccess, TumblewickEventType::performanceMiss,
        TumblewickEventType::duetMoment,         TumblewickEventType::socialSupport,
        TumblewickEventType::strangeEvent,       TumblewickEventType::signaturePerformed,
        TumblewickEventType::nearSuccess,        TumblewickEventType::returnEvent};
    std::vector<TumblewickEventRecord> events;
    for (int i = 0; i < 64; ++i) {
        TumblewickEventRecord e;
        e.type = types[i % 8];
        e.primaryFlea = fleaNumber(i);
        e.act = i % 3 ? "cannon" : "tightrope";
        e.occurredAt = kStart.adding(i);
        e.rawResult.heart = 0.3 + (i % 7) * 0.1;
        e.context.playerAttention = 0.2 + (i % 5) * 0.15;
        e.context.wonder = 0.3 + (i % 4) * 0.15;
        if (i % 2) e.involvedFleas = {fleaNumber(i + 1), fleaNumber(i + 2)};
        if (e.type == TumblewickEventType::strangeEvent) e.fact = "The bell rang " + std::to_string(i % 3);
        events.push_back(e);
    }
    return events;
}

struct FullState {
    testing::ManualClock clock{kStart};
    FleaNarrativeEngine engine{clock, Calendar("UTC"),
                               [](const std::string&, const std::string&, Date, const Calendar&) {}};
    FleaNarrativeState state;
    std::vector<TumblewickEventRecord> events = eventMix();

    FullState() {
        for (int i = 0; i < 80; ++i) {
            FleaMemory memory;
            memory.flea = fleaNumber(i);
            memory.tier = static_cast<FleaMemoryTier>(i % 5);
            memory.importance = 0.45 + (i % 11) * 0.05;
            memory.createdAt = kStart.adding(-1000 + i);
            memory.tags = {"soft_miss", "clean_success", "duet_spark", "player_seen"};
            state.memories.push_back(memory);
        }
        for (int i = 0; state.pairBonds.size() < 50; ++i) {
            const std::string key =
                FleaNarrativeEngine::relationshipKey(fleaNumber(i), fleaNumber(i + 1 + i / kFleas));
            state.pairBonds[key] = FleaPairBond{0.3, kStart, std::nullopt, 1};
            state.relationshipAffection[key] = 0.3;
        }
        for (std::size_t i = 0; i < events.size(); ++i) engine.process(events[i], state);
    }
};

void BM_Interpret(benchmark::State& run) {
    FullState full;
    std::size_t i = 0;
    for (auto _ : run) {
        benchmark::DoNotOptimize(
            FleaNarrativeEngine::interpret(full.events[i++ % full.events.size()], full.state));
    }
}
BENCHMARK(BM_Interpret);

void BM_Process(benchmark::State& run) {
    FullState full;
    std::size_t i = 0;
    for (auto _ : run) {
        benchmark::DoNotOptimize(full.engine.process(full.events[i++ % full.events.size()], full.state));
    }
    run.counters["memories"] = static_cast<double>(full.state.memories.size());
    run.counters["recentEvents"] = static_cast<double>(full.state.recentEvents.size());
    run.counters["bonds"] = static_cast<double>(full.state.pairBonds.size());
}
BENCHMARK(BM_Process);

// The two costliest stages of process(), for reading its figure.
void BM_DiaryDayKey(benchmark::State& run) {
    const Calendar calendar("UTC");
    for (auto _ : run) benchmark::DoNotOptimize(calendar.dayKey(kStart));
}
BENCHMARK(BM_DiaryDayKey);

void BM_PruneMemories(benchmark::State& run) {
    FullState full;
    for (auto _ : run) benchmark::DoNotOptimize(FleaNarrativeEngine::prunedMemories(full.state.memories));
}
BENCHMARK(BM_PruneMemories);

}  // namespace

BENCHMARK_MAIN();
