#include "Tumblewick/stage/energy_system.h"

#include <gtest/gtest.h>

#include "platform/log.h"
#include "stage_test_support.h"

namespace tw {
namespace {

class EnergySystemTest : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override { log::setSinkForTesting(nullptr); }

    testing::RecordingXPSink xp;
    EnergySystem energy{xp};
    std::vector<std::string> lines;
};

TEST_F(EnergySystemTest, ClicksAddEighteenUpToTheCeilingAndAwardXP) {
    const double expected[] = {18, 36, 54, 72, 90, 100};
    for (double value : expected) {
        energy.addClick();
        EXPECT_EQ(energy.value, value);
    }
    EXPECT_EQ(xp.awards, std::vector<std::int64_t>(6, 2));
    EXPECT_EQ(lines.front(), "🔔 Click added! Energy now: 18.0");
    EXPECT_EQ(lines.back(), "🔔 Click added! Energy now: 100.0");
    EXPECT_TRUE(energy.clicked);
    EXPECT_EQ(energy.smooth, 0);
}

TEST_F(EnergySystemTest, KeyPressesCountAndClearEventsResets) {
    energy.addKeypress();
    energy.addKeypress();
    EXPECT_EQ(energy.value, 12);
    EXPECT_EQ(energy.newKeys, 2);
    EXPECT_EQ(xp.awards, (std::vector<std::int64_t>{1, 1}));
    EXPECT_TRUE(lines.empty());
    energy.addClick();
    energy.clearEvents();
    EXPECT_EQ(energy.newKeys, 0);
    EXPECT_FALSE(energy.clicked);

    energy.updateKeyState({0, 1});
    energy.updateKeyState({1, 2});
    EXPECT_EQ(energy.newKeys, 3);
}

TEST_F(EnergySystemTest, PollDecaysAndSmooths) {
    energy.value = 100;
    energy.poll(0.5, {0, 0});
    EXPECT_EQ(energy.value, 87.5);
    EXPECT_EQ(energy.smooth, 87.5);  // 8 × 0.5 ≥ 1 jumps straight there

    energy.poll(1.0 / 60, {0, 0});
    EXPECT_NEAR(energy.value, 87.5 - 25.0 / 60, 1e-12);
    EXPECT_NEAR(energy.smooth, 87.5 + (8.0 / 60) * (energy.value - 87.5), 1e-12);
    EXPECT_DOUBLE_EQ(energy.normalized(), energy.smooth / 100);

    energy.poll(1000, {0, 0});
    EXPECT_EQ(energy.value, 0);
}

TEST_F(EnergySystemTest, MouseMovementCountsOnlyAboveThreePointsPerFrame) {
    energy.value = 50;
    energy.poll(1.0 / 60, {3, 0});  // exactly 3: nothing added
    EXPECT_NEAR(energy.value, 50 - 25.0 / 60, 1e-12);

    energy.value = 50;
    energy.poll(1.0 / 60, {6.01, 0});  // 3.01 adds about 0.12
    EXPECT_NEAR(energy.value, 50 + 3.01 * 0.04 - 25.0 / 60, 1e-9);
    EXPECT_NEAR(energy.mouseSpeed, 3.01, 1e-12);

    testing::RecordingXPSink otherXP;
    EnergySystem fresh{otherXP};
    fresh.poll(1.0 / 60, {600, 800});  // the first poll measures from the origin
    EXPECT_NEAR(fresh.value, 40 - 25.0 / 60, 1e-9);

    fresh.value = 99;
    fresh.poll(1.0 / 60, {100000, 800});  // the ceiling bounds mouse energy
    EXPECT_EQ(fresh.value, 100);
}

}  // namespace
}  // namespace tw
