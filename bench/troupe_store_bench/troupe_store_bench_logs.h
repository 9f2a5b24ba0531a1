#pragma once
// What the troupe store's benchmarks share: a heavy user's log written as the store
// leaves it (or sorted, or with a line from a clock a day ahead), kept once per size in
// a temporary folder the XDG folders point into, a store opened on a folder with a
// manual clock and main queue, and that queue run as the app's main loop would while the
// process's CPU is counted.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "bench/common/synthetic_troupe_log.h"
#include "bench/common/thread_activity.h"
#include "platform/date.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "troupe/store/troupe_store.h"

namespace tw::bench {

inline constexpr double kLogStart = 7.6e8;

// The time each line of the log carries: about four events a second, and one line in
// eight written one to three seconds after its time (a late event, a slow sink).
inline std::vector<double> writtenTimes(std::size_t count) {
    std::mt19937_64 rng(7);
    std::vector<double> times(count);
    double clock = kLogStart;
    for (double& ts : times) {
        if (rng() % 4 == 0) clock += 1;
        ts = clock - (rng() % 8 == 0 ? static_cast<double>(1 + rng() % 3) : 0);
    }
    return times;
}

// A line's time is its last value, the fixed-width "yyyy-MM-ddTHH:mm:ssZ" before "}.
inline void stampTime(std::string& line, double ts) {
    constexpr std::size_t kDateWidth = 20;
    line.replace(line.size() - kDateWidth - 2, kDateWidth, *iso8601String(Date{ts}));
}

// The text of a line's event id; empty when it has none.
inline std::string_view lineId(std::string_view line) {
    constexpr std::string_view kId = ",\"id\":\"";
    const std::size_t key = line.find(kId);
    return key == std::string_view::npos ? std::string_view() : line.substr(key + kId.size(), 36);
}

// The fold's order of a line: its time, then its id's text.
inline std::tuple<std::string_view, std::string_view> foldOrder(const std::string& line) {
    return {std::string_view(line).substr(line.size() - 22, 20), lineId(line)};
}

enum class LogOrder { asWritten, sorted, oneLineADayAhead };
inline constexpr std::size_t kLineADayAhead = 10;

// A heavy user's log of `count` lines, in `order`, into `file`.
inline void writeLog(const std::filesystem::path& file, std::size_t count, LogOrder order) {
    std::vector<std::string> lines = syntheticTroupeLines(count, kLogStart, 0, TroupeXPSource::click);
    std::vector<double> times = writtenTimes(count);
    if (order == LogOrder::oneLineADayAhead) times[kLineADayAhead] += 86400;
    for (std::size_t i = 0; i < count; ++i) stampTime(lines[i], times[i]);
    if (order == LogOrder::sorted) {
        std::sort(lines.begin(), lines.end(),
                  [](const std::string& a, const std::string& b) { return foldOrder(a) < foldOrder(b); });
    }
    std::ofstream out(file, std::ios::binary);
    for (const auto& line : lines) out << line << '\n';
}

// One second after the log's last time.
inline Date afterTheLog(std::size_t count) { return Date{writtenTimes(count).back() + 1}; }

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

inline BenchFolder& folder() {
    static BenchFolder f;
    return f;
}

// The log of `lines` lines written as a store's file, by a child process: the heap it
// takes to make the log would otherwise hide part of the open's peak memory.
inline std::filesystem::path logDirectory(std::size_t lines, LogOrder order) {
    const auto dir =
        folder().root / ("log" + std::to_string(lines) + "-" + std::to_string(static_cast<int>(order)));
    if (!std::filesystem::exists(dir / TroupeStore::logFileName)) {
        std::filesystem::create_directories(dir);
        const pid_t child = ::fork();
        if (child == 0) {
            writeLog(dir / TroupeStore::logFileName, lines, order);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    return dir;
}

// A folder `name` of its own holding a copy of the log of `lines` lines as written, for
// a benchmark that changes it.
inline std::filesystem::path copyOfTheLog(std::size_t lines, const std::string& name) {
    const auto source = logDirectory(lines, LogOrder::asWritten) / TroupeStore::logFileName;
    const auto directory = folder().root / name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    std::filesystem::copy_file(source, directory / TroupeStore::logFileName);
    return directory;
}

struct OpenStore {
    testing::InMemoryDefaults defaults;
    testing::ManualClock clock;
    testing::ManualMainQueue queue;
    NotificationCenter notifications;
    std::unique_ptr<TroupeStore> store;
    OpenStore(const std::filesystem::path& directory, Date now, TroupeLogReadControl::ReadFunction read = {})
        : clock(now),
          store(std::make_unique<TroupeStore>(directory, defaults, clock, queue, notifications,
                                              std::move(read))) {
        store->waitUntilLoaded();
    }
    // The ids of the events stored.
    std::vector<Uuid> append(int events) {
        std::vector<Uuid> ids;
        for (int i = 0; i < events; ++i) {
            const TroupeAppendResult stored =
                store->appendKind(TroupeEventKind::xpEarned,
                                  TroupeXPEarned{std::nullopt, 1, TroupeXPSource::click}, clock.now());
            if (const auto* event = std::get_if<TroupeEvent>(&stored)) ids.push_back(event->id);
        }
        return ids;
    }
};

using SteadyClock = std::chrono::steady_clock;

// Runs what is posted to the main thread for `window`, as the app's main loop would.
inline void pumpFor(testing::ManualMainQueue& queue, SteadyClock::duration window) {
    const auto end = SteadyClock::now() + window;
    for (auto now = SteadyClock::now(); now < end; now = SteadyClock::now())
        queue.waitAndRun(std::chrono::duration<double>(end - now).count());
}

// The CPU of the whole process over a stretch of wall time.
struct CpuWindow {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double corePercent() const { return wallSeconds > 0 ? 100 * cpuSeconds / wallSeconds : 0; }
    CpuWindow& operator+=(const CpuWindow& other) {
        cpuSeconds += other.cpuSeconds;
        wallSeconds += other.wallSeconds;
        return *this;
    }
};

// Calls `act` `times` times, `period` apart from the first, running the main queue in
// between and for a period after the last: the window counts what each call left running.
// A call that runs past its period delays the next one and lengthens the window. Nothing
// when `act` returns false.
template <typename Act>
std::optional<CpuWindow> pumpEvery(testing::ManualMainQueue& queue, SteadyClock::duration period, int times,
                                   Act act) {
    const double cpuStart = processCpuSeconds();
    const auto start = SteadyClock::now();
    auto due = start;
    for (int i = 0; i < times; ++i) {
        pumpFor(queue, due - SteadyClock::now());
        if (!act()) return std::nullopt;
        due = std::max(due + period, SteadyClock::now());
    }
    pumpFor(queue, due - SteadyClock::now());
    return CpuWindow{processCpuSeconds() - cpuStart,
                     std::chrono::duration<double>(SteadyClock::now() - start).count()};
}

}  // namespace tw::bench
