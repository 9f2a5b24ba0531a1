// Random schedules of what happens to the troupe log under a running store (its threads,
// real files): events accepted, copies renamed over the log, the log deleted, made again,
// cut short (this run's last lines among what goes), emptied and written over slowly from
// the start, written over in place just after one of our writes, touched, its metadata
// changed, appended to by other devices (a line in two pieces too), a read that fails once,
// the file held failing for good (a dead mount) with a new one put at the path, and quits
// (one while the read of a change goes slowly).
// The store settles after each move; then every event of the run is in the file at the
// path, no id is there twice (but where a program wrote over lines the store put back),
// and the snapshot is what a fresh load of that file folds. At each quit, every event of
// the run is in the file. Other devices' lines are of every kind and age (ahead, up to two
// years behind), some repeating an id earlier or later than its line, some of a newer
// schema; this run's events rename and give XP to the flea theirs make. After this run's
// events or others' lines are taken (the store settled before), the running snapshot, every
// field, is the fold of the file's lines with those the live fold says are out of place
// moved where it says; a minute on (the refold's turn), the plain fold.
//
// Everything comes from the seed: the moves, their sizes, the simulated clock, the ids,
// and which read or write fails or is held. Schedules run from a fixed base seed, so the
// suite runs the same ones every time. Replay one (a failure prints this line):
//   TW_TROUPE_MODEL_SEED=<seed> tw_troupe_store_tests --gtest_filter='TroupeStoreModel.*'
// Other seeds: TW_TROUPE_MODEL_BASE=<first seed>, TW_TROUPE_MODEL_COUNT=<schedules>.
// With TW_TROUPE_MODEL_NO_INOTIFY=1 the process cannot have inotify (as where a user's
// instances are all taken, or on a mount that tells nothing): the slow poll alone.
//
// The store's threads keep time of their own: the writer looks at the path on a timer and
// a reconcile waits for the file to be quiet for a while. So each move on the path is one
// system call, a move that must land between two of the writer's writes does so while the
// writer is held in its write, a late event (a refold) is the last line before the store
// settles, and the store settles after each move: drained, then waited for with a deadline
// while it mends on timers of its own. A quit meets the move before it unsettled, but for a
// read or write made to fail: the store tries those again on a timer, which would race the
// quit. What still hangs on the clock: a change the writer sees on its timer within a step
// (a slow rewrite's lines) starts a reconcile that cuts the file once it has been quiet for
// a while, and a step slower than that lets the cut land among the lines the step then
// accepts. A dead file's descriptor still answers fstat(2), where a dead mount's fails.
#include "tests/troupe/store/troupe_store_model.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "tests/troupe/store/troupe_store_harness.h"

#ifndef TW_TROUPE_MODEL_SCHEDULES
#define TW_TROUPE_MODEL_SCHEDULES 200
#endif

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::model::Schedule;
using testing::model::SharedLog;

constexpr std::uint64_t defaultBaseSeed = 57000;

std::uint64_t fromEnvironment(const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text ? std::stoull(text) : otherwise;
}

TEST(TroupeStoreModel, EveryEventOfTheRunStaysInTheFileAtThePath) {
    const bool withoutInotify = fromEnvironment("TW_TROUPE_MODEL_NO_INOTIFY", 0) != 0;
    if (withoutInotify && !testing::refuseInotify()) GTEST_SKIP() << "inotify cannot be refused here";
    const char* one = std::getenv("TW_TROUPE_MODEL_SEED");
    const std::uint64_t base =
        one ? std::stoull(one) : fromEnvironment("TW_TROUPE_MODEL_BASE", defaultBaseSeed);
    const std::uint64_t schedules =
        one ? 1 : fromEnvironment("TW_TROUPE_MODEL_COUNT", TW_TROUPE_MODEL_SCHEDULES);
    const std::string replay = std::string(withoutInotify ? " TW_TROUPE_MODEL_NO_INOTIFY=1" : "") + " " +
                               fs::read_symlink("/proc/self/exe").string() + " --gtest_filter='" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                               ".*'";
    SharedLog said;
    log::setSinkForTesting([&](std::string_view line) {
        std::lock_guard lock(said.mutex);
        said.lines.emplace_back(line);
    });
    testing::TemporaryXdg root;
    std::atomic<std::uint64_t> next = 0;
    std::mutex failures;
    std::vector<std::string> failed;
    // Schedules wait on the store far more than they work: many at once.
    std::vector<std::thread> runners;
    for (std::uint64_t runner = 0; runner < std::min<std::uint64_t>(schedules, 48); ++runner) {
        runners.emplace_back([&] {
            for (std::uint64_t i; (i = next++) < schedules;) {
                const fs::path folder = root.root() / std::to_string(i);
                fs::create_directories(folder);
                const std::string failure = Schedule(base + i, folder, said).run();
                fs::remove_all(folder);
                if (failure.empty()) continue;
                std::lock_guard lock(failures);
                failed.push_back("seed " + std::to_string(base + i) + ", " + failure +
                                 "\n  replay: TW_TROUPE_MODEL_SEED=" + std::to_string(base + i) + replay);
            }
        });
    }
    for (auto& runner : runners) runner.join();
    log::setSinkForTesting(nullptr);
    for (const auto& failure : failed) ADD_FAILURE() << failure;
    RecordProperty("schedules", static_cast<int>(schedules));
    std::cout << schedules << " schedules from seed " << base << ", " << failed.size() << " failed; "
              << said.liveChecks << " checks of the running snapshot, " << said.outOfPlaceChecks
              << " with lines out of place, " << said.minuteChecks << " a minute on\n";
}

}  // namespace
}  // namespace tw
