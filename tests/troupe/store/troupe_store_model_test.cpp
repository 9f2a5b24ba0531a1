// Random schedules of what happens to the troupe log under a running store (its threads,
// real files): events accepted, copies renamed over the log, the log deleted, made again,
// cut short, written over slowly from the start, appended to by other devices, and quits.
// After each: every event of the run is in the file at the path, none twice unless a
// quit said so, and the snapshot is what a fresh load of that file folds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_store.h"

#ifndef TW_TROUPE_MODEL_SCHEDULES
#define TW_TROUPE_MODEL_SCHEDULES 200
#endif

namespace tw {
namespace {

namespace fs = std::filesystem;

// Log lines of every store, each schedule picking its own by the log's path.
struct SharedLog {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::size_t twiceCounted(const std::string& path) {
        std::lock_guard lock(mutex);
        std::size_t counted = 0;
        for (const auto& line : lines) {
            const auto said = line.find("; appended ");
            if (line.find(path) != std::string::npos && said != std::string::npos)
                counted += std::stoul(line.substr(said + 11));
        }
        return counted;
    }
};

std::vector<std::string> linesOf(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(testing::readFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

class Schedule {
   public:
    Schedule(std::uint64_t seed, const fs::path& folder, SharedLog& said)
        : rng_(seed), folder_(folder), log_(folder / TroupeStore::logFileName), said_(said) {}

    ~Schedule() { finishRewrite(); }

    // Empty when every check held; else what failed.
    std::string run() {
        try {
            steps();
        } catch (const std::exception& error) {
            failure_ += std::string("threw ") + error.what();
        }
        return failure_.empty() ? std::string() : failure_ + "\n  schedule:" + steps_;
    }

   private:
    void steps() {
        open();
        const int steps = 3 + static_cast<int>(rng_() % 8);
        for (int step = 0; step < steps && failure_.empty(); ++step) {
            const int op = static_cast<int>(rng_() % 10);
            if (op <= 2) accept();
            if (op != 7) finishRewrite();  // one foreign change at a time, a rewrite's accepts aside
            if (op == 3) renameCopy();
            if (op == 4) fs::remove(log_), note("delete");
            if (op == 5) makeAgain();
            if (op == 6) truncate();
            if (op == 7) rewriteSlowly();
            if (op == 8) appendOthers();
            if (op == 9) quitAndOpen();
            mainQueue_.runPending();
        }
        finishRewrite();
        if (failure_.empty()) settleAndCheck();
        if (failure_.empty()) quit();
    }

    void note(const std::string& step) { steps_ += " " + step; }

    std::string otherLine() {
        TroupeEvent event{Uuid::random(),
                          TroupeEventKind::milestoneEarned,
                          TroupeMilestoneEarned{"theirs" + std::to_string(rng_() % 100)},
                          Date{clock_.now().seconds - static_cast<double>(rng_() % 100)},
                          otherDevice_,
                          troupeSchemaVersion};
        return encodeTroupeEventLine(event) + "\n";
    }

    // Each line of the file once, a random share of them, others' lines among them.
    std::string someLines(bool withOthers) {
        std::set<std::string> seen;
        std::string text;
        for (const auto& line : linesOf(log_)) {
            if (!line.empty() && rng_() % 3 != 0 && seen.insert(line).second) text += line + "\n";
        }
        for (int i = withOthers ? static_cast<int>(rng_() % 3) : 0; i > 0; --i) text += otherLine();
        return text;
    }

    void open() {
        store_ = std::make_unique<TroupeStore>(folder_, defaults_, clock_, mainQueue_, notifications_);
        store_->waitUntilLoaded();
        run_.clear();
    }

    void accept() {
        const int count = 1 + static_cast<int>(rng_() % 5);
        note("accept" + std::to_string(count));
        for (int i = 0; i < count; ++i) {
            const double ago = rng_() % 8 == 0 ? 600 : 0;  // now and then one for a refold
            auto taken = store_->appendKind(TroupeEventKind::milestoneEarned,
                                            TroupeMilestoneEarned{"mine" + std::to_string(rng_() % 1000)},
                                            Date{clock_.now().seconds - ago});
            if (auto* event = std::get_if<TroupeEvent>(&taken)) run_.push_back(event->id);
        }
    }

    void renameCopy() {
        const bool withOthers = rng_() % 2 == 0;
        note(withOthers ? "rename-copy+others" : "rename-copy");
        const fs::path copy = log_.string() + ".copy";
        std::ofstream(copy, std::ios::binary) << someLines(withOthers);
        fs::rename(copy, log_);
    }

    void makeAgain() {
        note("make-again");
        if (!fs::exists(log_)) std::ofstream(log_, std::ios::binary) << (rng_() % 2 ? otherLine() : "");
    }

    void truncate() {
        const auto size = fs::exists(log_) ? fs::file_size(log_) : 0;
        const int how = static_cast<int>(rng_() % 3);
        std::uintmax_t to = 0;
        if (how == 1) {  // in the middle of a line
            const std::string text = testing::readFile(log_);
            const auto newline = text.find('\n', size / 2);
            to = newline == std::string::npos || newline < 5 ? size / 2 : newline - 5;
        }
        if (how == 2) to = size == 0 ? 0 : rng_() % size;
        note("truncate" + std::to_string(to) + "/" + std::to_string(size));
        if (fs::exists(log_)) fs::resize_file(log_, to);
    }

    // As a shell's `>`: emptied at once, then written from the start through a descriptor of
    // its own, a piece at a time, while this run goes on accepting events.
    void rewriteSlowly() {
        note("rewrite");
        finishRewrite();
        const std::string text = someLines(true);
        const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return;
        const std::size_t piece = 1 + rng_() % 400;
        rewriter_ = std::thread([fd, text, piece] {
            for (std::size_t at = 0; at < text.size(); at += piece) {
                writeAll(fd, text.substr(at, piece));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the writer's own pace
            }
            ::close(fd);
        });
    }

    void finishRewrite() {
        if (rewriter_.joinable()) rewriter_.join();
    }

    void appendOthers() {
        note("append-others");
        const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        for (int i = 1 + static_cast<int>(rng_() % 3); fd >= 0 && i > 0; --i) writeAll(fd, otherLine());
        if (fd >= 0) ::close(fd);
    }

    void quitAndOpen() {
        note("quit-open");
        quit();
        if (failure_.empty()) open();
    }

    void quit() {
        store_->stopLoading();
        store_->markSessionEnd(clock_.now());
        store_->drain();
        store_.reset();
        checkFile("at the quit");
    }

    // Every event of the run in the file at the path, none twice but those a quit counted.
    void checkFile(const std::string& when) {
        std::map<std::string, int> ids;
        for (const auto& line : linesOf(log_)) {
            try {
                ++ids[decodeTroupeLogLine(line).id.uuidString()];
            } catch (const std::exception&) {
            }
        }
        for (const Uuid& id : run_) {
            if (!ids.contains(id.uuidString()))
                failure_ += when + ": " + id.uuidString() + " is not in the file; ";
        }
        std::size_t twice = 0;
        for (const auto& [id, count] : ids) twice += static_cast<std::size_t>(count - 1);
        if (twice > said_.twiceCounted(log_.string()))
            failure_ += when + ": " + std::to_string(twice) + " lines twice, " +
                        std::to_string(said_.twiceCounted(log_.string())) + " said; ";
    }

    void settleAndCheck() {
        store_->drain();
        checkFile("settled");
        testing::InMemoryDefaults defaults;
        TroupeStore fresh(folder_, defaults, clock_, mainQueue_, notifications_);
        fresh.waitUntilLoaded();
        if (!(fresh.snapshot() == store_->snapshot()))
            failure_ += "the snapshot (" + std::to_string(store_->snapshot().eventCount) +
                        " events) is not a fresh load's (" + std::to_string(fresh.snapshot().eventCount) +
                        "); ";
    }

    std::mt19937_64 rng_;
    fs::path folder_;
    fs::path log_;
    SharedLog& said_;
    testing::InMemoryDefaults defaults_;
    testing::ManualClock clock_{Date{800000000.0}};
    testing::ManualMainQueue mainQueue_;
    NotificationCenter notifications_;
    Uuid otherDevice_ = Uuid::random();
    std::unique_ptr<TroupeStore> store_;
    std::vector<Uuid> run_;
    std::thread rewriter_;
    std::string steps_;
    std::string failure_;
};

TEST(TroupeStoreModel, EveryEventOfTheRunStaysInTheFileAtThePath) {
    const char* seedText = std::getenv("TW_TROUPE_MODEL_SEED");
    const std::uint64_t base = seedText ? std::stoull(seedText) : std::random_device{}();
    // One seed again: TW_TROUPE_MODEL_SEED=<seed> TW_TROUPE_MODEL_COUNT=1.
    const char* countText = std::getenv("TW_TROUPE_MODEL_COUNT");
    const int schedules = countText ? std::stoi(countText) : TW_TROUPE_MODEL_SCHEDULES;
    SharedLog said;
    log::setSinkForTesting([&](std::string_view line) {
        std::lock_guard lock(said.mutex);
        said.lines.emplace_back(line);
    });
    testing::TemporaryXdg root;
    std::atomic<int> next = 0;
    std::mutex failures;
    std::vector<std::string> failed;
    // Schedules wait on the file more than they work: several at once.
    std::vector<std::thread> runners;
    for (int runner = 0; runner < 8; ++runner) {
        runners.emplace_back([&] {
            for (int i; (i = next++) < schedules;) {
                const fs::path folder = root.root() / std::to_string(i);
                fs::create_directories(folder);
                const std::string failure =
                    Schedule(base + static_cast<std::uint64_t>(i), folder, said).run();
                if (failure.empty()) {
                    fs::remove_all(folder);
                    continue;
                }
                std::lock_guard lock(failures);
                failed.push_back("seed " + std::to_string(base + static_cast<std::uint64_t>(i)) + ": " +
                                 failure);
            }
        });
    }
    for (auto& runner : runners) runner.join();
    log::setSinkForTesting(nullptr);
    const std::size_t appendedAtQuits = said.twiceCounted("");
    for (const auto& failure : failed) ADD_FAILURE() << failure;
    RecordProperty("schedules", schedules);
    std::cout << schedules << " schedules from seed " << base << ", " << failed.size() << " failed; "
              << appendedAtQuits << " events appended again by quits that could not read the log\n";
}

}  // namespace
}  // namespace tw
