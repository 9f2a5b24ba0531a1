#include "troupe/store/troupe_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "platform/defaults.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/store/troupe_device_identity.h"
#include "troupe/store/troupe_live_fold.h"

namespace tw {
namespace {

using testing::RecordingSink;
using testing::TroupeHarness;

TroupeEvent event(TroupePayload payload, double ts, Uuid id = Uuid::random()) {
    const auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{id, kind, std::move(payload), Date{ts}, Uuid{}, troupeSchemaVersion};
}

std::uintmax_t fileSize(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return error ? 0 : size;
}

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
    ASSERT_TRUE(h.mainQueue.waitAndRun());  // the refold
    while (h.mainQueue.waitAndRun(0.2)) {
    }
    const TroupeSnapshot live = store->snapshot();
    EXPECT_EQ(live, TroupeFold::fold(stored));
    ASSERT_TRUE(store->drain());
    store.reset();
    EXPECT_EQ(h.open()->snapshot(), live);
}

// Opening folds each block as it is read while the log is in the fold's order; any
// other order must give the same snapshot as folding all of it sorted. Lines written
// sorted, shuffled, with one late line, and with repeated ids and newer-schema lines.
TEST(TroupeStore, OpeningFoldsAsTheSortedLogWhateverTheLineOrder) {
    std::mt19937_64 rng(11);
    std::vector<Uuid> fleas(6);
    for (auto& flea : fleas) flea = Uuid::random();
    const double start = 800000000.0 - 5000;
    std::vector<TroupeEvent> sorted;
    for (int i = 0; i < 3000; ++i) {
        const Uuid flea = fleas[rng() % fleas.size()];
        const auto roll = rng() % 10;
        auto payload = [&]() -> TroupePayload {
            if (roll < 4) return TroupeXPEarned{flea, 2, TroupeXPSource::keystroke};
            if (roll < 5)
                return TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.1 * static_cast<double>(i)};
            if (roll < 6)
                return TroupeFleaMessageFromUser{flea, Uuid::random(), "hi " + std::to_string(i),
                                                 Uuid::random()};
            if (roll < 7) return TroupeFleaRenamed{flea, "Name " + std::to_string(i)};
            if (roll < 8) return TroupeNodeUnlocked{flea, "cannon", "n" + std::to_string(i % 7), 4};
            return TroupeFleaCreated{flea, "Flea", 1, "crown", "cannon", Date{start}, {}};
        }();
        // Several events share a second; the last ones land in the live fold's tail.
        sorted.push_back(event(std::move(payload), start + std::floor(i * 1.7)));
    }
    std::sort(sorted.begin(), sorted.end(), TroupeFold::precedes);
    auto shuffled = sorted;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    auto oneLate = sorted;
    std::rotate(oneLate.begin() + 2000, oneLate.begin() + 2001, oneLate.end());  // line 2000 comes last
    // Still in order: each repeat right after its first line.
    std::vector<TroupeEvent> repeats;
    for (const auto& e : sorted) {
        repeats.push_back(e);
        if (rng() % 50 == 0) repeats.push_back(e);
    }
    TroupeEvent newer = sorted[1500];
    newer.schemaVersion = troupeSchemaVersion + 1;
    repeats.insert(repeats.begin() + 10, newer);  // its id's known line comes later
    auto shuffledRepeats = repeats;
    std::shuffle(shuffledRepeats.begin(), shuffledRepeats.end(), rng);
    struct Case {
        const char* name;
        const std::vector<TroupeEvent>& lines;
    };
    for (const Case& c :
         {Case{"sorted", sorted}, Case{"shuffled", shuffled}, Case{"one late line", oneLate},
          Case{"repeats and a newer schema", repeats}, Case{"repeats out of order", shuffledRepeats}}) {
        TroupeHarness h;
        std::filesystem::create_directories(h.logFile().parent_path());
        {
            std::ofstream out(h.logFile(), std::ios::binary);
            for (const auto& e : c.lines) out << encodeTroupeEventLine(e) << '\n';
        }
        auto store = h.open();
        EXPECT_EQ(store->snapshot(), TroupeFold::fold(c.lines)) << c.name;
        EXPECT_EQ(store->snapshot().eventCount, 3000) << c.name;
    }
}

TEST(TroupeStore, AppendsDuringTheLoadWaitForIt) {
    TroupeHarness h;
    const auto early = event(TroupeMilestoneEarned{"early"}, 800000000);
    {
        auto store = h.open();
        store->append(early);
    }
    TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications);
    std::vector<std::string> seen;
    h.notifications.addObserver(TroupeStore::eventAppendedNotification, [&](const Notification& n) {
        const auto& appended =
            std::any_cast<const TroupeEvent&>(n.userInfo.at(TroupeStore::eventUserInfoKey));
        seen.push_back(std::get<TroupeMilestoneEarned>(appended.payload.value).milestoneId);
    });
    bool loaded = false;
    store.whenLoaded([&] { loaded = store.snapshot().milestonesEarned.contains("late"); });
    const auto late = event(TroupeMilestoneEarned{"late"}, 800000000);
    const auto repeat = event(TroupeMilestoneEarned{"repeat"}, 800000000, early.id);
    if (!store.isLoaded()) {
        EXPECT_EQ(std::get<TroupeEvent>(store.append(late)), late);
        EXPECT_EQ(std::get<TroupeEvent>(store.append(late)), late);  // repeated while pending
        store.append(repeat);
        EXPECT_EQ(store.snapshot().eventCount, 0);
    } else {
        store.append(late);  // the load won the race; the rest still holds
    }
    ASSERT_TRUE(h.mainQueue.waitAndRun() || store.isLoaded());
    store.waitUntilLoaded();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(seen, std::vector<std::string>{"late"});
    EXPECT_EQ(store.snapshot().milestonesEarned, (TroupeTextSet{"early", "late"}));
    EXPECT_EQ(store.snapshot().eventCount, 2);
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
