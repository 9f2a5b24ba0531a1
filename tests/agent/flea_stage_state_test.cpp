#include <gtest/gtest.h>

#include <string>

#include "agent/flea_agent_executor.h"
#include "agent/flea_stage_state_store.h"
#include "platform/testing/recording_telemetry_sink.h"

namespace tw {
namespace {

using A = AgentAction;
using Decision = FleaStageStateStore::PlayerActionDecision;
constexpr Date T{1000.0};

AgentIntent intent(A action, std::int64_t ticks = 2, std::optional<std::string> target = std::nullopt,
                   std::optional<AgentPosition> position = std::nullopt) {
    AgentIntent i = AgentIntent::make(action, std::move(target), position);
    i.duration_ticks = ticks;
    return i;
}

FleaAgentScheduler::PendingTick tick(const std::string& id, AgentIntent i) { return {id, std::move(i), T}; }

TEST(StageExecutorGeometry, MovingActionsKeepOrDefaultThePositionAndAimTheTarget) {
    const auto idle = FleaStageState::make("Pip", "strongman");
    auto wander = FleaAgentExecutor::apply(intent(A::wander_to, 3, {}, AgentPosition{1.4, 0.6}), idle, T, {});
    EXPECT_EQ(wander.position, (AgentPosition{0.5, 0.6}));
    EXPECT_EQ(wander.target_position, (AgentPosition{1.0, 0.6}));
    EXPECT_EQ(wander.current_pose, AgentPose::walking);
    EXPECT_EQ(wander.intent_duration_seconds, 1.5);
    EXPECT_EQ(wander.cooldown_until, T.adding(1.5));

    auto standing = idle;
    standing.position = AgentPosition{0.2, 0.7};
    standing.target_position = AgentPosition{0.3, 0.3};
    auto join =
        FleaAgentExecutor::apply(intent(A::join_flea, 2, "Rex"), standing, T, AgentPosition{0.98, 0.62});
    EXPECT_EQ(join.position, (AgentPosition{0.2, 0.7}));
    EXPECT_EQ(join.target_position, (AgentPosition{1.0, 0.62}));
    EXPECT_EQ(join.interaction_partner_id, "Rex");
    join = FleaAgentExecutor::apply(intent(A::join_flea, 2, "Rex"), standing, T, std::nullopt);
    EXPECT_EQ(join.target_position, (AgentPosition{0.3, 0.3}));  // nothing better: the old target stays

    auto duet =
        FleaAgentExecutor::apply(intent(A::initiate_duet, 4, "Rex"), idle, T, AgentPosition{0.9, 0.9});
    EXPECT_EQ(duet.target_position, (AgentPosition{0.5, 0.55}));
    EXPECT_EQ(duet.position, (AgentPosition{0.5, 0.6}));
    EXPECT_EQ(duet.temp_act_override, "duet");
    duet = FleaAgentExecutor::apply(intent(A::initiate_duet, 4, "Rex"), standing, T, AgentPosition{0.6, 0.5});
    EXPECT_DOUBLE_EQ(duet.target_position->x_norm, 0.4);
    EXPECT_DOUBLE_EQ(duet.target_position->y_norm, 0.6);

    for (A action : {A::watch_flea, A::applaud, A::sit, A::sleep, A::refuse, A::perform_assigned_act,
                     A::perform_signature, A::attempt_bit, A::pre_action_ritual}) {
        const auto still = FleaAgentExecutor::apply(intent(action), duet, T, {});
        EXPECT_FALSE(still.position) << rawValue(action);
        EXPECT_FALSE(still.target_position) << rawValue(action);
    }
    EXPECT_EQ(FleaAgentExecutor::apply(intent(A::refuse), idle, T, {}).current_pose, AgentPose::headShake);
    EXPECT_EQ(FleaAgentExecutor::apply(intent(A::pre_action_ritual), idle, T, {}).temp_act_override,
              "pre_action_ritual");
    EXPECT_FALSE(FleaAgentExecutor::apply(intent(A::sit), duet, T, {}).temp_act_override);
}

TEST(StageExecutorGeometry, PathProgressIsSmoothstepOfElapsedShare) {
    auto state =
        FleaAgentExecutor::apply(intent(A::wander_to, 4), FleaStageState::make("Pip", "strongman"), T, {});
    EXPECT_DOUBLE_EQ(FleaAgentExecutor::pathProgress(state, T.adding(0.5)), 0.15625);
    EXPECT_EQ(FleaAgentExecutor::pathProgress(state, T.adding(-1)), 0.0);
    EXPECT_EQ(FleaAgentExecutor::pathProgress(state, T.adding(9)), 1.0);
    EXPECT_EQ(FleaAgentExecutor::pathProgress(FleaStageState::make("Pip", "strongman"), T), 1.0);
}

TEST(StageStore, IntentsExpireAtTheirCooldown) {
    FleaStageStateStore store;
    store.registerFlea("Pip", "strongman");
    store.apply(tick("Pip", intent(A::sit, 3)), T);
    store.registerFlea("Pip", "cannon");  // a second registration changes nothing
    EXPECT_EQ(store.state("Pip")->assigned_act, "strongman");
    EXPECT_EQ(store.state("Pip")->current_pose, AgentPose::sitting);
    store.tickFrame(T.adding(1.0));
    EXPECT_EQ(store.state("Pip")->current_action, A::sit);
    store.tickFrame(T.adding(1.5));
    EXPECT_EQ(store.state("Pip"), FleaStageState::make("Pip", "strongman"));

    store.apply(tick("Pip", intent(A::sleep, 0)), T);
    store.tickFrame(T);
    EXPECT_FALSE(store.state("Pip")->current_action);

    store.apply(tick("Ghost", intent(A::sit)), T);  // ignored
    EXPECT_FALSE(store.state("Ghost"));
}

TEST(StageStore, PartnerPositionComesFromTheStore) {
    FleaStageStateStore store;
    store.registerFlea("b", "cannon");
    store.registerFlea("a", "tightrope");
    store.registerFlea("c", "juggling");
    store.apply(tick("b", intent(A::wander_to, 8, {}, AgentPosition{0.1, 0.6})),
                T);  // b stands at (0.5, 0.6)
    store.apply(tick("a", intent(A::join_flea, 2, "b")), T);
    EXPECT_EQ(store.state("a")->target_position, (AgentPosition{0.55, 0.6}));
    std::string order;
    for (const auto& state : store.allStates()) order += state.flea_id;
    EXPECT_EQ(order, "abc");
    EXPECT_TRUE(FleaStageStateStore().allStates().empty());
}

class RefusalTest : public ::testing::Test {
   protected:
    testing::RecordingTelemetrySink telemetry;
    FleaStageStateStore store{telemetry};

