#include <gtest/gtest.h>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/surfaces/troupe_attention.h"
#include "troupe/surfaces/troupe_watch_bridge.h"

namespace tw {
namespace {

using testing::TroupeHarness;

constexpr double kHour = 3600;
const Uuid kHere = *Uuid::parse("00000000-0000-4000-8000-00000000000a");
const Uuid kThere = *Uuid::parse("00000000-0000-4000-8000-00000000000b");

TroupeEvent event(TroupePayload payload, double ts, const Uuid& device = kHere) {
    const auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{Uuid::random(), kind, std::move(payload), Date{ts}, device, troupeSchemaVersion};
}

TEST(TroupeAttention, ArrivalPlaysAfterEightHoursAwayAndNotAgainTooSoon) {
    const double seen = 1000 * kHour;
    const TroupeSnapshot snapshot = TroupeFold::fold({
        event(TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"}, seen - 2 * kHour),
        event(TroupeDeviceSessionEnd{7200}, seen),
        event(TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "laptop"}, seen + 5 * kHour, kThere),
    });
    struct Case {
        const char* name;
        Uuid device;
        double now;
        std::optional<double> lastShown;
        TroupeAttention::Arrival arrival;
    };
    const std::vector<Case> cases = {
        {"never seen here", Uuid::random(), seen + 20 * kHour, std::nullopt, {false, 0}},
        {"just under eight hours", kHere, seen + 8 * kHour - 1, std::nullopt, {false, 8 * kHour - 1}},
        {"eight hours exactly", kHere, seen + 8 * kHour, std::nullopt, {true, 8 * kHour}},
        {"shown eight hours ago", kHere, seen + 9 * kHour, seen + kHour, {true, 9 * kHour}},
        {"shown less than eight hours ago", kHere, seen + 9 * kHour, seen + kHour + 1, {false, 9 * kHour}},
        {"another device's time does not count", kThere, seen + 12 * kHour, std::nullopt, {false, 7 * kHour}},
        {"a clock behind the log", kHere, seen - kHour, std::nullopt, {false, -kHour}},
        {"a clock with no time", kHere, std::nan(""), std::nullopt, {false, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lastShown = c.lastShown ? std::optional<Date>(Date{*c.lastShown}) : std::nullopt;
        EXPECT_EQ(TroupeAttention::onAppear(snapshot, c.device, Date{c.now}, lastShown).arrival, c.arrival);
    }
}

TEST(TroupeAttention, PendingMilestonesAreTheOnesThisDeviceHasNotAcknowledged) {
    const TroupeSnapshot snapshot = TroupeFold::fold({
        event(TroupeMilestoneEarned{"first_flea"}, 10),
        event(TroupeMilestoneEarned{"century"}, 11),
        event(TroupeMilestoneEarned{"all_acts"}, 12),
        event(TroupeMilestoneAcknowledged{"first_flea", kHere}, 13),
        event(TroupeMilestoneAcknowledged{"century", kThere}, 14, kThere),
    });
    EXPECT_EQ(TroupeAttention::onAppear(snapshot, kHere, Date{20}, std::nullopt).pendingMilestones,
              (std::vector<std::string>{"all_acts", "century"}));
}

// The launch as the shell runs it: the snapshot copied before this session starts.
TEST(TroupeAttention, TheLaunchMeasuresTheGapFromBeforeItsOwnSessionStart) {
    TroupeHarness h;
    {
        auto store = h.open();
        store->markSessionStart("desk", h.clock.now());
        store->acknowledgeMilestones({});
        store->append(event(TroupeMilestoneEarned{"m"}, h.clock.now().seconds));
        store->markSessionEnd(h.clock.now().adding(kHour));
    }
    h.clock.advance(10 * kHour);
    auto store = h.open();
    const TroupeSnapshot beforeThisSession = store->snapshot();
    store->markSessionStart("desk", h.clock.now());
    const auto decision =
        TroupeAttention::onAppear(beforeThisSession, store->deviceId(), h.clock.now(), std::nullopt);
    EXPECT_TRUE(decision.arrival.shouldPlay);
    EXPECT_EQ(decision.arrival.gapSeconds, 9 * kHour);
    EXPECT_FALSE(TroupeAttention::onAppear(store->snapshot(), store->deviceId(), h.clock.now(), std::nullopt)
                     .arrival.shouldPlay);
    store->acknowledgeMilestones(decision.pendingMilestones);
    EXPECT_TRUE(TroupeAttention::onAppear(store->snapshot(), store->deviceId(), h.clock.now(), std::nullopt)
                    .pendingMilestones.empty());
}

TEST(TroupeWatchBridge, WritesTheSummaryIntoTheAppGroupSuiteOrNothing) {
    TroupeHarness h;
    auto store = h.open();
    const Uuid pip = Uuid::random();
    store->append(event(TroupeFleaCreated{pip, "Pip", 2, "crown", "cannon", Date{700000000}, {}}, 799999999));
    store->append(event(TroupeXPEarned{pip, 7, TroupeXPSource::practice}, 800000000));
    testing::InMemoryDefaults group;
    TroupeWatchBridge::appGroupDefaults = &group;
    const Uuid troupe = Uuid::random();
    TroupeWatchBridge::writeCurrentSummary(*store, troupe);
    const auto summary = parseJson(*group.dataStringForKey(TroupeWatchBridge::summaryKey));
    const OrderedJson expected = {
        {"schemaVersion", 1},
        {"generatedAt", "2026-05-09T06:13:20Z"},
        {"deviceId", store->deviceId().uuidString()},
        {"troupeId", troupe.uuidString()},
        {"eventCount", 2},
        {"lastEventTs", "2026-05-09T06:13:20Z"},
        {"fleas",
         {{{"id", pip.uuidString()},
           {"name", "Pip"},
           {"act", "cannon"},
           {"hatKind", "crown"},
           {"bodyColorIndex", 2},
           {"xp", 7}}}},
    };
    EXPECT_EQ(summary, expected);

    // A time with no text: nothing is written, the old summary stays.
    h.clock.set(Date{1e15});
    TroupeWatchBridge::writeCurrentSummary(*store, std::nullopt);
    EXPECT_EQ(parseJson(*group.dataStringForKey(TroupeWatchBridge::summaryKey)), expected);

    EXPECT_FALSE(h.defaults.hasKey(TroupeWatchBridge::summaryKey));

    // Without an app group the standard suite takes it.
    TroupeWatchBridge::appGroupDefaults = nullptr;
    h.clock.set(Date{800000000});
    TroupeWatchBridge::writeCurrentSummary(*store, std::nullopt);
    EXPECT_TRUE(h.defaults.hasKey(TroupeWatchBridge::summaryKey));
}

}  // namespace
}  // namespace tw
