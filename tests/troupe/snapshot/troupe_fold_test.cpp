#include "troupe/snapshot/troupe_fold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "troupe_fold_fixture.h"
#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::created;
using testing::FoldTest;
using testing::kDeviceA;
using testing::kDeviceB;
using testing::makeEvent;
using testing::uuidN;
using Speaker = TroupeMessageEntry::Speaker;

TroupeFleaRecustomized recustomized(const Uuid& flea, auto change) {
    TroupeFleaRecustomized record;
    record.fleaId = flea;
    change(record);
    return record;
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST_F(FoldTest, EmptyLogFoldsToTheEmptySnapshot) {
    TroupeSnapshot s = TroupeFold::fold({});
    EXPECT_EQ(s, TroupeSnapshot{});
    EXPECT_EQ(s.eventCount, 0);
    EXPECT_FALSE(s.lastEventTs);
}

TEST_F(FoldTest, FleaLifecycleCreateRenameRecustomizeDeleteRecreate) {
    TroupeSnapshot s = TroupeFold::fold({
        event(created(flea1, "Pip", 50), 100),
        event(TroupeFleaRenamed{flea1, "Pippa"}, 110),
        event(recustomized(flea1, [](auto& r) { r.hatKind = "crown"; }), 120),
        event(TroupeActAssigned{flea1, "highwire"}, 125),
        event(recustomized(flea1,
                           [](auto& r) {
                               r.bodyColorIndex = 7;
                               r.traits = std::vector<std::string>{};
                               r.voiceStyle = "squeaky";
                               r.ambition = "fame";
                               r.superstitions = std::vector<std::string>{"no hats on Tuesday"};
                           }),
              130),
    });
    TroupeFlea expected{.id = flea1,
                        .name = "Pippa",
                        .bodyColorIndex = 7,
                        .hatKind = "crown",
                        .discoveredAct = "highwire",
                        .createdAt = Date{50},
                        .traits = {},
                        .voiceStyle = "squeaky",
                        .ambition = "fame",
                        .superstitions = {"no hats on Tuesday"}};
    ASSERT_EQ(s.fleas.size(), 1u);
    EXPECT_EQ(s.fleas.at(flea1), expected);
    EXPECT_EQ(s.lastEventTs, Date{130});
    EXPECT_EQ(s.eventCount, 5);

    // Once deleted, nothing brings it back or changes it; it stays as a tombstone.
    TroupeFold::apply(event(TroupeFleaIdOnly{flea1}, 140), s);
    TroupeFlea tomb = s.fleas.at(flea1);
    EXPECT_TRUE(tomb.tombstoned);
    for (auto payload : std::vector<TroupePayload>{
             created(flea1, "Again"), TroupeFleaRenamed{flea1, "X"}, TroupeActAssigned{flea1, "y"},
             recustomized(flea1, [](auto& r) { r.hatKind = "z"; }),
             TroupeXPEarned{flea1, 10, TroupeXPSource::practice}, TroupeNodeUnlocked{flea1, "a", "n", 0}}) {
        TroupeFold::apply(event(payload, 150), s);
        EXPECT_EQ(s.fleas.at(flea1), tomb);
    }
    TroupeSnapshot before = s;
    TroupeFold::apply(event(TroupeFleaIdOnly{flea2}, 160), s);  // unknown flea
    before.lastEventTs = Date{160};
    EXPECT_EQ(s, before);
}

TEST_F(FoldTest, ExperienceAndUnlocks) {
    TroupeSnapshot s = TroupeFold::fold({
        event(created(flea1, "A"), 1),
        event(created(flea2, "B"), 2),
        event(TroupeXPEarned{flea1, 0, TroupeXPSource::practice}, 3),
        event(TroupeXPEarned{flea1, -5, TroupeXPSource::practice}, 4),
        event(TroupeXPEarned{flea1, 20, TroupeXPSource::practice}, 5),
        event(TroupeFleaIdOnly{flea2}, 6),
        event(TroupeXPEarned{std::nullopt, 10, TroupeXPSource::click}, 7),
        event(TroupeNodeUnlocked{flea1, "act", "spin", 50}, 8),
        event(TroupeNodeUnlocked{flea1, "act", "spin", 50}, 9),
    });
    EXPECT_EQ(s.fleas.at(flea1).xp, 0);  // 30 - 50, raised to 0, charged once
    EXPECT_EQ(s.fleas.at(flea1).unlockedNodeIds, TroupeTextSet{"spin"});
    EXPECT_EQ(s.fleas.at(flea2).xp, 0);  // tombstoned before the troupe-wide XP

    TroupeFold::apply(event(TroupeNodeUnlocked{flea1, "act", "refund", -15}, 10), s);
    EXPECT_EQ(s.fleas.at(flea1).xp, 15);
}

TEST_F(FoldTest, ExperienceSaturatesInsteadOfOverflowing) {
    TroupeSnapshot s = TroupeFold::fold({event(created(flea1, "A"), 1)});
    TroupeFold::apply(event(TroupeXPEarned{flea1, kMax, TroupeXPSource::manual}, 2), s);
    TroupeFold::apply(event(TroupeXPEarned{std::nullopt, kMax, TroupeXPSource::click}, 3), s);
    EXPECT_EQ(s.fleas.at(flea1).xp, kMax);
    TroupeFold::apply(event(TroupeNodeUnlocked{flea1, "a", "n", std::numeric_limits<std::int64_t>::min()}, 4),
                      s);
    EXPECT_EQ(s.fleas.at(flea1).xp, kMax);
    TroupeFold::apply(event(TroupeNodeUnlocked{flea1, "a", "m", kMax}, 5), s);
    EXPECT_EQ(s.fleas.at(flea1).xp, 0);

    s.surpriseEventsFired["confetti"] = kMax;
    TroupeFold::apply(event(TroupeSurpriseEventFired{"confetti"}, 6), s);
    EXPECT_EQ(s.surpriseEventsFired["confetti"], kMax);
}

TEST_F(FoldTest, DevicesAndSessions) {
    TroupeSnapshot s = TroupeFold::fold({event(TroupeDeviceSessionEnd{30}, 100, kDeviceB)});
    EXPECT_EQ(s.devices.at(kDeviceB),
              (TroupeDeviceSeen{kDeviceB, TroupeDeviceKind::iPhone, std::nullopt, Date{100}}));

    TroupeFold::apply(event(TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "attic"}, 200, kDeviceB),
                      s);
    EXPECT_EQ(s.devices.at(kDeviceB),
              (TroupeDeviceSeen{kDeviceB, TroupeDeviceKind::linuxDesktop, "attic", Date{200}}));

    // No name keeps the stored one; an older time keeps lastSeen but still sets the kind.
    TroupeFold::apply(event(TroupeDeviceSessionStart{TroupeDeviceKind::iPad, std::nullopt}, 150, kDeviceB),
                      s);
    EXPECT_EQ(s.devices.at(kDeviceB),
              (TroupeDeviceSeen{kDeviceB, TroupeDeviceKind::iPad, "attic", Date{200}}));
    EXPECT_EQ(s.lastEventTs, Date{200});

    TroupeFold::apply(event(TroupeDeviceSessionEnd{1}, 300, kDeviceB), s);
    EXPECT_EQ(s.devices.at(kDeviceB).lastSeen, Date{300});
    EXPECT_EQ(s.devices.at(kDeviceB).deviceKind, TroupeDeviceKind::iPad);
}

