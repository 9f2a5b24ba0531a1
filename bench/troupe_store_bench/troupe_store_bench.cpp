// The troupe store's two hot paths: opening a 1e6-line log (read, decode, fold,
// index) against a simdjson parse_many of the same bytes in the same iteration, with
// the peak memory the open takes per event, and appending 1e5 events on the main
// thread. TW_BENCH_TEN_MILLION=1 also opens a 1e7-line log: time and memory per event
// stay flat when the open is linear.
#include <benchmark/benchmark.h>
#include <simdjson.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "bench/common/synthetic_troupe_log.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_store.h"

namespace {

using namespace tw;

constexpr std::size_t kLogLines = 1000000;
constexpr double kLogStart = 7.6e8;

// A heavy user's log, a year of it, one event every 30 s.
std::string makeLog(std::size_t count) {
    std::string log;
    for (const auto& line : bench::syntheticTroupeLines(count, kLogStart, 30, TroupeXPSource::click)) {
        log += line;
        log += '\n';
    }
    return log;
}

struct BenchFolder {
    std::filesystem::path root;
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-store-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    ~BenchFolder() { std::filesystem::remove_all(root); }
};

BenchFolder& folder() {
    static BenchFolder f;
    return f;
}

const std::string& logBytes(std::size_t lines) {
    static std::map<std::size_t, std::string> made;
    auto& bytes = made[lines];
    if (bytes.empty()) bytes = makeLog(lines);
    return bytes;
}

// The log of `lines` lines written as a store's file.
std::filesystem::path logDirectory(std::size_t lines) {
    const auto dir = folder().root / ("log" + std::to_string(lines));
    if (!std::filesystem::exists(dir / TroupeStore::logFileName)) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / TroupeStore::logFileName, std::ios::binary) << logBytes(lines);
    }
    return dir;
}

double simdjsonSeconds(const std::string& log, benchmark::State& state) {
    const simdjson::padded_string bytes(log);
    simdjson::dom::parser parser;
    const auto start = std::chrono::steady_clock::now();
    std::size_t documents = 0;
    simdjson::dom::document_stream stream;
    if (parser.parse_many(bytes).get(stream)) state.SkipWithError("simdjson refused the log");
    for (auto document : stream) {
        simdjson::dom::element element;
        if (!document.get(element)) ++documents;
    }
    benchmark::DoNotOptimize(documents);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident kilobytes: now ("VmRSS:"), or the peak since the last reset ("VmHWM:").
std::int64_t residentKB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field)) return std::stoll(line.substr(std::strlen(field)));
    }
    return 0;
}
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_TroupeStoreOpenAndFoldTheLog(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const auto directory = logDirectory(lines);
    testing::InMemoryDefaults defaults;
    testing::ManualClock clock{Date{kLogStart + 30.0 * static_cast<double>(lines) + 60}};
    testing::ManualMainQueue queue;
    NotificationCenter notifications;
    double open = 0;
    double simd = 0;
    double peakBytes = 0;
    for (auto _ : state) {
        resetPeakResident();
        const std::int64_t before = residentKB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        auto store = std::make_unique<TroupeStore>(directory, defaults, clock, queue, notifications);
        store->waitUntilLoaded();
        open += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();  // closing the store is not part of opening it
        peakBytes = std::max(peakBytes, 1024.0 * static_cast<double>(residentKB("VmHWM:") - before));
        if (store->snapshot().eventCount != static_cast<std::int64_t>(lines))
            state.SkipWithError("the log did not load whole");
        store.reset();
        simd += simdjsonSeconds(logBytes(lines), state);
        state.ResumeTiming();
    }
    const auto events = static_cast<double>(state.iterations() * lines);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.counters["x_simdjson"] = open / simd;
    state.counters["ns_per_event"] = 1e9 * open / events;
    state.counters["peak_bytes_per_event"] = peakBytes / static_cast<double>(lines);
}

// A busy typist with dual writing on: one event per key press, 20 a second.
void BM_TroupeStoreAppendOnTheMainThread(benchmark::State& state) {
    const auto directory = folder().root / "appends";
    testing::InMemoryDefaults defaults;
    testing::ManualClock clock{Date{8e8}};
    testing::ManualMainQueue queue;
    NotificationCenter notifications;
    TroupeStore store(directory, defaults, clock, queue, notifications);
    store.waitUntilLoaded();
    const Uuid flea = Uuid::random();
    store.appendKind(TroupeEventKind::fleaCreated,
                     TroupeFleaCreated{flea, "Pip", 1, "crown", "cannon", clock.now(), {}}, clock.now());
    std::int64_t appended = 0;
    for (auto _ : state) {
        if (++appended % 20 == 0) clock.advance(1);
        if (appended % 997 == 0) {
            store.appendKind(TroupeEventKind::nodeUnlocked, TroupeNodeUnlocked{flea, "cannon", "n", 1},
                             clock.now());
        } else {
            store.appendKind(TroupeEventKind::xpEarned,
                             TroupeXPEarned{std::nullopt, 1, TroupeXPSource::click}, clock.now());
        }
    }
    state.SetItemsProcessed(appended);
    store.drain();
}

BENCHMARK(BM_TroupeStoreOpenAndFoldTheLog)
    ->Apply([](benchmark::internal::Benchmark* b) {
        b->Arg(static_cast<std::int64_t>(kLogLines));
        if (const char* ten = std::getenv("TW_BENCH_TEN_MILLION"); ten != nullptr && *ten == '1')
            b->Arg(static_cast<std::int64_t>(10 * kLogLines));
    })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_TroupeStoreAppendOnTheMainThread)->Unit(benchmark::kMicrosecond)->Iterations(100000);

}  // namespace

BENCHMARK_MAIN();
