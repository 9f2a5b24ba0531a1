// The troupe store following a log another program appends to. The CPU the whole
// process spends from one line of another device's event appended (as a sync tool does:
// one write(2) on an O_APPEND descriptor) until the snapshot counts it and for the rest of
// 3 s after (what the line leaves running), on 1e5- and 1e6-line logs, against one event
// of this device appended through a store of its own (encoded, folded, written, drained)
// in the same iterations (x_own_event); and the share of a core that takes when such a
// line comes every 3 s. The same share over 30 s of a line every 3 s from the moment a
// 1e6-line log is loaded or 30 s after (and over 5 minutes from the load), with the bytes
// of the log read a line; over 2 minutes of one event of this device a second on the
// 1e6-line log, with the bytes read; over 20 s
// of 20 lines a second after a run of 2e5 events of this device, against one of 1e3; and
// over 60 s of an extended attribute set, a chmod or a touch of the 1e6-line log every
// second, with the resident memory that adds at its peak and the bytes read; and over a
// minute of one event of this device a second after a run of 2e3, 2e4 or 6e4 of its own,
// alone or (over two) with another device's line every 3 s, the MiB read a minute (the log
// and this run's own copy), which must not grow with the run.
// Over 30 s from the load of the 1e6-line log, another device's XP line every 3 s stamped at
// our clock, 2 minutes or a day behind its newest event or 10 s ahead, and over 2.5 minutes a
// rename a second an hour behind, with the share of a core, and the CPU of the first line
// after the load against a later one's.
// Beside it: the wake-ups a minute of the store's threads while nothing happens, against
// those of the process's other threads over as long a window before the store opened.
// The scenarios of 20 s and more are named Long: --benchmark_filter=-Long leaves them out.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/common/thread_activity.h"
#include "bench/troupe_store_bench/troupe_store_bench_logs.h"
#include "troupe/event_model/troupe_json.h"

namespace {

using namespace tw;
using namespace tw::bench;
constexpr auto kSyncToolPeriod = std::chrono::seconds(3);
constexpr auto kFoldDeadline = std::chrono::seconds(60);
constexpr int kOwnEvents = 200;
constexpr std::size_t kSmallLog = 1000;
constexpr std::size_t kBigLog = 1000000;
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

// Another device's line appended, and the main queue run until the snapshot counts it;
// false when it could not be appended or was not counted by the deadline.
struct AnotherDevice {
    OpenStore& open;
    Uuid device = Uuid::random();
    double countedSeconds = 0;  // the last line's, from its append
    bool appendALine() {
        const std::int64_t before = open.store->snapshot().eventCount;
        const auto start = SteadyClock::now();
        if (!appendAsAnotherProgram(open.store->logFile(), anotherDevicesLine(device, open.clock.now())))
            return false;
        if (!waitForMoreThan(open, before)) return false;
        countedSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        return true;
    }
};

// One line every iteration, and a window of kSyncToolPeriod from its append (longer when
// the snapshot takes longer to count it); the iteration's time is until it counts it.
void BM_TroupeStoreFollowAnotherDevicesAppend(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    OpenStore open(copyOfTheLog(lines, "another-device"), afterTheLog(lines));
    open.store->drain();
    AnotherDevice another{open};
    CpuWindow windows;
    double own = 0;
    for (auto _ : state) {
        const auto window = pumpEvery(open.queue, kSyncToolPeriod, 1, [&] { return another.appendALine(); });
        if (!window) {
            state.SkipWithError("the appended line was not counted by the deadline");
            return;
        }
        state.SetIterationTime(another.countedSeconds);
        windows += *window;
        own += ownEventCpuSeconds();
    }
    const auto appended = static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_line"] = 1e3 * windows.cpuSeconds / appended;
    state.counters["core_pct_at_a_line_every_3s"] = windows.corePercent();
    state.counters["own_event_cpu_us"] = 1e6 * own / appended;
    state.counters["x_own_event"] = windows.cpuSeconds / own;
}

// The bytes the process has read so far (from the page cache too).
std::uint64_t bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    for (std::uint64_t value = 0; io >> key >> value;)
        if (key == "rchar:") return value;
    return 0;
}

