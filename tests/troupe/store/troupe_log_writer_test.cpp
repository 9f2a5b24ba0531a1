// The writer on a disk that fills up, and with jobs that throw.
#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <tuple>

#include "tests/troupe/store/troupe_store_harness.h"

namespace tw {
namespace {

using testing::CapturedLog;
using testing::readFile;
using testing::TemporaryXdg;

// A disk with `room` bytes left: a write beyond it is cut short, and the next one
// fails with `error`.
struct FillingDisk {
    std::mutex mutex;
    std::condition_variable called;
    std::size_t room = std::numeric_limits<std::size_t>::max();
    int error = ENOSPC;
    int refusals = 0;
    std::function<void()> afterShortWrite;

    ssize_t write(int fd, const void* bytes, std::size_t size) {
        std::lock_guard lock(mutex);
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
    // Has the writer retry until `done` holds (asked under the disk's lock); false when
    // ten seconds pass first.
    bool retryUntil(TroupeLogWriter& writer, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::unique_lock lock(mutex);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            lock.unlock();
            writer.drain();  // wakes a writer waiting to retry
            lock.lock();
            called.wait_for(lock, std::chrono::milliseconds(50));
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
        CapturedLog log;
        {
            TroupeLogWriter writer(file, [&](int fd, const void* bytes, std::size_t size) {
                return disk.write(fd, bytes, size);
            });
            writer.write(first);
            ASSERT_TRUE(writer.drain());
            disk.room = fragment.size();  // the writer is idle
            writer.write(second);
            EXPECT_FALSE(writer.drain());
            EXPECT_EQ(writer.queuedBytes(), second.size());
            // Retried while the disk stays full, and written whole once there is room.
            ASSERT_TRUE(disk.retryUntil(writer, [&] { return disk.refusals >= 3; }));
            ASSERT_TRUE(disk.retryUntil(writer, [&] {
                disk.room = std::numeric_limits<std::size_t>::max();
                return readFile(file) == c.expected;
            }));
            // The line is on disk before the writer marks it done: drain until it has.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            bool drained = writer.drain();
            while (!drained && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                drained = writer.drain();
            }
            EXPECT_TRUE(drained);
        }
        EXPECT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(log.count(c.logged), 1);
    }
}

// Only a regular file (or a link to one) is written: the writer makes nothing through
// a link and neither fills a FIFO nor writes to a device.
TEST(TroupeLogWriter, NothingButARegularFileIsWritten) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& file)> place;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"a link to nothing",
         [](const auto& file) { std::filesystem::create_symlink(file.parent_path() / "gone", file); },
         "it is a link to nothing"},
        {"a FIFO", [](const auto& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         "it is not a regular file"},
        {"a link to /dev/null", [](const auto& file) { std::filesystem::create_symlink("/dev/null", file); },
         "it is not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryXdg folder;
        const auto file = folder.root() / "events.jsonl";
        c.place(file);
        CapturedLog log;
        {
            TroupeLogWriter writer(file);
            writer.write("line\n");
            EXPECT_FALSE(writer.drain());
        }
        EXPECT_FALSE(std::filesystem::exists(folder.root() / "gone"));
        if (std::filesystem::is_fifo(file)) {
            const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
            char byte = 0;
            EXPECT_LE(::read(reader, &byte, 1), 0);
            ::close(reader);
        }
        EXPECT_EQ(log.count(std::string("Cannot open the troupe log ") + file.string() + ": " + c.logged), 1);
        EXPECT_EQ(log.count("1 accepted troupe event could not be written"), 1);
    }
}

// Editors and sync tools save by renaming a new file over the log, users delete it, and
// other writers leave a line torn: each batch of lines goes to the regular file at the
// path now, on a line of its own.
TEST(TroupeLogWriter, LinesGoToTheFileAtThePathNow) {
    const std::string torn = R"({"deviceId":"1111","id":"6F81)";
    const std::vector<
        std::tuple<const char*, std::function<void(const std::filesystem::path&)>, std::string, const char*>>
        cases = {
            {"replaced by a copy of itself",
             [](const auto& file) {
                 std::filesystem::copy_file(file, file.string() + ".new");
                 std::filesystem::rename(file.string() + ".new", file);
             },
             "first\nsecond\n", "was replaced by another file"},
            {"deleted", [](const auto& file) { std::filesystem::remove(file); }, "second\n", "was deleted"},
            {"its folder deleted", [](const auto& file) { std::filesystem::remove_all(file.parent_path()); },
             "second\n", "was deleted"},
            {"a torn line appended",
             [&](const auto& file) { std::ofstream(file, std::ios::binary | std::ios::app) << torn; },
             "first\n" + torn + "\nsecond\n", ""},
            // By another writer just after a write of ours, the next queued meanwhile.
            {"cut in the middle of a line", [](const auto& file) { std::filesystem::resize_file(file, 3); },
             "fir\n", "*"},
            {"half a line appended",
             [&](const auto& file) { std::ofstream(file, std::ios::binary | std::ios::app) << torn; },
             "first\nsecond\n" + torn + "\n", "*"},
        };
    for (const auto& [name, change, expected, said] : cases) {
        SCOPED_TRACE(name);
        const bool inBatch = std::string(said) == "*";
        const char* logged = inBatch ? "" : said;
        TemporaryXdg folder;
        const auto file = folder.root() / "Troupe" / "events.jsonl";
        std::filesystem::create_directory(file.parent_path());
        std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_all);
        CapturedLog log;
        {
            int changes = 0;
            TroupeLogWriter* self = nullptr;
            TroupeLogWriter writer(
                file,
                [&](int fd, const void* bytes, std::size_t size) {
                    const ssize_t written = ::write(fd, bytes, size);
                    if (inBatch && std::string_view(static_cast<const char*>(bytes), size) == "second\n") {
                        change(file);
                        self->write("third\n");
                    }
                    return written;
                },
                [&](std::uint64_t) { ++changes; }, [&](TroupeLogAppended) { ++changes; });
            self = &writer;
            writer.write("first\n");
            ASSERT_TRUE(writer.drain());
            if (!inBatch) change(file);
            writer.write("second\n");
            ASSERT_TRUE(writer.drain());
            if (!inBatch) writer.write("third\n");  // to the same file unsaid
            ASSERT_TRUE(writer.drain());
            EXPECT_GE(changes, 1);  // the file, or what was appended, is to be read
        }
        EXPECT_EQ(readFile(file), expected + "third\n");
        EXPECT_EQ(std::filesystem::status(file.parent_path()).permissions(),
                  std::filesystem::perms::owner_all);
        EXPECT_EQ(log.lines.size(), *logged ? 1u : 0u);
        EXPECT_EQ(log.count(logged), static_cast<long>(log.lines.size()));
    }
    // A job between two lines of one batch (reading the log takes a while): the path is
    // looked at again before the second.
    TemporaryXdg folder;
    const auto file = folder.root() / "events.jsonl";
    TroupeLogWriter writer(file);
    writer.write("first\n");
    writer.run([&] {
        std::filesystem::copy_file(file, file.string() + ".new");
        std::filesystem::rename(file.string() + ".new", file);
    });
    writer.write("second\n");
    ASSERT_TRUE(writer.drain());
    EXPECT_EQ(readFile(file), "first\nsecond\n");
}

