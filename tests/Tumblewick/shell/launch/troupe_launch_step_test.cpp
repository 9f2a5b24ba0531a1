// The launch's troupe step against a real store on temporary folders: one session
// start per launch, the arrival measured from before this launch, milestones
// acknowledged once.
#include "Tumblewick/shell/launch/troupe_launch_step.h"

#include <gtest/gtest.h>

#include <any>
#include <fstream>

#include "tests/troupe/store/troupe_store_harness.h"

namespace tw {
namespace {

using testing::TroupeHarness;

struct Launch {
    TroupeAttention::OnAppearDecision decision;
    std::vector<double> arrivalGaps;
    std::size_t sessionStarts = 0;
};

Launch launch(TroupeHarness& h, TroupeStore& store) {
    Launch result;
    const auto token =
        h.notifications.addObserver(TroupeLaunchStep::arrivalNotification, [&](const Notification& n) {
            result.arrivalGaps.push_back(
                std::any_cast<double>(n.userInfo.at(TroupeLaunchStep::gapSecondsKey)));
        });
    result.decision = TroupeLaunchStep{store, h.defaults, h.notifications, h.clock, "test"}.runLoaded();
    h.notifications.removeObserver(token);
    return result;
}

TEST(TroupeLaunchStep, ArrivalIsMeasuredFromTheLastSessionBeforeThisLaunch) {
    TroupeHarness h;
    struct Step {
        double hoursLater;
        bool arrives;
    };
    // First launch: never seen. Then 9 h later: greeted. 1 h later: too soon since the
    // last visit. 9 h after that: greeted again (the last greeting is 10 h old).
    const Step steps[] = {{0, false}, {9, true}, {1, false}, {9, true}};
    for (const Step& step : steps) {
        h.clock.advance(step.hoursLater * 3600);
        auto store = h.open();
        const Launch result = launch(h, *store);
        EXPECT_EQ(result.decision.arrival.shouldPlay, step.arrives) << step.hoursLater;
        ASSERT_EQ(result.arrivalGaps.size(), step.arrives ? 1u : 0u);
        if (step.arrives) {
            EXPECT_NEAR(result.arrivalGaps[0], step.hoursLater * 3600, 1.0);
            EXPECT_EQ(h.defaults.dateForKey(TroupeLaunchStep::arrivalShownAtKey), h.clock.now());
        }
        store->markSessionEnd(h.clock.now());
        ASSERT_TRUE(store->drain());
    }
}

TEST(TroupeLaunchStep, EachLaunchStartsOneSessionAndAcknowledgesEarnedMilestonesOnce) {
    TroupeHarness h;
    {
        auto store = h.open();
        ASSERT_TRUE(std::holds_alternative<TroupeEvent>(
            store->appendKind(TroupeEventKind::milestoneEarned,
                              TroupePayload{TroupeMilestoneEarned{"first_thousand_keys"}}, h.clock.now())));
        const Launch first = launch(h, *store);
        EXPECT_EQ(first.decision.pendingMilestones, std::vector<std::string>{"first_thousand_keys"});
        EXPECT_TRUE(store->snapshot().hasAcknowledgedMilestone("first_thousand_keys", store->deviceId()));
        ASSERT_TRUE(store->drain());
    }
    h.clock.advance(60);
    auto store = h.open();
    const Launch second = launch(h, *store);
    EXPECT_TRUE(second.decision.pendingMilestones.empty());
    ASSERT_TRUE(store->drain());
    std::ifstream log(h.logFile());
    std::size_t starts = 0;
    for (std::string line; std::getline(log, line);) {
        starts += line.find("\"kind\":\"device_session_start\"") != std::string::npos;
    }
    EXPECT_EQ(starts, 2u);
}

}  // namespace
}  // namespace tw