// A line every kSyncToolPeriod (arg lines: how many; 10 is 30 s), from the launch's load
// drained at once, or left alone for a while first as the app leaves it (arg idle_s), the
// store's clock moving with the wall's as the app's does; with the bytes of the log the
// store reads a line, which a line read alone keeps to its own, and the MiB read in all.
void BM_TroupeStoreFollowFromTheLoadLong(benchmark::State& state) {
    const auto idle = std::chrono::seconds(state.range(0));
    const auto lines = static_cast<int>(state.range(1));
    CpuWindow windows;
    std::atomic<std::uint64_t> bytesRead = 0;
    double readPerLine = 0;
    double mibRead = 0;
    for (auto _ : state) {
        OpenStore open(copyOfTheLog(kBigLog, "from-the-load"), afterTheLog(kBigLog),
                       [&](int fd, void* buffer, std::size_t size, off_t offset) {
                           const ssize_t got = ::pread(fd, buffer, size, offset);
                           if (got > 0) bytesRead += static_cast<std::uint64_t>(got);
                           return got;
                       });
        const auto loadedAt = SteadyClock::now();
        const auto wallTime = [&] {
            open.clock.set(Date{afterTheLog(kBigLog).seconds +
                                std::chrono::duration<double>(SteadyClock::now() - loadedAt).count()});
        };
        if (idle.count() == 0) open.store->drain();
        pumpFor(open.queue, idle);
        wallTime();
        AnotherDevice another{open};
        bytesRead = 0;
        const std::uint64_t readBefore = bytesReadSoFar();
        const auto window = pumpEvery(open.queue, kSyncToolPeriod, lines, [&] {
            wallTime();
            return another.appendALine();
        });
        if (!window) {
            state.SkipWithError("an appended line was not counted by the deadline");
            return;
        }
        state.SetIterationTime(window->wallSeconds);
        windows += *window;
        readPerLine += static_cast<double>(bytesRead.load()) / lines;
        mibRead = std::max(mibRead, static_cast<double>(bytesReadSoFar() - readBefore) / (1 << 20));
    }
    state.counters["core_pct"] = windows.corePercent();
    state.counters["bytes_read_per_line"] = readPerLine / static_cast<double>(state.iterations());
    state.counters["mib_read"] = mibRead;
}

// Another device's XP line every 3 s for 30 s from the moment a 1e6-line log is loaded,
// stamped from the log's newest event (which moves with the clock) by arg offset_s: at our
// clock, 2 minutes and a day behind, 10 s ahead; or (order_dependent) a rename a second for
// 2.5 minutes stamped an hour behind, which only a whole fold puts in its place. The store's
// clock and the main queue's timers move with the wall's, as the app's do; the share of a
// core and the MiB read, and those of the first line after the load alone (its CPU and what
// was read until the next line), which must cost no more than a later one.
void BM_TroupeStoreStampedLinesFromTheLoadLong(benchmark::State& state) {
    const double offset = static_cast<double>(state.range(0));
    const bool orderDependent = state.range(1) != 0;
    CpuWindow windows;
    double mibRead = 0;
    double firstLineMs = 0;
    double firstLineMib = 0;
    double laterLineMs = 0;
    for (auto _ : state) {
        OpenStore open(copyOfTheLog(kBigLog, "stamped"), afterTheLog(kBigLog));
        const auto loadedAt = SteadyClock::now();
        double queued = 0;
        const Uuid device = Uuid::random();
        const Uuid flea = Uuid::random();
        const std::uint64_t readBefore = bytesReadSoFar();
        const double cpuBefore = processCpuSeconds();
        int appended = 0;
        const auto window = pumpEvery(
            open.queue, orderDependent ? std::chrono::seconds(1) : kSyncToolPeriod, orderDependent ? 150 : 10,
            [&] {
                if (appended++ == 1) {  // what the first line cost, up to the second
                    firstLineMs = std::max(firstLineMs, 1e3 * (processCpuSeconds() - cpuBefore));
                    firstLineMib = std::max(firstLineMib,
                                            static_cast<double>(bytesReadSoFar() - readBefore) / (1 << 20));
                }
                const double elapsed = std::chrono::duration<double>(SteadyClock::now() - loadedAt).count();
                open.clock.set(Date{afterTheLog(kBigLog).seconds + elapsed});
                open.queue.advance(elapsed - queued);
                queued = elapsed;
                const Date ts{open.clock.now().seconds - 1 + offset};
                const std::string line =
                    orderDependent
                        ? encodeTroupeEventLine(TroupeEvent{Uuid::random(), TroupeEventKind::fleaRenamed,
                                                            TroupeFleaRenamed{flea, "Renamed"}, ts, device,
                                                            troupeSchemaVersion}) +
                              "\n"
                        : anotherDevicesLine(device, ts);
                const std::int64_t before = open.store->snapshot().eventCount;
                return appendAsAnotherProgram(open.store->logFile(), line) && waitForMoreThan(open, before);
            });
        if (!window) {
            state.SkipWithError("an appended line was not counted by the deadline");
            return;
        }
        mibRead = std::max(mibRead, static_cast<double>(bytesReadSoFar() - readBefore) / (1 << 20));
        state.SetIterationTime(window->wallSeconds);
        windows += *window;
        laterLineMs = std::max(laterLineMs, (1e3 * window->cpuSeconds - firstLineMs) / (appended - 1));
    }
    state.counters["core_pct"] = windows.corePercent();
    state.counters["mib_read"] = mibRead;
    state.counters["later_line_cpu_ms"] = laterLineMs;
    state.counters["first_line_cpu_ms"] = firstLineMs;
    state.counters["first_line_mib_read"] = firstLineMib;
}

