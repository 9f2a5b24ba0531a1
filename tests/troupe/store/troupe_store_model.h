#pragma once
// One random schedule of what happens to the troupe log under a running store, and the
// checks made as it goes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/store/troupe_store.h"

namespace tw::testing::model {

namespace fs = std::filesystem;

// Log lines of every store, each schedule picking its own by the log's path.
struct SharedLog {
    std::mutex mutex;
    std::vector<std::string> lines;
    // Checks of the running snapshot: all, those with lines out of place, those a minute on.
    std::atomic<long> liveChecks = 0;
    std::atomic<long> outOfPlaceChecks = 0;
    std::atomic<long> minuteChecks = 0;
    std::string about(const std::string& path) {
        std::lock_guard lock(mutex);
        std::string said;
        for (const auto& line : lines)
            if (line.find(path) != std::string::npos) said += "\n    " + line;
        return said;
    }
};

inline Uuid idFrom(std::mt19937_64& rng) {
    Uuid id;
    for (auto& byte : id.bytes) byte = static_cast<std::uint8_t>(rng());
    return id;
}

enum class Move {
    accept,
    renameCopy,
    remove,
    makeAgain,
    truncate,
    rewrite,
    appendOthers,
    touch,
    writeOver,
    failRead,
    deadFile,
    quit,
    cutOurs,
    metadata,
    othersInPieces,
    quitWhileReading
};

class Schedule {
   public:
    Schedule(std::uint64_t seed, const fs::path& folder, SharedLog& said)
        : rng_(seed), folder_(folder), log_(folder / TroupeStore::logFileName), said_(said) {}

    ~Schedule() {
        faults_.release();
        store_.reset();
        if (rewriteFd_ >= 0) ::close(rewriteFd_);
    }

    // Empty when every check held; else what failed, and the schedule up to there.
    std::string run();

   private:
    // The course of the schedule and the store's side of it.
    void steps();
    void make(Move move);
    void note(const std::string& what);
    void open();
    TroupeEvent ourEvent();
    std::vector<TroupeEvent> ours(int count);
    bool take(const TroupeEvent& event);
    void accept();
    void release();
    void quitWhileReading();
    void quit();

    // What other programs and the system do to the file.
    std::string otherLine(std::mt19937_64& rng);
    void remember(const TroupeEvent& event);
    std::string said(const std::string& line);
    std::string someLines(std::mt19937_64& rng, const std::string& text, bool withOthers);
    void renameCopy();
    void makeAgain();
    void truncate();
    void startRewrite();
    void goOnRewriting();
    void finishRewrite();
    void appendOthers();
    void cutOurs();
    void changeMetadata();
    void appendOthersInPieces();
    void touch();
    void writeOverAfterOurs();
    void killHeldFile();

    // The checks.
    testing::TroupeLogState fileNow() const;
    std::vector<Uuid> writtenOver();
    std::vector<Uuid> lacking(const testing::TroupeLogState& file, bool all);
    void settle();
    void checkLive(const std::string& when, bool refolded);
    std::string liveProblems(bool refolded);
    void check(const std::string& when);
    std::string problems(const testing::TroupeLogState& file);
    void fail(const std::string& when, const testing::TroupeLogState& file, const std::string& problems = {});

    std::mt19937_64 rng_;
    fs::path folder_;
    fs::path log_;
    SharedLog& said_;
    testing::InMemoryDefaults defaults_;
    testing::ManualClock clock_{Date{800000000.0}};
    testing::ManualMainQueue mainQueue_;
    NotificationCenter notifications_;
    Uuid otherDevice_ = idFrom(rng_);
    Uuid otherFlea_ = idFrom(rng_);  // the one flea others' lines make, rename and give XP to
    testing::TroupeFileFaults faults_;
    std::unique_ptr<TroupeStore> store_;
    bool held_ = false;
    bool settled_ = false;  // since the last move
    std::vector<Uuid> run_;
    std::set<Uuid> allowedTwice_;
    // Every line written (ours and others'), to repeat an id of; the ids others repeated, with
    // how many times. Others' lines may be made on the writer's thread.
    std::mutex linesMutex_;
    std::vector<std::pair<Uuid, double>> lines_;
    std::map<Uuid, int> repeats_;
    std::mutex writtenOverMutex_;
    std::vector<Uuid> writtenOver_;
    int rewriteFd_ = -1;
    std::string rewriteText_;
    std::size_t rewriteAt_ = 0;
    std::vector<std::string> steps_;
    std::string snapshots_;
    std::string failure_;
};

}  // namespace tw::testing::model
