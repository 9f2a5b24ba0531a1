// What the store takes and refuses, the snapshot it keeps live, the sessions and
// acknowledgements it writes, and the device id it keeps.
#include "troupe/store/troupe_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/defaults.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/store/troupe_device_identity.h"
#include "troupe/store/troupe_live_fold.h"

namespace tw {
namespace {

using testing::event;
using testing::fileSize;
using testing::RecordingSink;
using testing::TroupeHarness;

TEST(TroupeStore, RefusedEventsChangeNothing) {
    TroupeHarness h;
    auto store = h.open();
    const double now = h.clock.now().seconds;
    const auto kept = event(TroupeMilestoneEarned{"kept"}, now);
    ASSERT_TRUE(std::holds_alternative<TroupeEvent>(store->append(kept)));
    TroupeEvent newer = event(TroupeMilestoneEarned{"newer"}, now);
    newer.schemaVersion = 2;
    struct Case {
        const char* name;
        TroupeEvent event;
        std::optional<TroupeStoreError> error;  // none: the stored event comes back
    };
    const std::vector<Case> cases = {
        {"past the clock window",
         event(TroupeMilestoneEarned{"old"}, now - TroupeClock::pastToleranceSeconds - 1),
         TroupeStoreError::clockSkew},
        {"beyond the future tolerance",
         event(TroupeMilestoneEarned{"soon"}, now + TroupeClock::futureToleranceSeconds + 1),
         TroupeStoreError::clockSkew},
        {"no time at all", event(TroupeMilestoneEarned{"nan"}, std::nan("")), TroupeStoreError::clockSkew},
        {"a newer schema", newer, TroupeStoreError::unsupportedSchemaVersion},
        {"a non-finite number", event(TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, INFINITY}, now),
         TroupeStoreError::encodingFailed},
        {"a date with no text",
         event(TroupeFleaCreated{Uuid::random(), "Pip", 0, "none", "cannon", Date{1e15}, {}}, now),
         TroupeStoreError::encodingFailed},
        {"a repeated id", event(TroupeMilestoneEarned{"again"}, now, kept.id), std::nullopt},
    };
    ASSERT_TRUE(store->drain());
    const auto size = fileSize(h.logFile());
    const TroupeSnapshot before = store->snapshot();
    int posted = 0;
    h.notifications.addObserver(TroupeStore::eventAppendedNotification,
                                [&](const Notification&) { ++posted; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = store->append(c.event);
        if (c.error) {
            ASSERT_TRUE(std::holds_alternative<TroupeStoreError>(result));
            EXPECT_EQ(std::get<TroupeStoreError>(result), *c.error);
        } else {
            EXPECT_EQ(std::get<TroupeEvent>(result), kept);
        }
    }
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(fileSize(h.logFile()), size);
    EXPECT_EQ(store->snapshot(), before);
    EXPECT_EQ(posted, 0);
}

// Events of one second arrive in any id order, fractions and all; the snapshot kept
// live must be the one the next launch folds from the file.
TEST(TroupeStore, TheLiveSnapshotIsTheOneTheNextLaunchReads) {
    TroupeHarness h;
    auto store = h.open();
    std::mt19937_64 rng(7);
    std::vector<Uuid> fleas;
    std::vector<TroupeEvent> stored;
    for (int step = 0; step < 400; ++step) {
        const auto roll = rng() % 10;
        const Uuid flea = fleas.empty() ? Uuid::random() : fleas[rng() % fleas.size()];
        const double ts = h.clock.now().seconds + static_cast<double>(rng() % 1000) / 1000.0;
        auto payload = [&]() -> TroupePayload {
            if (roll < 2 || fleas.empty()) {
                fleas.push_back(Uuid::random());
                return TroupeFleaCreated{fleas.back(), "Flea", 1, "crown", "cannon", Date{ts - 0.5}, {}};
            }
            if (roll < 5)
                return TroupeXPEarned{rng() % 2 ? std::optional<Uuid>(flea) : std::nullopt, 3,
                                      TroupeXPSource::click};
            if (roll < 6) return TroupeNodeUnlocked{flea, "cannon", "n" + std::to_string(rng() % 4), 4};
            if (roll < 7) return TroupeFleaIdOnly{flea};
            if (roll < 8) return TroupeMilestoneEarned{"m" + std::to_string(rng() % 5)};
            if (roll < 9) return TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"};
            return TroupeFleaRenamed{flea, "Renamed " + std::to_string(step)};
        }();
        const auto result = store->append(event(std::move(payload), ts));
        stored.push_back(std::get<TroupeEvent>(result));
        EXPECT_EQ(stored.back().ts.seconds, std::floor(ts));
        if (rng() % 8 == 0) h.clock.advance(1);
        if (step == 300) {
            // The clock steps back past the reorder window: the whole log is refolded.
            h.clock.advance(-2 * TroupeLiveFold::reorderWindowSeconds);
        }
    }
    ASSERT_TRUE(store->drain());  // and the refold
    const TroupeSnapshot live = store->snapshot();
    EXPECT_EQ(live, TroupeFold::fold(stored));
    ASSERT_TRUE(store->drain());
    store.reset();
    EXPECT_EQ(h.open()->snapshot(), live);
}

TEST(TroupeStore, SessionsMilestonesSinksAndNotifications) {
    TroupeHarness h;
    auto store = h.open();
    auto sink = std::make_shared<RecordingSink>();
    auto gone = std::make_shared<RecordingSink>();
    store->addSink(sink);
    store->addSink(gone);
    gone.reset();
    std::vector<std::string> order;
    for (const char* name :
         {TroupeStore::eventAppendedNotification, TroupeStore::snapshotChangedNotification}) {
        h.notifications.addObserver(name, [&order](const Notification& n) {
            order.push_back(n.name + (n.userInfo.contains("event") ? "+event" : ""));
        });
    }

    store->markSessionEnd(h.clock.now());  // no start: nothing
    const Date start = h.clock.now();
    store->markSessionStart("desk", start);
    store->markSessionEnd(start.adding(-10));  // a clock that went back: no negative duration
    store->markSessionEnd(start.adding(20));   // the start is forgotten: nothing
    store->markSessionStart(std::nullopt, start.adding(30));
    h.clock.advance(120);
    store->markSessionEnd(h.clock.now());
    store->acknowledgeMilestones({"b", "a"});

    std::vector<TroupePayload> payloads;
    for (const auto& e : sink->events) payloads.push_back(e.payload);
    const std::vector<TroupePayload> expected = {
        TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"},
        TroupeDeviceSessionEnd{0},
        TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, std::nullopt},
        TroupeDeviceSessionEnd{90},
        TroupeMilestoneAcknowledged{"b", store->deviceId()},
        TroupeMilestoneAcknowledged{"a", store->deviceId()},
    };
    EXPECT_EQ(payloads, expected);
    for (const auto& e : sink->events) EXPECT_EQ(e.deviceId, store->deviceId());
    ASSERT_EQ(order.size(), 12u);
    EXPECT_EQ(order[0], std::string(TroupeStore::eventAppendedNotification) + "+event");
    EXPECT_EQ(order[1], TroupeStore::snapshotChangedNotification);
    EXPECT_EQ(store->snapshot().lastSeen(store->deviceId()), h.clock.now());
    EXPECT_TRUE(store->snapshot().hasAcknowledgedMilestone("a", store->deviceId()));
}

TEST(TroupeStore, TheDeviceIdSurvivesACorruptSettingsFile) {
    TroupeHarness h;
    const auto settings = h.xdg.root() / "config" / "tumblewick" / "standard.json";
    Uuid first;
    {
        JsonFileDefaults defaults(settings);
        TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
        first = store.deviceId();
        EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), first.uuidString());
    }
    std::ofstream(settings, std::ios::trunc) << "{ this is not a settings file";
    {
        JsonFileDefaults defaults(settings);  // sets the broken file aside and starts empty
        TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
        EXPECT_EQ(store.deviceId(), first);
        EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), first.uuidString());
    }
    // Both copies gone: a new device.
    std::filesystem::remove(settings);
    std::filesystem::remove(TroupeStore::defaultDirectory() / TroupeDeviceIdentity::copyFileName);
    JsonFileDefaults defaults(settings);
    TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
    EXPECT_NE(store.deviceId(), first);
    EXPECT_EQ(
        std::filesystem::status(TroupeStore::defaultDirectory()).permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace tw