    void SetUp() override { store.registerFlea("Rex", "cannon"); }
    void startRefusing() { store.apply(tick("Rex", intent(A::refuse, 1000)), T); }
    std::string requests(int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += store.requestPlayerAction("Rex", "tap", false, T.adding(1)).isRefusal() ? 'R' : '.';
        return out;
    }
};

TEST_F(RefusalTest, EveryEighthCountedRequestIsRefusedDuringARefusal) {
    startRefusing();
    EXPECT_EQ(requests(16), ".......R.......R");
    const auto refusal = store.requestPlayerAction("Rex", "tap", false, T.adding(1));
    EXPECT_EQ(store.playerActionStats("Rex"), (FleaStageStateStore::PlayerActionStats{17, 2, 0}));
    (void)refusal;

    // After the refusal has run out nothing is refused, but requests still count.
    store.tickFrame(T.adding(600));
    EXPECT_EQ(store.requestPlayerAction("Rex", "tap", false, T.adding(600)), Decision::accepted());
    EXPECT_EQ(store.playerActionStats("Rex").attempts, 18);
}

TEST_F(RefusalTest, EarlierRequestsCountTowardsALaterRefusal) {
    EXPECT_EQ(requests(40), std::string(40, '.'));
    startRefusing();
    EXPECT_EQ(requests(8), "RRRRR..R");
}

TEST_F(RefusalTest, OverrideGivesBackOneServedRefusal) {
    startRefusing();
    requests(16);
    EXPECT_EQ(store.requestPlayerAction("Rex", "tap", true, T.adding(1)), Decision::acceptedViaOverride());
    EXPECT_EQ(store.playerActionStats("Rex"), (FleaStageStateStore::PlayerActionStats{16, 1, 1}));
    const auto decision = store.requestPlayerAction("Rex", "tap", false, T.adding(1));
    EXPECT_EQ(decision,
              Decision::refused("in-character refusal \xE2\x80\x94 player can long-press to override"));

    const auto lines = telemetry.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "flea_agent_refusal action_id=tap flea_id=Rex");

    store.resetRefusalCounters();
    EXPECT_EQ(store.playerActionStats("Rex"), (FleaStageStateStore::PlayerActionStats{0, 0, 1}));
    EXPECT_EQ(store.requestPlayerAction("Ghost", "tap", false, T), Decision::accepted());
    EXPECT_EQ(store.playerActionStats("Ghost").attempts, 1);
}

}  // namespace
}  // namespace tw
