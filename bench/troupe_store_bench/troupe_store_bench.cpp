// The troupe store's two hot paths: opening a 1e6-line log (read, decode, fold,
// index) against a simdjson parse_many of the same file in the same iteration, with
// the peak memory the open takes per event, and appending 1e5 events on the main
// thread. The log is written as the store leaves it (arg 1 = 0): whole-second times,
// several events a second in no particular id order, and some lines written a few
// seconds after their time; beside it (arg 1 = 1) the same events sorted in the fold's
// order, and (arg 1 = 2) the log as written with its tenth line from a clock a day
// ahead. TW_BENCH_TEN_MILLION=1 also opens 1e7-line logs: time and memory per event
// stay flat when the open is linear. The peak memory is that of a fresh heap only for
// the first benchmark a process runs (the allocator keeps what earlier ones freed):
// run one row a process, e.g. --benchmark_filter='OpenAndFold.*lines:1000000/log:1/'.
// Beside them: what this run's ledger takes in memory per 1e5 events (against the lines
// it does not hold), a 1e6-line log renamed over the open log read again and this run's
// events put back (against a first load of it in the same iteration), and a quit while
// a read of the log stalls (against a quit with none running), and a quit on one core
// shared with three busy loops 50 ms after the last five of this run's lines were cut off
// the log or a copy without them was renamed over it: how long it takes, and this run's
// events in the file twice or not at all after it (BusyQuitLong: about 30 s a row).
// Another device's append and the store at rest are in troupe_store_follow_bench.cpp.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench/troupe_store_bench/troupe_store_bench_logs.h"
#include "troupe/store/troupe_log_loader.h"
#include "troupe/store/troupe_run_ledger.h"

