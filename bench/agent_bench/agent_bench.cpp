// Decision and scheduler step costs. Targets: a decision well under 5 us, a step with
// 200 registered fleas under 50 us.
#include <benchmark/benchmark.h>

#include <string>

#include "agent/flea_agent_core.h"
#include "agent/flea_agent_scheduler.h"
#include "agent/split_mix64.h"

namespace {

using namespace tw;

AgentInput busyInput() {
    AgentInput input;
    input.voice_card = VoiceCard{.flea_id = "Nova",
                                 .name = "Nova",
                                 .traits = {"ambition_competitive", "social_duet"},
                                 .superstitions = {"black cats"}};
    for (int i = 0; i < 4; ++i) {
        input.memories_by_tier.immediate.push_back(
            AgentMemory{.id = "i" + std::to_string(i), .tone = "warm", .tags = {"signature", "crowd"}});
        input.memories_by_tier.legend.push_back(AgentMemory{.id = "l" + std::to_string(i), .tone = "brave"});
    }
    input.stage_state.nearby_flea_ids = {"Nova", "Zing", "Rex"};
    input.stage_state.player_attention_flea_id = "Nova";
    for (auto action : {AgentAction::sit, AgentAction::applaud, AgentAction::wander_to})
        input.recent_intents.push_back(AgentIntent::make(action));
    return input;
}

void BM_Baseline_SplitMix64(benchmark::State& state) {
    SplitMix64 rng(42);
    for (auto _ : state) benchmark::DoNotOptimize(rng.next());
}
BENCHMARK(BM_Baseline_SplitMix64);

void BM_FleaAgentCore_tick(benchmark::State& state) {
    const AgentInput input = busyInput();
    std::uint64_t seed = 1;
    for (auto _ : state) benchmark::DoNotOptimize(FleaAgentCore::tick(input, seed++));
}
BENCHMARK(BM_FleaAgentCore_tick);

void BM_FleaAgentScheduler_step(benchmark::State& state) {
    FleaAgentScheduler scheduler(true);
    const AgentInput input = busyInput();
    for (int i = 0; i < state.range(0); ++i) {
        VoiceCard card = input.voice_card;
        card.flea_id = card.name = "flea-" + std::to_string(i);
        scheduler.registerFlea(card.flea_id, card, MoodDimensions{0.9, 0.2, 0.7, 0.4},
                               input.memories_by_tier);
    }
    scheduler.updateStage(input.stage_state);
    Date now{800000000.0};
    for (auto _ : state) {
        now = now.adding(0.5);
        benchmark::DoNotOptimize(scheduler.step(now));
    }
}
BENCHMARK(BM_FleaAgentScheduler_step)->Arg(7)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
