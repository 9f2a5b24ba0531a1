// Folding a heavy user's log: mostly XP ticks, some unlocks, stat ticks, sessions and
// chat. The baseline, measured in the same run, is a floor for any fold: read every
// event's time once and sort the times alone. fold_peak_MiB is measured in fresh
// processes started from this program: the peak resident memory of one that builds the
// log and folds it once, less that of one that only builds the log. Measured in this
// process, the allocator's pages kept from earlier runs would hide the fold's own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <tuple>

#include "troupe/snapshot/troupe_fold.h"

namespace tw {
namespace {

Uuid seeded(std::mt19937_64& rng) {
    Uuid id;
    std::uint64_t a = rng();
    std::uint64_t b = rng();
    for (int i = 0; i < 8; ++i) {
        id.bytes[i] = static_cast<std::uint8_t>(a >> (8 * i));
        id.bytes[8 + i] = static_cast<std::uint8_t>(b >> (8 * i));
    }
    return id;
}

TroupeEvent envelope(TroupePayload payload, double ts, std::mt19937_64& rng, const Uuid& device) {
    auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{seeded(rng), kind, std::move(payload), Date{ts}, device, troupeSchemaVersion};
}

std::vector<TroupeEvent> heavyUserLog(std::size_t count, bool shuffled) {
    std::mt19937_64 rng(20240611);
    std::vector<Uuid> fleas;
    std::vector<Uuid> devices = {seeded(rng), seeded(rng), seeded(rng)};
    std::vector<TroupeEvent> log;
    log.reserve(count);
    double ts = 700000000;
    for (int i = 0; i < 6 && log.size() < count; ++i) {
        fleas.push_back(seeded(rng));
        log.push_back(envelope(
            TroupeFleaCreated{
                fleas.back(), "Flea " + std::to_string(i), i, "topHat", "trapeze", Date{ts}, {"brave"}},
            ts, rng, devices[0]));
    }
    while (log.size() < count) {
        ts += static_cast<double>(rng() % 3);  // whole seconds, many ties
        const Uuid& device = devices[rng() % devices.size()];
        const Uuid& flea = fleas[rng() % fleas.size()];
        std::uint64_t roll = rng() % 1000;
        if (roll < 900) {
            bool everyone = roll < 450;
            log.push_back(
                envelope(TroupeXPEarned{everyone ? std::nullopt : std::optional<Uuid>(flea),
                                        static_cast<std::int64_t>(1 + rng() % 5),
                                        everyone ? TroupeXPSource::click : TroupeXPSource::practice},
                         ts, rng, device));
        } else if (roll < 930) {
            log.push_back(
                envelope(TroupeCumulativeStatTick{TroupeCumulativeStat::keystrokes, double(rng() % 50)}, ts,
                         rng, device));
        } else if (roll < 950) {
            log.push_back(
                envelope(TroupeNodeUnlocked{flea, "trapeze", "node" + std::to_string(rng() % 40), 25}, ts,
                         rng, device));
        } else if (roll < 970) {
            log.push_back(
                envelope(TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"}, ts, rng, device));
        } else if (roll < 990) {
            log.push_back(envelope(TroupeFleaMessageFromUser{flea, seeded(rng), "hello there", std::nullopt},
                                   ts, rng, device));
        } else {
            log.push_back(envelope(TroupeSurpriseEventFired{"confetti"}, ts, rng, device));
        }
    }
    if (shuffled) {
        std::shuffle(log.begin(), log.end(), rng);
    } else {
        // A log on disk is in arrival order: near time order, with other devices'
        // events merged in a little late or early.
        for (std::size_t i = 0; i + 1 < log.size(); ++i) {
            std::size_t j = std::min(log.size() - 1, i + static_cast<std::size_t>(rng() % 64));
            std::swap(log[i], log[j]);
        }
    }
    return log;
}

// One flea with `count` messages, letters or anniversary events, at a few shared times.
std::vector<TroupeEvent> longListLog(std::size_t count, int which) {
    std::mt19937_64 rng(7);
    Uuid flea = seeded(rng);
    Uuid device = seeded(rng);
    std::vector<TroupeEvent> log;
    log.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        double ts = 1000 + static_cast<double>(rng() % 16);
        if (which == 0) {
            log.push_back(
                envelope(TroupeFleaMessageFromUser{flea, seeded(rng), "hi", std::nullopt}, ts, rng, device));
        } else if (which == 1) {
            log.push_back(
                envelope(TroupeLetterWritten{flea, seeded(rng), "dear", Date{0}, Date{1}, std::nullopt}, ts,
                         rng, device));
        } else {
            // Distinct fleas, so that every anniversary is new.
            log.push_back(
                envelope(TroupeAnniversaryTriggered{seeded(rng), TroupeAnniversaryKind::oneYear, Date{0}}, ts,
                         rng, device));
        }
    }
    return log;
}

const std::vector<TroupeEvent>& cachedLog(std::size_t count, int which) {
    static std::map<std::pair<std::size_t, int>, std::vector<TroupeEvent>> logs;
    auto key = std::make_pair(count, which);
    auto found = logs.find(key);
    if (found == logs.end()) {
        found =
            logs.emplace(key, which < 0 ? heavyUserLog(count, which == -2) : longListLog(count, which)).first;
    }
    return found->second;
}

// The argument that makes this program a child that builds one log and maybe folds it,
// then prints its own peak resident memory in MiB. (The child reads it itself: the
// rusage a parent gets counts the parent's own memory at the time of the spawn.)
constexpr std::string_view kPeakChild = "--fold-peak-child";

int runPeakChild(std::size_t count, int which, bool fold) {
    const auto& log = cachedLog(count, which);
    if (fold) {
        TroupeSnapshot snapshot = TroupeFold::fold(log);
        benchmark::DoNotOptimize(snapshot.eventCount);
    }
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            std::printf("%.3f\n", std::stod(line.substr(6)) / 1024.0);
            return 0;
        }
    }
    return 1;
}

// The peak resident memory of a fresh child, in MiB; negative when it could not run.
double childPeakMiB(std::size_t count, int which, bool fold) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return -1;
    std::string command = "exec '";
    command += self.string();
    command += "' ";
    command += kPeakChild;
    command += ' ';
    command += std::to_string(count);
    command += ' ';
    command += std::to_string(which);
    command += fold ? " 1" : " 0";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    double peak = -1;
    if (std::fscanf(child, "%lf", &peak) != 1) peak = -1;
    return ::pclose(child) == 0 ? peak : -1;
}

