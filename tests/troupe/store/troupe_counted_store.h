#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>

#include "tests/troupe/store/troupe_store_harness.h"

namespace tw::testing {

// A store whose reads of the log are counted once `counting` is set (the bytes asked for
// and the lowest offset read), slowed while `slowMs` is, and failed once on the writer's thread.
struct CountedStore {
    TroupeHarness h;
    std::atomic<std::size_t> reads = 0;  // all of them, counted or not
    std::atomic<bool> counting = false;
    std::atomic<std::size_t> asked = 0;
    std::atomic<off_t> lowest = std::numeric_limits<off_t>::max();
    std::atomic<int> slowMs = 0;
    std::atomic<int> slowed = 0;
    std::atomic<std::thread::id> writer{};         // the thread that writes the log
    std::atomic<bool> failNextWriterRead = false;  // the writer's next read fails (EIO)
    std::unique_ptr<TroupeStore> store;

    // `log`: the log the store finds at launch, as lines of another device's ("old<n>",
    // `pad` dots after).
    explicit CountedStore(int log = 0, WriteFunction write = {}, std::size_t pad = 0) {
        if (log > 0) {
            std::filesystem::create_directories(h.logFile().parent_path());
            std::ofstream out(h.logFile(), std::ios::binary);
            for (int i = 0; i < log; ++i)
                out << othersLine(h.clock.now().seconds - 100,
                                  "old" + std::to_string(i) + std::string(pad, '.'));
        }
        store = std::make_unique<TroupeStore>(
            TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
            [this](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
                ++reads;
                if (const int ms = slowMs; ms > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                    ++slowed;
                }
                if (failNextWriterRead && std::this_thread::get_id() == writer.load() &&
                    failNextWriterRead.exchange(false)) {
                    errno = EIO;
                    return -1;
                }
                if (counting) {
                    asked += size;
                    for (off_t low = lowest; offset < low && !lowest.compare_exchange_weak(low, offset);) {
                    }
                }
                return ::pread(fd, buffer, size, offset);
            },
            [this, write = std::move(write)](int fd, const void* bytes, std::size_t size) -> ssize_t {
                writer = std::this_thread::get_id();
                return write ? write(fd, bytes, size) : ::write(fd, bytes, size);
            });
        store->waitUntilLoaded();
    }
    // Runs the main queue until `done`, for as long as the store goes on reading: a busy
    // machine reads a big log slowly, but one that read nothing for `stall` has hung.
    template <typename Done>
    bool pumpWhileReading(Done done, std::chrono::seconds stall = std::chrono::seconds(10)) {
        std::size_t seen = reads;
        for (auto deadline = std::chrono::steady_clock::now() + stall; !done();
             h.mainQueue.waitAndRun(0.02)) {
            if (const std::size_t now = reads; now != seen) {
                seen = now;
                deadline = std::chrono::steady_clock::now() + stall;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
        return true;
    }
    void count() {
        asked = 0;
        lowest = std::numeric_limits<off_t>::max();
        counting = true;
    }
    TroupeEvent mine(const std::string& what) {
        return std::get<TroupeEvent>(
            store->appendKind(TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{what}, h.clock.now()));
    }
    bool holds(const std::string& milestone) {
        return store->snapshot().milestonesEarned.contains(milestone);
    }
};

// Another program writes "new<n>" over the "old<n>" of its line, in an open that also
// appends `theirs`; with the modification time put back when `timeKept`.
inline void writeOverOld(const std::filesystem::path& log, int n, bool timeKept,
                         const std::string& theirs = {}) {
    struct stat before {};
    ::stat(log.c_str(), &before);
    const std::string text = readFile(log);
    const auto at = text.find("\"old" + std::to_string(n) + (n < 10 ? "\"" : "."));
    const int fd = ::open(log.c_str(), O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(::pwrite(fd, "\"new", 4, static_cast<off_t>(at)), 4);
    EXPECT_EQ(::pwrite(fd, theirs.data(), theirs.size(), static_cast<off_t>(text.size())),
              static_cast<ssize_t>(theirs.size()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (timeKept) ::futimens(fd, times);
    ::close(fd);
}

}  // namespace tw::testing
