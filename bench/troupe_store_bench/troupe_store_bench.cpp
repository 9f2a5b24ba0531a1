// The troupe store's two hot paths: opening a 1e6-line log (read, decode, fold,
// index) against a simdjson parse of the same bytes in the same run, and appending
// 1e5 events on the main thread.
#include <benchmark/benchmark.h>
#include <simdjson.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
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

const std::string& logBytes() {
    static const std::string bytes = makeLog(kLogLines);
    return bytes;
}

// The log of 1e6 lines written as the store's file.
std::filesystem::path bigLogDirectory() {
    static const std::filesystem::path directory = [] {
        const auto dir = folder().root / "big";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / TroupeStore::logFileName, std::ios::binary) << logBytes();
        return dir;
    }();
    return directory;
}

void BM_SimdjsonParseOfTheLog(benchmark::State& state) {
    const simdjson::padded_string bytes(logBytes());
    simdjson::dom::parser parser;
    for (auto _ : state) {
        std::size_t documents = 0;
        simdjson::dom::document_stream stream;
        if (parser.parse_many(bytes).get(stream)) state.SkipWithError("simdjson refused the log");
        for (auto document : stream) {
            simdjson::dom::element element;
            if (!document.get(element)) ++documents;
        }
        benchmark::DoNotOptimize(documents);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLogLines));
}

void BM_TroupeStoreOpenAndFoldTheLog(benchmark::State& state) {
    const auto directory = bigLogDirectory();
    testing::InMemoryDefaults defaults;
    testing::ManualClock clock{Date{kLogStart + 3.2e7}};
    testing::ManualMainQueue queue;
    NotificationCenter notifications;
    for (auto _ : state) {
        auto store = std::make_unique<TroupeStore>(directory, defaults, clock, queue, notifications);
        store->waitUntilLoaded();
        state.PauseTiming();  // closing the store is not part of opening it
        if (store->snapshot().eventCount != static_cast<std::int64_t>(kLogLines))
            state.SkipWithError("the log did not load whole");
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLogLines));
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

BENCHMARK(BM_SimdjsonParseOfTheLog)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TroupeStoreOpenAndFoldTheLog)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TroupeStoreAppendOnTheMainThread)->Unit(benchmark::kMicrosecond)->Iterations(100000);

}  // namespace

BENCHMARK_MAIN();
