// What the store takes and refuses, the snapshot it keeps live, the sessions and
// acknowledgements it writes, and the device id it keeps.
#include "troupe/store/troupe_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/defaults.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
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

// Events applied one at a time, one in four from up to 10 minutes before the settled ones, among
// them fleas made and put away and unlocks (costing up to `cost`) that XP added before
// could keep from zero: after each the snapshot is the fold of the sorted events (the whole
// log folded again when apply() says it must be), and old XP went in place now and then.
TEST(TroupeStore, TheLiveFoldPutsOldEventsInTheirPlace) {
    for (const std::uint64_t cost : {3, 60}) {
        SCOPED_TRACE(cost);
        std::mt19937_64 rng(23);
        std::vector<Uuid> fleas;
        double now = 800000000;
        std::vector<TroupeEvent> all;
        auto live = std::make_unique<TroupeLiveFold>(std::vector<TroupeEvent>{}, Date{now});
        int oldXpInPlace = 0;
        for (int step = 0; step < 2000; ++step) {
            now += static_cast<double>(rng() % 3);
            const bool old = rng() % 4 == 0;
            const auto roll = rng() % 40;
            const bool newFlea = fleas.empty() || (roll == 0 && rng() % 8 == 0);
            if (newFlea) fleas.push_back(Uuid::random());
            const Uuid flea = newFlea ? fleas.back() : fleas[rng() % fleas.size()];
            auto payload = [&]() -> TroupePayload {
                if (roll < 3) return TroupeFleaCreated{flea, "Flea", 1, "crown", "cannon", Date{now}, {}};
                if (roll < 20)
                    return TroupeXPEarned{rng() % 2 ? std::optional<Uuid>(flea) : std::nullopt,
                                          static_cast<std::int64_t>(1 + rng() % 20), TroupeXPSource::click};
                if (roll < 28) return TroupeMilestoneEarned{"m" + std::to_string(rng() % 9)};
                if (roll < 34)
                    return TroupeNodeUnlocked{flea, "cannon", "n" + std::to_string(step),
                                              static_cast<std::int64_t>(rng() % (cost + 1))};
                if (roll < 35 && rng() % 4 == 0) return TroupeFleaIdOnly{flea};
                if (roll < 37) return TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.1};
                return TroupeFleaRenamed{flea, "Name " + std::to_string(step)};
            }();
            all.push_back(event(std::move(payload), old ? now - 60 - static_cast<double>(rng() % 600) : now));
            if (!live->apply(all.back(), Date{now}))
                live = std::make_unique<TroupeLiveFold>(
                    all, Date{std::floor(now) - TroupeLiveFold::reorderWindowSeconds});
            else if (old && std::holds_alternative<TroupeXPEarned>(all.back().payload.value))
                ++oldXpInPlace;
            ASSERT_EQ(live->snapshot(), TroupeFold::fold(all)) << "step " << step;
        }
        EXPECT_GT(oldXpInPlace, 30);
    }
}