// 20 lines a second for 20 s (taken as a sync tool writes them, without waiting for each
// to be counted) after this run wrote events of its own to a small log (arg: how many).
void BM_TroupeStoreForeignLinesAfterAnOwnRunLong(benchmark::State& state) {
    constexpr int kLines = 400;
    const auto own = static_cast<int>(state.range(0));
    CpuWindow windows;
    for (auto _ : state) {
        OpenStore open(copyOfTheLog(kSmallLog, "after-own-run"), afterTheLog(kSmallLog));
        open.append(own);
        open.store->drain();
        open.queue.runPending();
        const std::int64_t before = open.store->snapshot().eventCount;
        const Uuid device = Uuid::random();
        const auto window = pumpEvery(open.queue, std::chrono::milliseconds(50), kLines, [&] {
            return appendAsAnotherProgram(open.store->logFile(),
                                          anotherDevicesLine(device, open.clock.now()));
        });
        if (!window || !waitForMoreThan(open, before + kLines - 1)) {
            state.SkipWithError("the appended lines were not all counted by the deadline");
            return;
        }
        state.SetIterationTime(window->wallSeconds);
        windows += *window;
    }
    state.counters["core_pct_over_20s"] = windows.corePercent();
}

// One event of this device a second for `seconds` on a log of `logLines` (loaded and settled
// after a run of `ownRun` events of its own), the store's clock moving with the wall's, with
// another device's line every 3 s as well when `others`: the CPU and the MiB read meanwhile
// (the log and this run's own copy). False, said in `state`, when an event was refused.
bool eventEverySecond(benchmark::State& state, std::size_t logLines, int ownRun, int seconds, bool others,
                      CpuWindow& windows, double& mibRead) {
    OpenStore open(copyOfTheLog(logLines, "every-second"), afterTheLog(logLines));
    open.append(ownRun);
    open.store->drain();
    pumpFor(open.queue, kSettle);
    const Uuid device = Uuid::random();
    const auto start = SteadyClock::now();
    const std::uint64_t readBefore = bytesReadSoFar();
    int second = 0;
    const auto window = pumpEvery(open.queue, std::chrono::seconds(1), seconds, [&] {
        open.clock.set(Date{afterTheLog(logLines).seconds +
                            std::chrono::duration<double>(SteadyClock::now() - start).count()});
        if (others && ++second % 3 == 0 &&
            !appendAsAnotherProgram(open.store->logFile(), anotherDevicesLine(device, open.clock.now())))
            return false;
        return open.append(1).size() == 1;
    });
    if (!window) {
        state.SkipWithError("an event was refused");
        return false;
    }
    mibRead = std::max(mibRead, static_cast<double>(bytesReadSoFar() - readBefore) / (1 << 20));
    state.SetIterationTime(window->wallSeconds);
    windows += *window;
    return true;
}

// For 2 minutes on the 1e6-line log: the net over the whole file must not make what is read
// grow with the log for lines of this run alone.
void BM_TroupeStoreOwnLinesOnABigLogLong(benchmark::State& state) {
    CpuWindow windows;
    double mibRead = 0;
    for (auto _ : state)
        if (!eventEverySecond(state, kBigLog, 0, 120, false, windows, mibRead)) return;
    state.counters["core_pct_over_120s"] = windows.corePercent();
    state.counters["mib_read_over_120s"] = mibRead;
}

