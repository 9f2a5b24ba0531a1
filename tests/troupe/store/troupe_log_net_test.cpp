// The net under the log's looks: another program's line written over with its times put
// back is found on the store's clock, whatever dropped the hashes of the bytes before, at a
// bounded share of a big log a minute, and a comparison under way holds no quit up.
#include "troupe/store/troupe_log_net.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "tests/troupe/store/troupe_counted_store.h"
#include "troupe/event_model/troupe_json.h"

namespace tw {
namespace {

using testing::CountedStore;
using testing::othersLine;
using testing::pumpUntil;
using Steady = std::chrono::steady_clock;

// The hashes dropped without a change the store reads again: half a line of ours written
// before a full disk refused the rest (taken back, the line written whole on the retry),
// or a re-read of the log, after a file renamed over it, reaching into another program's
// line that was still being written. The bytes' hashes are taken again, and a line written
// over later is found.
TEST(TroupeLogNet, HashesDroppedAreTakenAgain) {
    for (const bool fullDisk : {true, false}) {
        SCOPED_TRACE(fullDisk);
        std::atomic<int> spill = fullDisk ? 2 : 0;  // half the line written, then the rest refused
        CountedStore s(200, [&](int fd, const void* bytes, std::size_t size) -> ssize_t {
            const bool spilt = std::string_view(static_cast<const char*>(bytes), size).find("spilt") !=
                               std::string_view::npos;
            if (spill == 2 && spilt) return ::write(fd, bytes, size - --spill * size / 2);
            if (spill == 1) {
                --spill;
                errno = ENOSPC;
                return -1;
            }
            return ::write(fd, bytes, size);
        });
        const std::string theirs = othersLine(s.h.clock.now().seconds, "theirs");
        if (fullDisk) {
            s.mine("spilt");
        } else {
            testing::renameOver(s.h.logFile(), testing::readFile(s.h.logFile()) +
                                                   othersLine(s.h.clock.now().seconds, "copy"));
            const std::string line = encodeTroupeEventLine(s.mine("after the copy"));
            ASSERT_TRUE(pumpUntil(s.h.mainQueue, [&] {
                return testing::readFile(s.h.logFile()).find(line) != std::string::npos;
            }));
            testing::appendAsAnotherProgram(s.h.logFile(), theirs.substr(0, 40));  // before the re-read
            ASSERT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.holds("copy"); }));
            ASSERT_TRUE(s.store->drain());  // what the re-read found is taken
            testing::appendAsAnotherProgram(s.h.logFile(), theirs.substr(40));
        }
        ASSERT_TRUE(pumpUntil(s.h.mainQueue,
                              [&] { return s.store->drain() && s.holds(fullDisk ? "spilt" : "theirs"); }));
        testing::writeOverOld(s.h.logFile(), 7, true);
        ASSERT_TRUE(s.store->drain());
        EXPECT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.holds("new7"); }));
    }
}

// Another program's line near the end of a log of 40 MiB written over, its times put back:
// with no drain, each minute of the store's clock compares bytesAMinute of the log, and the
// second finds it. A quit while the next comparison reads slowly (a mount that answers
// slowly) stops it between blocks and ends within 3 s; every event of the run, one queued
// behind the comparison too, is in the file once.
TEST(TroupeLogNet, ABigLogIsComparedAShareAMinute) {
    const std::string pad((1 << 20) - 240, '.');
    CountedStore s(40, {}, pad.size());
    std::vector<TroupeEvent> mine{s.mine("before")};
    ASSERT_TRUE(s.store->drain());
    s.count();
    testing::writeOverOld(s.h.logFile(), 39, true);
    s.h.clock.advance(61);
    EXPECT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.asked >= TroupeLogNet::bytesAMinute; }));
    EXPECT_LE(s.asked, TroupeLogNet::bytesAMinute);
    EXPECT_FALSE(s.holds("new39" + pad));
    s.h.clock.advance(61);
    ASSERT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.holds("new39" + pad); }));

    ::utimensat(AT_FDCWD, s.h.logFile().c_str(), nullptr, 0);
    s.slowMs = 200;
    s.h.clock.advance(61);
    ASSERT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.slowed > 0; }));
    mine.push_back(s.mine("during"));
    const auto asked = Steady::now();
    s.store->stopLoading();
    s.store->drain();
    s.store.reset();
    EXPECT_LT(Steady::now() - asked, std::chrono::seconds(3));
    testing::expectEachOnce(s.h.logFile(), mine);
}

}  // namespace
}  // namespace tw