// Another device's line, the first after the load, lands where its time puts it. One that
// commutes with every event after it (XP, milestones), however old, is folded in place from
// its own bytes; one that does not shows at the end until a refold, which a drain runs.
// Either way the snapshot ends as the fold of the sorted file. The log spans several of the
// load's blocks and ends with a rename at our clock, in the fold's live tail.
TEST(TroupeStore, AnotherDevicesLineLandsInItsPlace) {
    constexpr double day = 86400;
    const Uuid flea = Uuid::random();
    const TroupeXPEarned toAll{std::nullopt, 3, TroupeXPSource::click};
    const struct {
        const char* name;
        TroupePayload payload;
        double ago;
        bool inPlace;
    } rows[] = {
        {"XP to all, 10 s ahead", toAll, -10, true},
        {"XP to all at our clock, before the tail's rename", toAll, 1, true},
        {"XP to all, 2 minutes behind", toAll, 120, true},
        {"XP to the flea, a day behind", TroupeXPEarned{flea, 5, TroupeXPSource::keystroke}, day, true},
        {"a milestone, two years behind", TroupeMilestoneEarned{"old"}, 730 * day, true},
        {"XP before the flea was made", TroupeXPEarned{flea, 7, TroupeXPSource::click}, 3 * day, false},
        {"a rename, a day behind", TroupeFleaRenamed{flea, "Old name"}, day, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TroupeHarness h;
        testing::CapturedLog said;
        const double now = h.clock.now().seconds;
        std::vector<TroupeEvent> file = {
            event(TroupeFleaCreated{flea, "Pip", 1, "crown", "cannon", Date{now - 2 * day}, {}},
                  now - 2 * day),
            event(TroupeFleaRenamed{flea, "Pip II"}, now - day / 2)};
        for (int i = 0; i < 24000; ++i)
            file.push_back(event(
                TroupeXPEarned{i % 2 ? std::optional<Uuid>(flea) : std::nullopt, 1, TroupeXPSource::click},
                now - 90 - 6.0 * i));
        file.push_back(event(TroupeFleaRenamed{flea, "Pip III"}, now));
        std::filesystem::create_directories(h.logFile().parent_path());
        std::ofstream out(h.logFile(), std::ios::binary);
        for (const auto& e : file) out << encodeTroupeEventLine(e) << '\n';
        out.close();
        // What the loader's thread (the load's first read's) reads: folds, not the writer's hashes.
        std::atomic<std::size_t> asked = 0;
        std::atomic<std::thread::id> loader{};
        std::atomic<bool> counting = false;
        TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
                          [&](int fd, void* buffer, std::size_t size, off_t offset) {
                              std::thread::id none{};
                              if (offset == 0)
                                  loader.compare_exchange_strong(none, std::this_thread::get_id());
                              if (counting && std::this_thread::get_id() == loader) asked += size;
                              return ::pread(fd, buffer, size, offset);
                          });
        store.waitUntilLoaded();
        counting = true;
        file.push_back(event(row.payload, now - row.ago));
        const std::string line = encodeTroupeEventLine(file.back()) + "\n";
        testing::appendAsAnotherProgram(h.logFile(), line);
        const auto count = static_cast<std::int64_t>(file.size());
        ASSERT_TRUE(testing::pumpUntil(h.mainQueue, [&] { return store.snapshot().eventCount == count; }));
        if (row.inPlace) {
            EXPECT_EQ(store.snapshot(), TroupeFold::fold(file));
        }
        ASSERT_TRUE(store.drain());
        if (row.inPlace) {
            EXPECT_EQ(asked, line.size());
        }
        EXPECT_EQ(said.count("refolding"), row.inPlace ? 0 : 1);
        EXPECT_EQ(store.snapshot(), TroupeFold::fold(file));
    }
}

