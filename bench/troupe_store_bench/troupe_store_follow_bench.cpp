// The troupe store following a log another program appends to. The CPU the whole
// process spends from one line of another device's event appended (as a sync tool does:
// one write(2) on an O_APPEND descriptor) until the snapshot counts it, on 1e5- and
// 1e6-line logs, against one event of this device appended through a store of its own
// (encoded, folded, written, drained) in the same iterations (x_own_event); and the share
// of a core that takes when such a line comes every 3 s. Beside it: the wake-ups a minute
// of the store's threads while nothing happens, against those of the process's other
// threads over as long a window before the store opened.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/common/thread_activity.h"
#include "bench/troupe_store_bench/troupe_store_bench_logs.h"
#include "troupe/event_model/troupe_json.h"

namespace {

using namespace tw;
using namespace tw::bench;
using SteadyClock = std::chrono::steady_clock;

constexpr double kSyncToolPeriodSeconds = 3;
constexpr auto kFoldDeadline = std::chrono::seconds(60);
constexpr int kOwnEvents = 200;
constexpr std::size_t kSmallLog = 1000;
constexpr auto kRestWindow = std::chrono::seconds(10);
// Longer than the writer's quicker looks for a while after the file changed.
constexpr auto kSettle = std::chrono::seconds(4);

std::string anotherDevicesLine(const Uuid& device, Date ts) {
    return encodeTroupeEventLine(TroupeEvent{Uuid::random(), TroupeEventKind::xpEarned,
                                             TroupeXPEarned{std::nullopt, 3, TroupeXPSource::click}, ts,
                                             device, troupeSchemaVersion}) +
           "\n";
}

bool appendAsAnotherProgram(const std::filesystem::path& log, const std::string& line) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    const bool whole = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return whole;
}

// Runs what the store posts to the main thread until the snapshot holds more than
// `count` events; false when it still does not by the deadline.
bool waitForMoreThan(OpenStore& open, std::int64_t count) {
    const auto deadline = SteadyClock::now() + kFoldDeadline;
    while (open.store->snapshot().eventCount <= count) {
        if (SteadyClock::now() > deadline) return false;
        open.queue.waitAndRun(0.05);
    }
    return true;
}

// The process's CPU for one event of this device, on a store that is closed again so
// that its threads cost the measured one nothing.
double ownEventCpuSeconds() {
    const auto directory = folder().root / "own-events";
    std::filesystem::remove_all(directory);
    OpenStore own(directory, Date{8e8});
    const double start = processCpuSeconds();
    own.append(kOwnEvents);
    own.store->drain();
    return (processCpuSeconds() - start) / kOwnEvents;
}

// One line every iteration; the CPU windows follow one another, so what a line leaves
// running after the snapshot counts it is counted with the next.
void BM_TroupeStoreFollowAnotherDevicesAppend(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const auto directory = copyOfTheLog(lines, "another-device");
    OpenStore open(directory, afterTheLog(lines));
    open.store->drain();
    const Uuid device = Uuid::random();
    double cpu = 0;
    double own = 0;
    std::int64_t appended = 0;
    for (auto _ : state) {
        const std::string line = anotherDevicesLine(device, open.clock.now());
        const std::int64_t before = open.store->snapshot().eventCount;
        const double cpuStart = processCpuSeconds();
        const auto start = SteadyClock::now();
        if (!appendAsAnotherProgram(directory / TroupeStore::logFileName, line)) {
            state.SkipWithError("cannot append to the log");
            break;
        }
        if (!waitForMoreThan(open, before)) {
            state.SkipWithError("the snapshot did not count the appended line within the deadline");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - start).count());
        cpu += processCpuSeconds() - cpuStart;
        ++appended;
        own += ownEventCpuSeconds();
    }
    if (appended == 0) return;
    const double perLine = cpu / static_cast<double>(appended);
    state.counters["cpu_ms_per_line"] = 1e3 * perLine;
    state.counters["core_pct_at_a_line_every_3s"] = 100 * perLine / kSyncToolPeriodSeconds;
    state.counters["own_event_cpu_us"] = 1e6 * own / static_cast<double>(appended);
    state.counters["x_own_event"] = cpu / own;
}

// Runs what is posted to the main thread for `window`, as the app's main loop would.
void pumpFor(testing::ManualMainQueue& queue, SteadyClock::duration window) {
    const auto end = SteadyClock::now() + window;
    for (auto now = SteadyClock::now(); now < end; now = SteadyClock::now())
        queue.waitAndRun(std::chrono::duration<double>(end - now).count());
}

// The store's threads are the ones that were not there before it opened; neither count
// includes the thread that measures.
void BM_TroupeStoreWakeUpsAtRest(benchmark::State& state) {
    const pid_t self = ::gettid();
    std::int64_t storeSwitches = 0;
    std::int64_t otherSwitches = 0;
    std::size_t storeThreads = 0;
    for (auto _ : state) {
        const auto directory = copyOfTheLog(kSmallLog, "at-rest");
        testing::ManualMainQueue noStore;
        const auto withoutStore = threadSwitches();
        pumpFor(noStore, kRestWindow);
        otherSwitches += switchesBetween(withoutStore, threadSwitches(), [&](pid_t t) { return t != self; });

        OpenStore open(directory, afterTheLog(kSmallLog));
        open.store->drain();
        pumpFor(open.queue, kSettle);
        auto isStores = [&](pid_t t) { return t != self && !withoutStore.contains(t); };
        const auto atRest = threadSwitches();
        pumpFor(open.queue, kRestWindow);
        const auto after = threadSwitches();
        storeSwitches += switchesBetween(atRest, after, isStores);
        storeThreads = 0;
        for (const auto& entry : after) storeThreads += isStores(entry.first) ? 1 : 0;
    }
    const double minutes =
        static_cast<double>(state.iterations()) * std::chrono::duration<double>(kRestWindow).count() / 60;
    state.counters["store_wake_ups_per_min"] = static_cast<double>(storeSwitches) / minutes;
    state.counters["no_store_wake_ups_per_min"] = static_cast<double>(otherSwitches) / minutes;
    state.counters["store_threads"] = static_cast<double>(storeThreads);
}

BENCHMARK(BM_TroupeStoreFollowAnotherDevicesAppend)
    ->ArgName("lines")
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(8);
BENCHMARK(BM_TroupeStoreWakeUpsAtRest)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