TEST_F(FoldTest, MilestonesSurprisesStatsAndSettings) {
    TroupeSnapshot s = TroupeFold::fold({
        event(TroupeMilestoneEarned{"first-show"}, 1),
        event(TroupeMilestoneEarned{"first-show"}, 2),
        event(TroupeMilestoneAcknowledged{"first-show", kDeviceB}, 3, kDeviceA),
        event(TroupeMilestoneAcknowledged{"never-earned", kDeviceA}, 4),
        event(TroupeSurpriseEventFired{"rain"}, 5),
        event(TroupeSurpriseEventFired{"rain"}, 6),
        event(TroupeCumulativeStatTick{TroupeCumulativeStat::keystrokes, 12}, 7),
        event(TroupeCumulativeStatTick{TroupeCumulativeStat::keystrokes, -3}, 8),
        event(TroupeSettingChanged{"theme", TroupeSettingValue::ofString("dusk")}, 9),
        event(TroupeSettingChanged{"Theme", TroupeSettingValue::ofString("noon")}, 10),
        event(TroupeSettingChanged{"volume", TroupeSettingValue::ofInt(3)}, 11),
        event(TroupeSettingChanged{"pinnedAct", TroupeSettingValue::ofString("cannon")}, 12),
        event(TroupeSettingChanged{"pinnedAct", TroupeSettingValue::null()}, 13),
        event(TroupeConversationStarted{flea1, uuidN(77)}, 14),
    });
    EXPECT_EQ(s.milestonesEarned, TroupeTextSet{"first-show"});
    EXPECT_EQ(s.milestoneAcksByDevice.at("first-show"), std::set<Uuid>{kDeviceB});
    EXPECT_TRUE(s.hasAcknowledgedMilestone("never-earned", kDeviceA));
    EXPECT_EQ(s.surpriseEventsFired.at("rain"), 2);
    EXPECT_EQ(s.stats, TroupeCumulativeStats{.keystrokes = 12});
    EXPECT_EQ(s.portableSettings.size(), 2u);
    EXPECT_EQ(s.portableSettings.at("theme"), TroupeSettingValue::ofString("dusk"));
    EXPECT_EQ(s.portableSettings.at("pinnedAct"), TroupeSettingValue::null());
    EXPECT_TRUE(s.conversationsByFlea.empty());
    EXPECT_EQ(s.eventCount, 14);
}