namespace {

using namespace tw;
using namespace tw::bench;

constexpr std::size_t kLogLines = 1000000;

double simdjsonSeconds(const std::filesystem::path& log, benchmark::State& state) {
    simdjson::padded_string bytes;
    if (simdjson::padded_string::load(log.string()).get(bytes)) state.SkipWithError("cannot load the log");
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

struct Opening {
    double seconds = 0;
    double peakBytes = 0;  // resident memory it added at its peak
    bool whole = false;    // every line was folded
};

Opening openTheLog(const std::filesystem::path& directory, std::size_t lines, Date now) {
    testing::InMemoryDefaults defaults;
    testing::ManualClock clock{now};
    testing::ManualMainQueue queue;
    NotificationCenter notifications;
    resetPeakResident();
    const std::int64_t before = residentKB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    auto store = std::make_unique<TroupeStore>(directory, defaults, clock, queue, notifications);
    store->waitUntilLoaded();
    Opening opening;
    opening.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    opening.peakBytes = 1024.0 * static_cast<double>(residentKB("VmHWM:") - before);
    opening.whole = store->snapshot().eventCount == static_cast<std::int64_t>(lines);
    return opening;
}

// Opens the log (arg 1: a LogOrder). A log not sorted is timed against the sorted one
// too, opened in turn in the same iterations (x_sorted), so the ratio holds while the
// machine's speed drifts; its peak is taken first in each iteration.
void BM_TroupeStoreOpenAndFoldTheLog(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const auto order = static_cast<LogOrder>(state.range(1));
    const bool sorted = order == LogOrder::sorted;
    const auto directory = logDirectory(lines, order);
    const auto sortedDirectory = logDirectory(lines, LogOrder::sorted);
    const Date now = afterTheLog(lines);
    double open = 0;
    double openSorted = 0;
    double simd = 0;
    double peakBytes = 0;
    for (auto _ : state) {
        const Opening opening = openTheLog(directory, lines, now);
        state.SetIterationTime(opening.seconds);
        if (!opening.whole) state.SkipWithError("the log did not load whole");
        open += opening.seconds;
        peakBytes = std::max(peakBytes, opening.peakBytes);
        if (!sorted) openSorted += openTheLog(sortedDirectory, lines, now).seconds;
        simd += simdjsonSeconds(directory / TroupeStore::logFileName, state);
    }
    const auto events = static_cast<double>(state.iterations() * lines);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.counters["x_simdjson"] = open / simd;
    if (!sorted) state.counters["x_sorted"] = open / openSorted;
    state.counters["ns_per_event"] = 1e9 * open / events;
    state.counters["simdjson_ns_per_event"] = 1e9 * simd / events;
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

// What the ledger keeps in memory for 1e5 events of a run, against the bytes of their lines.
void BM_TroupeRunLedgerMemory(benchmark::State& state) {
    constexpr std::size_t kEvents = 100000;
    const std::vector<std::string> lines = syntheticTroupeLines(kEvents, kLogStart, 0, TroupeXPSource::click);
    double memory = 0;
    double lineBytes = 0;
    for (auto _ : state) {
        TroupeRunLedger ledger(folder().root);
        lineBytes = 0;
        for (const auto& line : lines) {
            ledger.record(Uuid::random(), line + "\n");
            lineBytes += static_cast<double>(line.size() + 1);
        }
        memory = static_cast<double>(ledger.memoryBytes());
    }
    state.counters["bytes_per_100k_events"] = memory;
    state.counters["bytes_per_event"] = memory / kEvents;
    state.counters["x_lines"] = memory / lineBytes;
}

// The 1e6-line log renamed over the open log while 1000 events of this run are in it:
// from the rename to the snapshot folding the new file and this run's events put back.
// The wait for the file to be quiet is part of it (x_first_load_without_quiet leaves it out).
void BM_TroupeStoreReconcileAReplacedLog(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const auto big = logDirectory(lines, LogOrder::asWritten) / TroupeStore::logFileName;
    const Date now = afterTheLog(lines);
    double reconcile = 0;
    double firstLoad = 0;
    for (auto _ : state) {
        const auto directory = folder().root / "replaced";
        std::filesystem::remove_all(directory);
        OpenStore open(directory, now);
        open.append(1000);
        open.store->drain();
        std::filesystem::copy_file(big, directory / "copy.jsonl");
        const auto start = std::chrono::steady_clock::now();
        std::filesystem::rename(directory / "copy.jsonl", directory / TroupeStore::logFileName);
        open.store->drain();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (open.store->snapshot().eventCount != static_cast<std::int64_t>(lines + 1000))
            state.SkipWithError("the replaced log was not reconciled");
        state.SetIterationTime(seconds);
        reconcile += seconds;
        firstLoad += openTheLog(big.parent_path(), lines, now).seconds;
    }
    const double quiet = std::chrono::duration<double>(TroupeLogLoader::quiet).count() * state.iterations();
    state.counters["x_first_load"] = reconcile / firstLoad;
    state.counters["x_first_load_without_quiet"] = (reconcile - quiet) / firstLoad;
}

// SIGTERM's path while the log is read again and the read does not return: from the stop
// to every event on disk, against the same quit with no read running.
void BM_TroupeStoreQuitDuringAStalledRead(benchmark::State& state) {
    double stalled = 0;
    double idle = 0;
    for (auto _ : state) {
        const auto directory = folder().root / "stalled";
        std::filesystem::remove_all(directory);
        std::mutex mutex;
        std::condition_variable changed;
        bool stall = false;
        bool stalling = false;
        OpenStore open(directory, Date{8e8}, [&](int fd, void* buffer, std::size_t size, off_t offset) {
            std::unique_lock lock(mutex);
            stalling = stall;
            changed.notify_all();
            changed.wait(lock, [&] { return !stall; });
            return ::pread(fd, buffer, size, offset);
        });
        open.append(100);
        open.store->drain();
        {
            std::lock_guard lock(mutex);
            stall = true;
        }
        std::ofstream(directory / TroupeStore::logFileName, std::ios::app) << "\n";  // another writer
        for (std::unique_lock lock(mutex); !stalling; lock.lock()) {
            lock.unlock();
            open.queue.waitAndRun(0.05);
        }
        const auto start = std::chrono::steady_clock::now();
        open.store->stopLoading();
        open.store->markSessionEnd(open.clock.now());
        open.store->drain();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        stalled += seconds;
        {
            std::lock_guard lock(mutex);
            stall = false;
        }
        changed.notify_all();
        open.store.reset();

        OpenStore calm(directory, Date{8e8});
        calm.append(100);
        const auto calmStart = std::chrono::steady_clock::now();
        calm.store->stopLoading();
        calm.store->drain();
        idle += std::chrono::duration<double>(std::chrono::steady_clock::now() - calmStart).count();
    }
    state.counters["x_no_read"] = stalled / idle;
    state.counters["quit_ms"] = 1e3 * stalled / static_cast<double>(state.iterations());
}

// Every thread of the process, and those started from them meanwhile, on the first CPU it
// may run on; back on all of those once the pin goes.
class PinnedToOneCpu {
   public:
    PinnedToOneCpu() {
        ::sched_getaffinity(0, sizeof(all_), &all_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &all_)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        setEveryThread(one);
    }
    ~PinnedToOneCpu() { setEveryThread(all_); }
    PinnedToOneCpu(const PinnedToOneCpu&) = delete;
    PinnedToOneCpu& operator=(const PinnedToOneCpu&) = delete;

   private:
    static void setEveryThread(const cpu_set_t& cpus) {
        std::error_code ignored;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored))
            ::sched_setaffinity(std::stoi(task.path().filename().string()), sizeof(cpus), &cpus);
    }
    cpu_set_t all_;
};

// Three threads that never sleep, as other programs keeping the core busy.
class BusyLoops {
   public:
    BusyLoops() {
        for (int i = 0; i < 3; ++i)
            loops_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~BusyLoops() { stop_ = true; }  // before the threads join

   private:
    std::atomic<bool> stop_{false};
    std::vector<std::jthread> loops_;
};

// Where the last `lines` lines of a file ending in a line feed start.
std::uintmax_t startOfLastLines(const std::filesystem::path& file, int lines) {
    std::ifstream in(file, std::ios::binary);
    std::uintmax_t at = std::filesystem::file_size(file);
    for (int feeds = 0; at > 0; --at) {
        in.seekg(static_cast<std::streamoff>(at - 1));
        if (in.get() == '\n' && ++feeds > lines) break;
    }
    return at;
}

// How many lines of the file carry each of `ids`, in their order.
std::vector<int> timesInTheFile(const std::filesystem::path& file, const std::vector<Uuid>& ids) {
    std::unordered_map<std::string, int> times;
    for (const Uuid& id : ids) times[id.uuidString()] = 0;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (const auto found = times.find(std::string(lineId(line))); found != times.end()) ++found->second;
    }
    std::vector<int> counts;
    for (const Uuid& id : ids) counts.push_back(times[id.uuidString()]);
    return counts;
}

enum class LostTail { cutShort, replacedByACopy };

// The 1e6-line log, a session and 437 events of this run over about 3 s; then, on a core
// shared with three busy loops, the last five lines of the run taken off the file (arg:
// a LostTail) and the app's quit 50 ms after (stop the load, end the session, drain,
// destroy the store). The iteration's time is the quit's.
void BM_TroupeStoreBusyQuitLong(benchmark::State& state) {
    constexpr int kEvents = 437;
    constexpr int kLost = 5;
    const auto lost = static_cast<LostTail>(state.range(0));
    double quitMax = 0;
    std::int64_t twice = 0;
    std::int64_t missing = 0;
    for (auto _ : state) {
        const auto directory = copyOfTheLog(kLogLines, "busy-quit");
        const auto log = directory / TroupeStore::logFileName;
        const auto copy = directory / "events.jsonl.sync";
        OpenStore open(directory, afterTheLog(kLogLines));
        open.store->markSessionStart(std::nullopt, open.clock.now());
        std::vector<Uuid> ids;
        pumpEvery(open.queue, std::chrono::milliseconds(7), kEvents, [&] {
            for (const Uuid& id : open.append(1)) ids.push_back(id);
            return true;
        });
        open.store->drain();
        if (ids.size() != kEvents) state.SkipWithError("the store refused some of the events");
        const std::uintmax_t cut = startOfLastLines(log, kLost);
        if (lost == LostTail::replacedByACopy) {
            std::filesystem::copy_file(log, copy);
            std::filesystem::resize_file(copy, cut);
        }
        double seconds = 0;
        {
            PinnedToOneCpu pinned;
            BusyLoops busy;
            if (lost == LostTail::cutShort) {
                std::filesystem::resize_file(log, cut);
            } else {
                std::filesystem::rename(copy, log);
            }
            pumpFor(open.queue, std::chrono::milliseconds(50));
            const auto start = std::chrono::steady_clock::now();
            open.store->stopLoading();
            open.store->markSessionEnd(open.clock.now());
            open.store->drain();
            open.store.reset();
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        state.SetIterationTime(seconds);
        quitMax = std::max(quitMax, seconds);
        for (const int times : timesInTheFile(log, ids)) {
            twice += times > 1 ? 1 : 0;
            missing += times == 0 ? 1 : 0;
        }
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["quit_s_max"] = quitMax;
    state.counters["ids_twice"] = static_cast<double>(twice) / iterations;
    state.counters["ids_missing"] = static_cast<double>(missing) / iterations;
}

BENCHMARK(BM_TroupeStoreOpenAndFoldTheLog)
    ->Apply([](benchmark::internal::Benchmark* b) {
        b->ArgNames({"lines", "log"});
        for (LogOrder order : {LogOrder::asWritten, LogOrder::sorted, LogOrder::oneLineADayAhead}) {
            const auto log = static_cast<std::int64_t>(order);
            b->Args({static_cast<std::int64_t>(kLogLines), log});
            if (const char* ten = std::getenv("TW_BENCH_TEN_MILLION"); ten != nullptr && *ten == '1')
                b->Args({static_cast<std::int64_t>(10 * kLogLines), log});
        }
    })
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_TroupeStoreAppendOnTheMainThread)->Unit(benchmark::kMicrosecond)->Iterations(100000);
BENCHMARK(BM_TroupeRunLedgerMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TroupeStoreReconcileAReplacedLog)
    ->ArgName("lines")
    ->Arg(static_cast<std::int64_t>(kLogLines))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_TroupeStoreQuitDuringAStalledRead)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_TroupeStoreBusyQuitLong)
    ->ArgName("lost")  // 0 cut off the file, 1 a copy without them renamed over it
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