// Another program appends a line at a time, twenty a second, after a run of this app's own:
// each is checked by the tail before it, and this run's lines are read back on their own
// clock, not once a line.
TEST(TroupeLogWriter, AnotherProgramsLinesDoNotReadThisRunBack) {
    TemporaryXdg folder;
    const auto file = folder.root() / "events.jsonl";
    std::atomic<int> handedOn = 0;
    TroupeLogWriter writer(file, {}, {}, [&](TroupeLogAppended) { ++handedOn; });
    constexpr int kOwn = 500;
    for (int i = 0; i < kOwn; ++i) writer.write("ours " + std::to_string(i) + "\n", Uuid::random());
    ASSERT_TRUE(writer.drain());
    const std::uint64_t before = writer.ledger().linesReadBack();
    for (int i = 0; i < 20; ++i) {
        testing::appendAsAnotherProgram(file, "theirs " + std::to_string(i) + "\n");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (handedOn <= i && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_GT(handedOn, i);
    }
    EXPECT_LE(writer.ledger().linesReadBack() - before, std::uint64_t{kOwn});
}

// A reconcile's finding that arrives after the quit's look is the quit's to make: a line it
// found missing is not appended a second time.
TEST(TroupeLogWriter, AReconcilesFindingAfterTheQuitsLookIsNotAppendedAgain) {
    TemporaryXdg folder;
    const auto file = folder.root() / "events.jsonl";
    TroupeLogWriter writer(file);
    const Uuid id = Uuid::random();
    writer.write("ours\n", id);
    ASSERT_TRUE(writer.drain());
    const auto look = writer.lookBeforeQuitting(TroupeLogWriter::never);
    ASSERT_TRUE(look && look->doubtful.empty());
    writer.writeAgain({{TroupeRunLedger::Line{id, "ours\n", 0}}, {}, {}}, look->cut.changes, std::nullopt);
    ASSERT_TRUE(writer.drain());
    EXPECT_EQ(readFile(file), "ours\n");
}

// A sync tool that saves over the log every second is said once a minute, not each time.
TEST(TroupeLogWriter, ALogReplacedOftenIsSaidOnceAMinute) {
    TemporaryXdg folder;
    const auto file = folder.root() / "events.jsonl";
    CapturedLog log;
    {
        TroupeLogWriter writer(file);
        for (int i = 0; i < 5; ++i) {
            writer.write("line " + std::to_string(i) + "\n");
            ASSERT_TRUE(writer.drain());
            testing::renameOver(file, readFile(file));
        }
        ASSERT_TRUE(writer.drain());
    }
    EXPECT_EQ(log.count("was replaced by another file"), 1);
}

// Opening some devices does something even with O_NONBLOCK, so the writer looks first:
// a FIFO's reader hangs up once a writer has come and gone.
TEST(TroupeLogWriter, WhatIsNoRegularFileIsNeverOpened) {
    TemporaryXdg folder;
    const auto file = folder.root() / "events.jsonl";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    CapturedLog log;
    {
        TroupeLogWriter writer(file);
        writer.write("line\n");
        EXPECT_FALSE(writer.drain());
    }
    pollfd hangUp{reader, POLLIN, 0};
    EXPECT_EQ(::poll(&hangUp, 1, 0), 0);
    ::close(reader);
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
        CapturedLog log;
        std::string reported;
        {
            TroupeLogWriter writer(file);
            writer.run(c.job, [&](const std::string& error) { reported = error; });
            writer.write("after\n");
            EXPECT_TRUE(writer.drain());
        }
        EXPECT_NE(reported.find(c.error), std::string::npos) << reported;
        EXPECT_EQ(readFile(file), "after\n");
        EXPECT_EQ(log.lines.size(), 1u);
        EXPECT_EQ(log.count(c.error), 1);
    }
}

