// The writer on a disk that fills up, and with jobs that throw.
#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>

#include "platform/log.h"
#include "tests/troupe/store/troupe_store_harness.h"

namespace tw {
namespace {

using testing::readFile;
using testing::TemporaryXdg;

// A disk with `room` bytes left: a write beyond it is cut short, and the next one
// fails with `error`.
struct FillingDisk {
    std::mutex mutex;
    std::condition_variable called;
    int calls = 0;
    std::size_t room = std::numeric_limits<std::size_t>::max();
    int error = ENOSPC;
    int refusals = 0;
    std::function<void()> afterShortWrite;

    ssize_t write(int fd, const void* bytes, std::size_t size) {
        std::unique_lock lock(mutex);
        ++calls;
        called.notify_all();
        if (room == 0) {
            ++refusals;
            errno = error;
            return -1;
        }
        const std::size_t fits = std::min(size, room);
        room -= fits;
        const ssize_t written = ::write(fd, bytes, fits);
        if (fits < size && afterShortWrite) afterShortWrite();
        return written;
    }
    void setRoom(std::size_t bytes) {
        std::lock_guard lock(mutex);
        room = bytes;
    }
    int refusalCount() {
        std::lock_guard lock(mutex);
        return refusals;
    }
    // Has the writer retry until `done` holds; false when ten seconds pass first.
    bool retryUntil(TroupeLogWriter& writer, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::unique_lock lock(mutex);
            const int before = calls;
            lock.unlock();
            writer.drain();  // wakes a writer waiting to retry
            lock.lock();
            called.wait_until(
                lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)),
                [&] { return calls != before; });
        }
        return true;
    }
};

TEST(TroupeLogWriter, AWriteCutShortNeverJoinsTheRetriedLineToItsFragment) {
    const std::string first = "{\"n\":1}\n";
    const std::string second = "{\"n\":2,\"pad\":\"xxxxxxxxxxxxxxxx\"}\n";
    const std::string fragment = second.substr(0, second.size() / 2);
    struct Case {
        const char* name;
        int error;
        const char* stranger;  // what another program appends after the fragment, if anything
        std::string expected;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"the disk is full", ENOSPC, nullptr, first + second, "No space left on device"},
        {"the file-size limit", EFBIG, nullptr, first + second, "File too large"},
        {"the quota", EDQUOT, nullptr, first + second, "quota exceeded"},
        // The fragment can no longer be taken back: it is ended, once there is room.
        {"bytes appended after the fragment", ENOSPC, "zz", first + fragment + "zz\n" + second,
         "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryXdg folder;
        const auto file = folder.root() / "events.jsonl";
        FillingDisk disk;
        disk.error = c.error;
        if (c.stranger) {
            disk.afterShortWrite = [&] {
                const int other = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
                ASSERT_EQ(::write(other, c.stranger, std::strlen(c.stranger)),
                          static_cast<ssize_t>(std::strlen(c.stranger)));
                ::close(other);
            };
        }
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        {
            TroupeLogWriter writer(file, [&](int fd, const void* bytes, std::size_t size) {
                return disk.write(fd, bytes, size);
            });
            writer.write(first);
            ASSERT_TRUE(writer.drain());
            disk.setRoom(fragment.size());
            writer.write(second);
            EXPECT_FALSE(writer.drain());
            EXPECT_EQ(writer.queuedBytes(), second.size());
            // Retried while the disk stays full, and written whole once there is room.
            ASSERT_TRUE(disk.retryUntil(writer, [&] { return disk.refusalCount() >= 3; }));
            disk.setRoom(std::numeric_limits<std::size_t>::max());
            ASSERT_TRUE(disk.retryUntil(writer, [&] { return writer.drain(); }));
        }
        log::setSinkForTesting(nullptr);
        EXPECT_EQ(readFile(file), c.expected);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
    }
}

TEST(TroupeLogWriter, AJobThatThrowsIsReportedAndTheLinesGoOn) {
    struct Case {
        const char* name;
        std::function<void()> job;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"out of memory", [] { throw std::bad_alloc(); }, "bad_alloc"},
        {"a system error", [] { throw std::system_error(EAGAIN, std::generic_category(), "no thread"); },
         "no thread"},
        {"not an exception", [] { throw 7; }, "unknown error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryXdg folder;
        const auto file = folder.root() / "events.jsonl";
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        std::string reported;
        {
            TroupeLogWriter writer(file);
            writer.run(c.job, [&](const std::string& error) { reported = error; });
            writer.write("after\n");
            EXPECT_TRUE(writer.drain());
        }
        log::setSinkForTesting(nullptr);
        EXPECT_NE(reported.find(c.error), std::string::npos) << reported;
        EXPECT_EQ(readFile(file), "after\n");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.error), std::string::npos) << lines[0];
    }
}

}  // namespace
}  // namespace tw