// Text keys are canonical-equivalence classes: composed and decomposed spellings of one
// key make one entry, under the spelling that arrived first, in the fold, the legacy
// import and the JSON decoder alike.
TEST_F(FoldTest, EquivalentSpellingsOfAKeyAreOneEntryUnderTheFirstSpelling) {
    const std::string composed = "caf\xC3\xA9";
    const std::string decomposed = "cafe\xCC\x81";
    // Between the two spellings by bytes, before both by NFC: a comparator that fell
    // back on bytes for mixed pairs would keep the two spellings apart around it.
    const std::string between = "cafg";
    using Keys = std::vector<std::string>;
    auto keys = [](const auto& container) {
        Keys out;
        for (const auto& entry : container) {
            if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, std::string>) {
                out.push_back(entry);
            } else {
                out.push_back(entry.first);
            }
        }
        return out;
    };

    TroupeSnapshot s = TroupeFold::fold({
        event(created(flea1, "A"), 1),
        event(TroupeXPEarned{flea1, 100, TroupeXPSource::practice}, 2),
        event(TroupeNodeUnlocked{flea1, "act", decomposed, 30}, 3),
        event(TroupeNodeUnlocked{flea1, "act", between, 30}, 4),
        event(TroupeNodeUnlocked{flea1, "act", composed, 30}, 5),
        event(TroupeSurpriseEventFired{composed}, 6),
        event(TroupeSurpriseEventFired{decomposed}, 7),
        event(TroupeMilestoneEarned{decomposed}, 8),
        event(TroupeMilestoneEarned{composed}, 9),
        event(TroupeMilestoneAcknowledged{decomposed, kDeviceA}, 10),
        event(TroupeMilestoneAcknowledged{composed, kDeviceB}, 11),
    });
    EXPECT_EQ(s.fleas.at(flea1).xp, 40);  // two nodes charged, not three
    EXPECT_EQ(keys(s.unlocks(flea1)), (Keys{between, decomposed}));
    EXPECT_EQ(keys(s.surpriseEventsFired), Keys{composed});
    EXPECT_EQ(s.surpriseEventsFired.at(decomposed), 2);
    EXPECT_EQ(keys(s.milestonesEarned), Keys{decomposed});
    EXPECT_EQ(keys(s.milestoneAcksByDevice), Keys{decomposed});
    EXPECT_EQ(s.milestoneAcksByDevice.at(composed), (std::set<Uuid>{kDeviceA, kDeviceB}));
    EXPECT_TRUE(s.hasAcknowledgedMilestone(composed, kDeviceA));

    // A pre-log state adds to the same entries.
    TroupeFold::apply(
        event(
            TroupeLegacyStateSnapshot{
                "macOS",
                "1.0",
                {TroupeLegacyFleaSnapshot{
                    flea2, "B", 4, "beret", "juggling", Date{1000}, {"calm"}, 0, {composed, decomposed}}},
                std::nullopt,
                {composed},
                {decomposed},
                {}},
            12),
        s);
    EXPECT_EQ(keys(s.fleas.at(flea2).unlockedNodeIds), Keys{composed});
    EXPECT_EQ(keys(s.milestonesEarned), Keys{decomposed});
    EXPECT_EQ(keys(s.surpriseEventsFired), Keys{composed});
    EXPECT_EQ(s.surpriseEventsFired.at(composed), 3);

    // The decoder: a set keeps the first spelling; a dictionary the first spelling with
    // the later value, as for a repeated key. Settings only reach the snapshot under
    // their fixed ASCII names through events, so they are checked here.
    OrderedJson json = s.toJson();
    json["fleas"][1]["unlockedNodeIds"] = OrderedJson::array({composed, between, decomposed});
    json["milestonesEarned"] = OrderedJson::array({composed, decomposed});
    json["milestoneAcksByDevice"] = OrderedJson::object();
    json["milestoneAcksByDevice"][composed] = OrderedJson::array({kDeviceA.uuidString()});
    json["milestoneAcksByDevice"][decomposed] = OrderedJson::array({kDeviceB.uuidString()});
    json["surpriseEventsFired"] = OrderedJson::object();
    json["surpriseEventsFired"][decomposed] = 1;
    json["surpriseEventsFired"][composed] = 5;
    json["portableSettings"] = OrderedJson::object();
    json["portableSettings"][composed] = true;
    json["portableSettings"]["theme"] = "dusk";
    json["portableSettings"][decomposed] = false;
    TroupeSnapshot decoded = TroupeSnapshot::fromJson(JsonReader(json));
    EXPECT_EQ(keys(decoded.fleas.at(flea1).unlockedNodeIds), (Keys{between, composed}));
    EXPECT_EQ(keys(decoded.milestonesEarned), Keys{composed});
    EXPECT_EQ(keys(decoded.milestoneAcksByDevice), Keys{composed});
    EXPECT_EQ(decoded.milestoneAcksByDevice.at(decomposed), std::set<Uuid>{kDeviceB});
    EXPECT_EQ(keys(decoded.surpriseEventsFired), Keys{decomposed});
    EXPECT_EQ(decoded.surpriseEventsFired.at(composed), 5);
    EXPECT_EQ(keys(decoded.portableSettings), (Keys{composed, "theme"}));
    EXPECT_EQ(decoded.portableSettings.at(decomposed), TroupeSettingValue::ofBool(false));
}