// Another device's lines among this run's events, each row as the running store meets them:
// after every line the snapshot is the fold of the file at once, with no refold (which the
// clock never lets come): this run's later events over a late line, a repeat of an id
// stamped earlier than the line it repeats, a line of a newer schema version. A drain's
// refold leaves it so.
TEST(TroupeStore, TheRunningSnapshotIsTheFoldOfTheFile) {
    const Uuid flea = Uuid::random();
    const Uuid repeated = Uuid::random();
    const TroupeFleaCreated made{flea, "Pip", 1, "crown", "cannon", Date{0}, {}};
    const TroupeMilestoneEarned settled{"settled"};
    const TroupeMilestoneEarned ahead{"ahead"};
    struct Line {
        bool ours;
        TroupePayload payload;
        double ago;
        std::optional<Uuid> id = std::nullopt;
        std::int64_t schemaVersion = troupeSchemaVersion;
    };
    const struct {
        const char* name;
        std::vector<Line> lines;
    } rows[] = {
        {"our rename after theirs, an hour behind, with a line 10 s ahead",
         {{false, made, 7200},
          {false, settled, 1800},
          {false, ahead, -10},
          {false, TroupeFleaRenamed{flea, "Theirs"}, 3600},
          {true, TroupeFleaRenamed{flea, "Mine"}, 0}}},
        {"our XP and rename of a flea made an hour behind, with a line 10 s ahead",
         {{false, settled, 1800},
          {false, ahead, -10},
          {false, made, 3600},
          {true, TroupeXPEarned{flea, 100, TroupeXPSource::click}, 0},
          {true, TroupeFleaRenamed{flea, "Mine"}, 0}}},
        {"their milestone with our milestone's id, an hour earlier",
         {{true, TroupeMilestoneEarned{"mine"}, 0, repeated},
          {false, TroupeMilestoneEarned{"theirs"}, 3600, repeated}}},
        {"their flea put away with our flea made's id, earlier",
         {{true, made, 0, repeated},
          {true, TroupeXPEarned{flea, 221, TroupeXPSource::click}, 0},
          {false, TroupeFleaIdOnly{flea}, 30, repeated}}},
        {"their repeat of our line's id, later",
         {{true, TroupeMilestoneEarned{"mine"}, 0, repeated},
          {false, TroupeMilestoneEarned{"theirs"}, -5, repeated}}},
        {"a milestone of a newer schema, then a known version of its id",
         {{false, TroupeMilestoneEarned{"newer"}, 30, repeated, troupeSchemaVersion + 1},
          {false, TroupeMilestoneEarned{"known"}, 20, repeated}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TroupeHarness h;
        std::filesystem::create_directories(h.logFile().parent_path());
        std::ofstream(h.logFile(), std::ios::binary).close();
        auto store = h.open();
        std::vector<TroupeEvent> file;
        for (const Line& line : row.lines) {
            TroupeEvent next =
                event(line.payload, h.clock.now().seconds - line.ago, line.id.value_or(Uuid::random()));
            next.schemaVersion = line.schemaVersion;
            if (line.ours) {
                file.push_back(std::get<TroupeEvent>(store->append(next)));
            } else {
                file.push_back(next);
                testing::appendAsAnotherProgram(h.logFile(), encodeTroupeEventLine(next) + "\n");
            }
            EXPECT_TRUE(testing::pumpUntil(
                h.mainQueue, [&] { return store->snapshot() == TroupeFold::fold(file); },
                std::chrono::seconds(3)));
        }
        ASSERT_TRUE(store->drain());
        EXPECT_EQ(store->snapshot(), TroupeFold::fold(file));
    }
}

// Another device's renames, one a second and an hour behind, show at the end at once (while
// this run's clicks, two a second out of order, replay the tail), and are put in their place
// by one whole read a minute however many come (the load's counts).
TEST(TroupeStore, LinesOutOfPlaceAreRefoldedOnceAMinute) {
    TroupeHarness h;
    testing::CapturedLog said;
    const Uuid flea = Uuid::random();
    const double start = h.clock.now().seconds;
    std::vector<TroupeEvent> file = {
        event(TroupeFleaCreated{flea, "Pip", 1, "crown", "cannon", Date{start - 7200}, {}}, start - 7200),
        event(TroupeFleaRenamed{flea, "Pip II"}, start - 1800)};
    std::filesystem::create_directories(h.logFile().parent_path());
    std::ofstream(h.logFile(), std::ios::binary) << encodeTroupeEventLine(file[0]) << '\n'
                                                 << encodeTroupeEventLine(file[1]) << '\n';
    auto store = h.open();
    for (int second = 1; second <= 130; ++second) {
        SCOPED_TRACE(second);
        h.clock.advance(1);
        h.mainQueue.advance(1);
        const std::string name = "Name " + std::to_string(second);
        file.push_back(event(TroupeFleaRenamed{flea, name}, h.clock.now().seconds - 3600));
        testing::appendAsAnotherProgram(h.logFile(), encodeTroupeEventLine(file.back()) + "\n");
        const auto count = static_cast<std::int64_t>(file.size());
        ASSERT_TRUE(testing::pumpUntil(h.mainQueue, [&] { return store->snapshot().eventCount == count; }));
        // A refold that runs over the 2nd minute's turn starts when it ends.
        if (second < 120) {
            EXPECT_EQ(said.count("refolding"), second / 60);
        }
        EXPECT_LE(said.count("refolding"), second / 60);
        for (const double ago : {1, 2})
            file.push_back(std::get<TroupeEvent>(
                store->appendKind(TroupeEventKind::cumulativeStatTick,
                                  TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.1},
                                  Date{h.clock.now().seconds - ago})));
        if (second < 60) {
            EXPECT_EQ(store->snapshot().fleas.at(flea).name, name);
        }
    }
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(store->snapshot(), TroupeFold::fold(file));
    EXPECT_EQ(store->snapshot().fleas.at(flea).name, "Pip II");
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