// A quit gives up on a writer whose mount hangs. When the mount answers again, the thread
// left calls nothing its owner gave it (the clock, the callbacks): all that may be gone.
TEST(TroupeLogWriter, AThreadLeftAtTheQuitCallsNothingOfItsOwner) {
    TemporaryXdg folder;
    std::atomic<bool> hung = false;
    std::atomic<bool> gone = false;  // the owner's
    std::atomic<int> calledAfter = 0;
    auto token = std::make_shared<int>();  // held by the write function: it goes with the writer
    const std::weak_ptr<int> writerThere = token;
    auto writer = std::make_unique<TroupeLogWriter>(
        folder.root() / "events.jsonl",
        [&, token](int fd, const void* bytes, std::size_t size) {
            while (hung) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return ::write(fd, bytes, size);
        },
        [&](std::uint64_t) { calledAfter += gone; }, [&](TroupeLogAppended) { calledAfter += gone; },
        TroupeLogReadControl::ReadFunction{}, [&] { return calledAfter += gone, 0.0; });
    token.reset();
    writer->write("first\n", Uuid::random());
    ASSERT_TRUE(writer->drain());
    hung = true;
    writer->write("second\n", Uuid::random());
    EXPECT_FALSE(
        TroupeLogWriter::stop(writer, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    gone = true;
    hung = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!writerThere.expired() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(writerThere.expired());  // its thread ended, having written the line
    EXPECT_EQ(readFile(folder.root() / "events.jsonl"), "first\nsecond\n");
    EXPECT_EQ(calledAfter, 0);
}

}  // namespace
}  // namespace tw
