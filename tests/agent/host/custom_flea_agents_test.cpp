#include "agent/host/custom_flea_agents.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using namespace agent_host;

const Date kStart{800'000'000.0};

struct RecordingRoster final : CustomFleaRoster {
    std::vector<RosterFlea> fleas;
    std::vector<std::pair<Uuid, std::int64_t>> awards;
    std::vector<RosterFlea> customFleas() const override { return fleas; }
    void addXP(std::int64_t amount, const Uuid& fleaID) override { awards.emplace_back(fleaID, amount); }
};

TEST(CustomFleaAgents, RegisteredFleasFollowTheRosterAndAReturningFleaIsAddedAgain) {
    const RosterFlea a{Uuid::random(), "A", "none", "cannon"}, b{Uuid::random(), "B", "crown", "juggling"};
    struct Row {
        std::vector<RosterFlea> roster;
        std::vector<RosterFlea> added;
        std::vector<Uuid> removed;
    };
    RecordingRoster roster;
    CustomFleaAgents agents(&roster);
    for (const Row& row : {Row{{a, b}, {a, b}, {}}, Row{{b}, {}, {a.id}}, Row{{b, a, a}, {a}, {}},
                           Row{{}, {}, {std::min(a.id, b.id), std::max(a.id, b.id)}}}) {
        roster.fleas = row.roster;
        const auto changes = agents.reconcile();
        EXPECT_EQ(changes.added, row.added);
        EXPECT_EQ(changes.removed, row.removed);
    }
    EXPECT_TRUE(agents.registered().empty());
}

// Decisions in the host come on half-second ticks and at random: whether exactly 5 s
// is enough, and whether the spacing is kept per flea, shows only here.
TEST(CustomFleaAgents, XPIsSpacedFiveSecondsPerFleaAndOnlyForCustomFleas) {
    const Uuid a = Uuid::random(), b = Uuid::random();
    struct Row {
        std::string flea;
        AgentAction action;
        double at;
        std::optional<std::int64_t> awarded;
    };
    RecordingRoster roster;
    CustomFleaAgents agents(&roster);
    for (const Row& row : {Row{a.uuidString(), AgentAction::perform_signature, 0, 5},
                           Row{a.uuidString(), AgentAction::attempt_bit, 4.99, std::nullopt},
                           Row{b.uuidString(), AgentAction::attempt_bit, 4.99, 3},
                           Row{a.uuidString(), AgentAction::refuse, 5, std::nullopt},  // earns none
                           Row{a.uuidString(), AgentAction::pre_action_ritual, 5, 1},
                           Row{"Pip", AgentAction::perform_signature, 20, std::nullopt}}) {
        roster.awards.clear();
        agents.awardXP(row.flea, row.action, kStart.adding(row.at));
        if (!row.awarded) {
            EXPECT_TRUE(roster.awards.empty()) << row.flea << " at " << row.at;
            continue;
        }
        ASSERT_EQ(roster.awards.size(), 1u) << row.at;
        EXPECT_EQ(roster.awards[0].first.uuidString(), row.flea);
        EXPECT_EQ(roster.awards[0].second, *row.awarded);
    }
}

}  // namespace
}  // namespace tw
