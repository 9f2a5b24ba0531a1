#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/troupe/store/troupe_killed_run.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_store.h"

namespace tw {
namespace {

using testing::event;
using testing::TroupeHarness;

// A run killed while the file system refused its last lines (a dead mount, a full disk): the
// next start, or a run of the same log that lives on (at its second look), writes exactly the
// lines the log lacks, once, deletes the killed run's file and says so. The start of such a
// line a write cut short at the log's very end is taken back off first; a kept file with a line
// that does not decode is said and left where it is.
TEST(TroupeStore, LinesKeptByAKilledRunAreWrittenOnceByTheNext) {
    enum Next { nextStart, runningRun, fragmentAtTheEnd, badLineKept };
    for (const Next next : {nextStart, runningRun, fragmentAtTheEnd, badLineKept}) {
        SCOPED_TRACE(next);
        TroupeHarness h;
        testing::CapturedLog log;
        std::vector<TroupeEvent> mine;
        for (int i = 0; i < 5; ++i)
            mine.push_back(
                event(TroupeMilestoneEarned{i < 3 ? "written" : "unwritten"}, h.clock.now().seconds));
        testing::KilledRun killed(h, mine);
        ASSERT_TRUE(killed.accepted());
        std::unique_ptr<TroupeStore> store;
        if (next == runningRun) store = h.open(h.keepFolder());
        killed.kill();
        const std::string cutShort = encodeTroupeEventLine(mine[3]);
        if (next == fragmentAtTheEnd) testing::appendAsAnotherProgram(h.logFile(), cutShort.substr(0, 15));
        if (next == badLineKept) testing::appendAsAnotherProgram(h.keptFiles().at(0), "not a line\n");
        if (next == runningRun)
            h.mainQueue.advance(2 * TroupeStore::keepLookSeconds);  // found, then written
        else
            store = h.open(h.keepFolder());
        ASSERT_TRUE(store->drain());
        testing::expectEachOnce(h.logFile(), mine);
        EXPECT_EQ(testing::troupeLogStateOf(testing::readFile(h.logFile())).unreadable, 0u);
        EXPECT_EQ(store->snapshot().milestonesEarned.size(), 2u);
        EXPECT_EQ(log.count("Wrote 2 troupe events kept on this machine by a run of"), 1);
        EXPECT_EQ(log.count("(3 it held already)"), 1);
        EXPECT_EQ(log.count("Took back the start of a troupe event"), next == fragmentAtTheEnd ? 1 : 0);
        EXPECT_EQ(log.count("(line 7: "), next == badLineKept ? 1 : 0);
        EXPECT_EQ(h.keptFiles().size(), next == badLineKept ? 2u : 1u);  // and the new run's own
    }
}

}  // namespace
}  // namespace tw