// On a small log after a run of this device's own (arg own_lines), for a minute, or for two
// with another device's line every 3 s (arg others), so that a comparison of the log's bytes
// falls in it: reading back this run's lines must not cost more as the run grows.
void BM_TroupeStoreReadBackAfterAnOwnRunLong(benchmark::State& state) {
    const bool others = state.range(1) != 0;
    const int minutes = others ? 2 : 1;
    CpuWindow windows;
    double mibRead = 0;
    for (auto _ : state)
        if (!eventEverySecond(state, kSmallLog, static_cast<int>(state.range(0)), 60 * minutes, others,
                              windows, mibRead))
            return;
    state.counters["core_pct"] = windows.corePercent();
    state.counters["mib_read_a_minute"] = mibRead / minutes;
}

enum class MetadataChange { extendedAttribute, sameMode, touch };

// The change, once; the error number when the file system refused it.
int changeMetadata(const std::filesystem::path& log, MetadataChange change, int round) {
    switch (change) {
        case MetadataChange::extendedAttribute: {
            const std::string value = std::to_string(round);
            return ::setxattr(log.c_str(), "user.tw", value.data(), value.size(), 0) == 0 ? 0 : errno;
        }
        case MetadataChange::sameMode: {
            struct stat status {};
            if (::stat(log.c_str(), &status) != 0) return errno;
            return ::chmod(log.c_str(), status.st_mode & 07777) == 0 ? 0 : errno;
        }
        case MetadataChange::touch: {
            const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
            return ::utimensat(AT_FDCWD, log.c_str(), now, 0) == 0 ? 0 : errno;
        }
    }
    return EINVAL;
}

// Once a second for 60 s, on the 1e6-line log loaded and settled (arg: a MetadataChange),
// with the bytes read meanwhile: a comparison of the whole log is one read of it.
void BM_TroupeStoreMetadataChangesLong(benchmark::State& state) {
    constexpr int kChanges = 60;
    const auto change = static_cast<MetadataChange>(state.range(0));
    CpuWindow windows;
    double peakBytes = 0;
    double mibRead = 0;
    for (auto _ : state) {
        OpenStore open(copyOfTheLog(kBigLog, "metadata"), afterTheLog(kBigLog));
        open.store->drain();
        pumpFor(open.queue, kSettle);
        int refused = 0;
        int round = 0;
        resetPeakResident();
        const std::int64_t before = residentKB("VmRSS:");
        const std::uint64_t readBefore = bytesReadSoFar();
        const auto window = pumpEvery(open.queue, std::chrono::seconds(1), kChanges, [&] {
            refused = changeMetadata(open.store->logFile(), change, ++round);
            return refused == 0;
        });
        if (!window) {
            state.SkipWithError(
                ("the file system refused the change: " + std::string(std::strerror(refused))).c_str());
            return;
        }
        peakBytes = std::max(peakBytes, 1024.0 * static_cast<double>(residentKB("VmHWM:") - before));
        mibRead = std::max(mibRead, static_cast<double>(bytesReadSoFar() - readBefore) / (1 << 20));
        state.SetIterationTime(window->wallSeconds);
        windows += *window;
    }
    state.counters["core_pct_over_60s"] = windows.corePercent();
    state.counters["peak_rss_growth_mb"] = peakBytes / (1 << 20);
    state.counters["mib_read_over_60s"] = mibRead;
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
BENCHMARK(BM_TroupeStoreFollowFromTheLoadLong)
    ->ArgNames({"idle_s", "lines"})
    ->Args({0, 10})
    ->Args({30, 10})
    ->Args({0, 100})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_TroupeStoreStampedLinesFromTheLoadLong)
    ->ArgNames({"offset_s", "order_dependent"})
    ->Args({0, 0})
    ->Args({-120, 0})
    ->Args({-86400, 0})
    ->Args({10, 0})
    ->Args({-3600, 1})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_TroupeStoreForeignLinesAfterAnOwnRunLong)
    ->ArgName("own_events")
    ->Arg(1000)
    ->Arg(200000)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_TroupeStoreOwnLinesOnABigLogLong)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_TroupeStoreReadBackAfterAnOwnRunLong)
    ->ArgNames({"own_lines", "others"})
    ->ArgsProduct({{2000, 20000, 60000}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_TroupeStoreMetadataChangesLong)
    ->ArgName("change")  // 0 an extended attribute, 1 chmod to the same mode, 2 touch
    ->DenseRange(0, 2)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_TroupeStoreWakeUpsAtRest)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