TEST_F(FoldTest, SchemaGateAndDuplicateIds) {
    const Uuid id = uuidN(0x50, 0xEE);
    TroupeSnapshot s = TroupeFold::fold({
        makeEvent(created(flea1, "Future"), 10, id, kDeviceA, 2),
        makeEvent(created(flea1, "Now"), 20, id, kDeviceA, 1),
        makeEvent(created(flea1, "Repeat"), 30, id, kDeviceA, 1),
        makeEvent(created(flea2, "Old schema"), 40, uuidN(0x51, 0xEE), kDeviceA, 0),
        makeEvent(TroupeMilestoneEarned{"x"}, 50, uuidN(0x52, 0xEE), kDeviceA, 3),
    });
    EXPECT_EQ(s.fleas.at(flea1).name, "Now");
    EXPECT_TRUE(s.fleas.contains(flea2));
    EXPECT_TRUE(s.milestonesEarned.empty());
    EXPECT_EQ(s.eventCount, 2);
    // A skipped event still advances nothing.
    EXPECT_EQ(s.lastEventTs, Date{40});
}

TEST_F(FoldTest, EqualTimesApplyInIdOrderWhateverTheInputOrder) {
    TroupeEvent low = makeEvent(TroupeFleaRenamed{flea1, "low"}, 10, uuidN(1, 0xEE));
    TroupeEvent high = makeEvent(TroupeFleaRenamed{flea1, "high"}, 10, uuidN(2, 0xEE));
    TroupeEvent birth = makeEvent(created(flea1, "A"), 5, uuidN(9, 0xEE));
    EXPECT_EQ(TroupeFold::fold({high, low, birth}).fleas.at(flea1).name, "high");
    EXPECT_EQ(TroupeFold::fold({birth, low, high}).fleas.at(flea1).name, "high");

    auto order = TroupeFold::sorted({high, low, birth});
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], birth);
    EXPECT_EQ(order[1], low);
    EXPECT_EQ(order[2], high);

    // Same ts and id: input order is kept, and only the first is applied.
    TroupeEvent twinA = makeEvent(TroupeFleaRenamed{flea1, "twin A"}, 10, uuidN(3, 0xEE));
    TroupeEvent twinB = makeEvent(TroupeFleaRenamed{flea1, "twin B"}, 10, uuidN(3, 0xEE));
    auto twins = TroupeFold::sorted({twinB, twinA});
    EXPECT_EQ(twins[0], twinB);
    EXPECT_EQ(TroupeFold::fold({birth, twinB, twinA}).fleas.at(flea1).name, "twin B");
}

