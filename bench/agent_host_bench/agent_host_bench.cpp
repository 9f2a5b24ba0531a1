// The agent host on virtual time with the seven residents and 25 custom fleas: the cost
// of one half-second tick (target: under 0.5 ms) against the scheduler step alone, and
// the host's heap after a virtual hour and after a virtual day (target: flat).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "agent/host/agent_host_tables.h"
#include "tests/agent/host/agent_host_rig.h"

namespace {

using namespace tw;

constexpr int kCustomFleas = 25;

void BM_Baseline_SchedulerStepOf32(benchmark::State& state) {
    FleaAgentScheduler scheduler(true);
    for (const auto& resident : residents)
        scheduler.registerFlea(std::string(resident.name),
                               agent_host::plainVoiceCard(std::string(resident.name)));
    for (int i = 0; i < kCustomFleas; ++i) {
        const std::string id = Uuid::random().uuidString();
        scheduler.registerFlea(id, agent_host::plainVoiceCard(id));
    }
    Date now = testing::kRigOrigin;
    for (auto _ : state) {
        now = now.adding(0.5);
        benchmark::DoNotOptimize(scheduler.step(now));
    }
}
BENCHMARK(BM_Baseline_SchedulerStepOf32);

// One tick and everything it sets off, dialogue lines delivered included.
void BM_AgentHost_tick(benchmark::State& state) {
    testing::AgentHostRig rig(nullptr, kCustomFleas);
    rig.host->setAutoSpotlightEnabled(false);
    rig.host->start();
    rig.queue.advance(600);  // past the first diary line, with full memories and feeds
    for (auto _ : state) rig.queue.advance(TumblewickAgentHost::tickSeconds);
}
BENCHMARK(BM_AgentHost_tick)->Unit(benchmark::kMicrosecond);

std::size_t heapInUse() { return mallinfo2().uordblks; }

void BM_AgentHost_heapOverAVirtualDay(benchmark::State& state) {
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        testing::AgentHostRig rig(nullptr, kCustomFleas);
        rig.host->start();
        rig.queue.advance(3600);
        const std::size_t afterHour = heapInUse();
        rig.queue.advance(23 * 3600);
        const std::size_t afterDay = heapInUse();
        state.counters["host_kb_after_1h"] = double(afterHour - before) / 1024.0;
        state.counters["host_kb_after_24h"] = double(afterDay - before) / 1024.0;
        state.counters["growth_kb_1h_to_24h"] = (double(afterDay) - double(afterHour)) / 1024.0;
    }
}
BENCHMARK(BM_AgentHost_heapOverAVirtualDay)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
