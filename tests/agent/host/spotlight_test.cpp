#include "agent/host/spotlight.h"

#include <gtest/gtest.h>

#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

using namespace agent_host;

const Date kStart{800'000'000.0};

// Ticks on the half second cannot tell a move at 8 s from one at 8.5 s, nor 30 s of
// idling from 30.5 s: these steps land on the edges.
TEST(Spotlight, TheHostLeadsFromExactlyThirtyIdleSecondsAndMovesEveryEight) {
    enum class Step { attend, interact, tick };
    struct Row {
        Step step;
        double at;
        const char* lit;
        bool hostLeads;
    };
    // Rex spoke most, Nova next, all within the last minute of every step.
    const std::vector<RecentLine> lines = {{"Rex", "applaud", "", kStart.adding(40)},
                                           {"Rex", "applaud", "", kStart.adding(40)},
                                           {"Nova", "applaud", "", kStart.adding(40)}};
    testing::InMemoryDefaults defaults;
    Spotlight spotlight(defaults, kStart);
    for (const Row& row : {Row{Step::attend, 0, "Pip", false}, Row{Step::tick, 29.9, "Pip", false},
                           Row{Step::tick, 30, "Rex", true}, Row{Step::tick, 37.9, "Rex", true},
                           Row{Step::tick, 38, "Nova", true}, Row{Step::interact, 40, "Nova", false},
                           Row{Step::tick, 69.9, "Nova", false}, Row{Step::tick, 70, "Rex", true}}) {
        const Date at = kStart.adding(row.at);
        if (row.step == Step::attend) spotlight.attend(std::string(row.lit), at);
        if (row.step == Step::interact) spotlight.noteUserInteraction(at);
        if (row.step == Step::tick) spotlight.tick(at, lines);
        EXPECT_EQ(spotlight.attended(), std::optional<std::string>(row.lit)) << row.at;
        EXPECT_EQ(spotlight.autoActive(), row.hostLeads) << row.at;
    }
}

}  // namespace
}  // namespace tw