TEST_F(FoldTest, NaNTimesSortLastInsteadOfBreakingTheOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<TroupeEvent> events = {
        event(created(flea1, "A"), 10),
        event(TroupeFleaRenamed{flea1, "late"}, nan),
        event(TroupeFleaRenamed{flea1, "early"}, 20),
        event(TroupeFleaMessageFromUser{flea1, uuidN(1, 0x3E), "x", std::nullopt}, nan),
        event(TroupeFleaMessageFromUser{flea1, uuidN(2, 0x3E), "y", std::nullopt}, 5),
    };
    TroupeSnapshot forward = TroupeFold::fold(events);
    std::reverse(events.begin(), events.end());
    TroupeSnapshot backward = TroupeFold::fold(events);
    EXPECT_EQ(forward.fleas.at(flea1).name, "late");
    EXPECT_EQ(backward.fleas.at(flea1).name, "late");
    EXPECT_EQ(forward.conversationsByFlea.at(flea1)[0].body, "y");
    EXPECT_EQ(backward.conversationsByFlea.at(flea1)[0].body, "y");
}

TEST_F(FoldTest, CheckpointReplacesTheSnapshotAndLaterEventsApplyOnTop) {
    TroupeSnapshot blob;
    blob.fleas[flea2] = TroupeFlea{.id = flea2, .name = "From blob", .createdAt = Date{1}};
    blob.eventCount = 1000;
    blob.lastEventTs = Date{5};
    TroupeCheckpointPayload checkpoint{std::make_shared<const TroupeSnapshot>(blob), Date{5}};

    std::vector<TroupeEvent> events = {
        event(created(flea1, "Lost"), 10),
        event(checkpoint, 20),
        event(TroupeXPEarned{flea2, 3, TroupeXPSource::practice}, 30),
    };
    TroupeSnapshot s = TroupeFold::fold(events);
    EXPECT_FALSE(s.fleas.contains(flea1));
    EXPECT_EQ(s.fleas.at(flea2).xp, 3);
    EXPECT_EQ(s.eventCount, 3);
    EXPECT_EQ(s.lastEventTs, Date{30});

    TroupeSnapshot applied;
    TroupeFold::apply(events[1], applied);
    EXPECT_EQ(applied, blob);  // the blob's own lastEventTs and eventCount included
}

TEST_F(FoldTest, CheckpointBlobListsOutOfOrderSortOnlyOnceTouched) {
    TroupeSnapshot blob;
    TroupeMessageEntry late{uuidN(1, 0x3E), Speaker::user, "late", Date{90}};
    TroupeMessageEntry early{uuidN(2, 0x3E), Speaker::user, "early", Date{10}};
    blob.conversationsByFlea[flea1] = {late, early};
    blob.conversationsByFlea[flea2] = {late, early};
    TroupeSnapshot s = TroupeFold::fold({
        event(TroupeCheckpointPayload{std::make_shared<const TroupeSnapshot>(blob), Date{0}}, 1),
        event(TroupeFleaMessageFromUser{flea1, uuidN(3, 0x3E), "mid", std::nullopt}, 50),
    });
    const auto& touched = s.conversationsByFlea.at(flea1);
    ASSERT_EQ(touched.size(), 3u);
    EXPECT_EQ(touched[0].body, "early");
    EXPECT_EQ(touched[1].body, "mid");
    EXPECT_EQ(touched[2].body, "late");
    EXPECT_EQ(s.conversationsByFlea.at(flea2)[0].body, "late");  // untouched: left as stored
}

}  // namespace
}  // namespace tw