// What one fold adds to the peak of a process that holds the log; measured once per log.
double foldPeakMiB(std::size_t count, int which) {
    static std::map<std::pair<std::size_t, int>, double> measured;
    const auto key = std::make_pair(count, which);
    auto found = measured.find(key);
    if (found == measured.end()) {
        const double withFold = childPeakMiB(count, which, true);
        const double logOnly = childPeakMiB(count, which, false);
        found = measured.emplace(key, withFold < 0 || logOnly < 0 ? -1.0 : withFold - logOnly).first;
    }
    return found->second;
}

// Arg 0: events; arg 1: 0 for a log in arrival order, 1 for a fully shuffled one.
void BM_FoldHeavyUserLog(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const int which = state.range(1) ? -2 : -1;
    const auto& log = cachedLog(count, which);
    for (auto _ : state) {
        TroupeSnapshot snapshot = TroupeFold::fold(log);
        benchmark::DoNotOptimize(snapshot.eventCount);
    }
    state.counters["fold_peak_MiB"] = foldPeakMiB(count, which);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FoldHeavyUserLog)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Baseline: the least any fold does, reading each event's time once and sorting the
// times alone (8 bytes each, no ties broken, nothing applied).
void BM_ReadAndSortTimesBaseline(benchmark::State& state) {
    const auto& log = cachedLog(static_cast<std::size_t>(state.range(0)), state.range(1) ? -2 : -1);
    for (auto _ : state) {
        std::vector<double> times;
        times.reserve(log.size());
        for (const auto& event : log) times.push_back(event.ts.seconds);
        std::sort(times.begin(), times.end());
        benchmark::DoNotOptimize(times.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadAndSortTimesBaseline)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_FoldLongListOfOneFlea(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const int which = static_cast<int>(state.range(1));
    const auto& log = cachedLog(count, which);
    for (auto _ : state) {
        TroupeSnapshot snapshot = TroupeFold::fold(log);
        benchmark::DoNotOptimize(snapshot.eventCount);
    }
    state.counters["fold_peak_MiB"] = foldPeakMiB(count, which);
    static const char* const kinds[] = {"messages", "letters", "anniversaries"};
    state.SetLabel(kinds[state.range(1)]);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FoldLongListOfOneFlea)
    ->Args({100'000, 0})
    ->Args({100'000, 1})
    ->Args({100'000, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
    if (argc == 5 && argv[1] == tw::kPeakChild) {
        return tw::runPeakChild(std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]), argv[4][0] == '1');
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
