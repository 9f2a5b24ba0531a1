// The fold must give one snapshot for one set of events, whatever their order and
// repeats, and its indexed appends must match applying events one at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <variant>

#include "troupe/snapshot/troupe_fold.h"
#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::makeEvent;
using testing::seededUuid;
using testing::uuidN;

class RandomLog {
   public:
    explicit RandomLog(std::uint64_t seed) : rng_(seed) {}

    std::vector<TroupeEvent> events(int count) {
        std::vector<TroupeEvent> out;
        for (int i = 0; i < count; ++i) {
            // Few distinct times, so that ties between ids are common.
            double ts = static_cast<double>(pick(12)) * 60;
            Uuid device = pick(2) ? testing::kDeviceA : testing::kDeviceB;
            out.push_back(makeEvent(payload(), ts, seededUuid(rng_), device, pick(10) == 0 ? 2 : 1));
        }
        return out;
    }

   private:
    std::uint64_t pick(std::uint64_t n) { return rng_() % n; }
    Uuid flea() { return uuidN(pick(4) + 1); }
    Uuid message() { return uuidN(pick(30), 0x3E); }
    Uuid letter() { return uuidN(pick(8), 0x1E); }
    std::string word() { return std::string(1, static_cast<char>('a' + pick(5))); }

    TroupeSnapshot blob() {
        TroupeSnapshot s;
        s.fleas[uuidN(3)] = TroupeFlea{.id = uuidN(3), .name = "blob", .createdAt = Date{1}, .xp = 5};
        // Deliberately out of the fold's order, with a letter id held twice by one flea.
        s.conversationsByFlea[uuidN(1)] = {TroupeMessageEntry{uuidN(40, 0x3E), {}, "z", Date{600}},
                                           TroupeMessageEntry{uuidN(41, 0x3E), {}, "y", Date{60}}};
        s.lettersByFlea[uuidN(2)] = {
            TroupeLetterEntry{
                .id = uuidN(3, 0x1E), .fleaId = uuidN(2), .body = "late", .writtenAt = Date{500}},
            TroupeLetterEntry{
                .id = uuidN(3, 0x1E), .fleaId = uuidN(2), .body = "early", .writtenAt = Date{100}}};
        s.anniversariesSeen = {TroupeAnniversaryEntry{uuidN(2), TroupeAnniversaryKind::twoYear, Date{900}},
                               TroupeAnniversaryEntry{uuidN(1), TroupeAnniversaryKind::twoYear, Date{0}}};
        s.surpriseEventsFired["rain"] = 7;
        return s;
    }

    TroupePayload payload() {
        switch (pick(20)) {
            case 0:
                return TroupeFleaCreated{flea(), word(), 1, "hat", "act", Date{double(pick(3))}, {word()}};
            case 1:
                return TroupeFleaRenamed{flea(), word()};
            case 2:
                return TroupeFleaIdOnly{flea()};
            case 3:
                return TroupeXPEarned{pick(2) ? std::optional<Uuid>(flea()) : std::nullopt,
                                      static_cast<std::int64_t>(pick(40)) - 5, TroupeXPSource::click};
            case 4:
                return TroupeNodeUnlocked{flea(), "act", word(), static_cast<std::int64_t>(pick(30)) - 5};
            case 5:
                return TroupeActAssigned{flea(), word()};
            case 6:
                return TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, double(pick(5))};
            case 7:
                return TroupeMilestoneAcknowledged{word(), pick(2) ? testing::kDeviceA : testing::kDeviceB};
            case 8:
                return TroupeSurpriseEventFired{word()};
            case 9:
                return TroupeSettingChanged{pick(2) ? "theme" : "cursorTrail",
                                            TroupeSettingValue::ofInt(pick(9))};
            case 10:
                return TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop,
                                                pick(2) ? std::optional<std::string>(word()) : std::nullopt};
            case 11:
                return TroupeDeviceSessionEnd{1};
            case 12:
                return TroupeFleaMessageFromUser{flea(), message(), word(), std::nullopt};
            case 13:
                return TroupeFleaMessageFromFlea{
                    flea(), message(), word(), std::nullopt, TroupeMessageSource::manual, std::nullopt};
            case 14:
                return TroupeLetterWritten{flea(), letter(), word(), Date{0}, Date{1}, std::nullopt};
            case 15:
                return TroupeLetterId{letter()};
            case 16:
                return TroupeLetterAcknowledged{letter(), std::nullopt};
            case 17:
                return TroupeAnniversaryTriggered{
                    flea(), pick(2) ? TroupeAnniversaryKind::oneYear : TroupeAnniversaryKind::twoYear,
                    Date{0}};
            case 18: {
                TroupeLegacyStateSnapshot legacy;
                legacy.fleas = {
                    TroupeLegacyFleaSnapshot{flea(), "legacy", 0, "h", "a", Date{0}, {}, 40, {"x", "x"}}};
                legacy.stats = TroupeLegacyStatsBlob{.clicks = static_cast<std::int64_t>(pick(20))};
                legacy.surpriseEventsFired = {word()};
                legacy.portableSettings = {{"theme", TroupeSettingValue::ofBool(true)}};
                return legacy;
            }
            default:
                if (pick(4) == 0)
                    return TroupeCheckpointPayload{std::make_shared<const TroupeSnapshot>(blob()), {}};
                return TroupeMilestoneEarned{word()};
        }
    }

    std::mt19937_64 rng_;
};

// The rules for conversations, letters and anniversaries as literally stated: search,
// append, then stable sort, on every event. False for the kinds that hold no list.
bool applyListRuleLiterally(const TroupeEvent& event, TroupeSnapshot& s) {
    const auto& body = event.payload.value;
    auto touchLastEventTs = [&] {
        if (!s.lastEventTs || event.ts > *s.lastEventTs) s.lastEventTs = event.ts;
    };
    auto append = [&](const Uuid& fleaId, TroupeMessageEntry entry) {
        auto list = s.conversationsByFlea[fleaId];
        if (std::any_of(list.begin(), list.end(), [&](const auto& m) { return m.id == entry.id; })) return;
        list.push_back(std::move(entry));
        std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
            return a.ts < b.ts || (a.ts == b.ts && a.id.uuidString() < b.id.uuidString());
        });
        s.conversationsByFlea[fleaId] = std::move(list);
    };
    auto findLetter = [&](const Uuid& letterId) -> TroupeLetterEntry* {
        for (auto& [fleaId, letters] : s.lettersByFlea) {
            for (auto& letter : letters) {
                if (letter.id == letterId) return &letter;
            }
        }
        return nullptr;
    };
    if (const auto* m = std::get_if<TroupeFleaMessageFromUser>(&body)) {
        touchLastEventTs();
        append(m->fleaId, {m->messageId, TroupeMessageEntry::Speaker::user, m->body, event.ts, std::nullopt,
                           m->conversationId});
    } else if (const auto* f = std::get_if<TroupeFleaMessageFromFlea>(&body)) {
        touchLastEventTs();
        append(f->fleaId, {f->messageId, TroupeMessageEntry::Speaker::flea, f->body, event.ts, f->modelTier,
                           f->conversationId});
    } else if (const auto* w = std::get_if<TroupeLetterWritten>(&body)) {
        touchLastEventTs();
        auto found = s.lettersByFlea.find(w->fleaId);
        auto list = found == s.lettersByFlea.end() ? std::vector<TroupeLetterEntry>{} : found->second;
        if (std::any_of(list.begin(), list.end(), [&](const auto& l) { return l.id == w->letterId; }))
            return true;
        list.push_back({w->letterId,
                        w->fleaId,
                        w->body,
                        w->periodStart,
                        w->periodEnd,
                        event.ts,
                        w->anniversaryKind,
                        {},
                        std::nullopt});
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.writtenAt < b.writtenAt; });
        s.lettersByFlea[w->fleaId] = std::move(list);
    } else if (const auto* r = std::get_if<TroupeLetterId>(&body)) {
        touchLastEventTs();
        if (auto* letter = findLetter(r->letterId)) letter->readBy.insert(event.deviceId);
    } else if (const auto* a = std::get_if<TroupeLetterAcknowledged>(&body)) {
        touchLastEventTs();
        auto* letter = findLetter(a->letterId);
        if (letter && !letter->acknowledgedAt) letter->acknowledgedAt = event.ts;
    } else if (const auto* t = std::get_if<TroupeAnniversaryTriggered>(&body)) {
        touchLastEventTs();
        auto& seen = s.anniversariesSeen;
        if (std::any_of(seen.begin(), seen.end(), [&](const auto& e) {
                return e.fleaId == t->fleaId && e.kind == t->anniversaryKind;
            })) {
            return true;
        }
        seen.push_back({t->fleaId, t->anniversaryKind, event.ts});
        std::stable_sort(seen.begin(), seen.end(), [](const auto& x, const auto& y) {
            return x.firstSeenAt < y.firstSeenAt ||
                   (x.firstSeenAt == y.firstSeenAt && x.fleaId.uuidString() < y.fleaId.uuidString());
        });
    } else {
        return false;
    }
    return true;
}

// Event order, schema gate and id set by hand, then one event at a time: through
// apply(), or with the list rules spelled out as above.
TroupeSnapshot foldOneByOne(const std::vector<TroupeEvent>& events, bool literalLists = false) {
    TroupeSnapshot s;
    std::set<Uuid> seen;
    for (const auto& event : TroupeFold::sorted(events)) {
        if (event.schemaVersion > troupeSchemaVersion || !seen.insert(event.id).second) continue;
        if (!literalLists || !applyListRuleLiterally(event, s)) TroupeFold::apply(event, s);
    }
    s.eventCount = static_cast<std::int64_t>(seen.size());
    return s;
}

TEST(TroupeFoldOrderTest, ShuffledAndRepeatedLogsFoldToEqualSnapshots) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        std::vector<TroupeEvent> events = RandomLog(seed).events(150);
        TroupeSnapshot expected = TroupeFold::fold(events);

        std::mt19937_64 rng(seed * 7919);
        std::vector<TroupeEvent> noisy = events;
        for (int i = 0; i < 40; ++i) noisy.push_back(events[rng() % events.size()]);
        std::shuffle(noisy.begin(), noisy.end(), rng);
        TroupeSnapshot folded = TroupeFold::fold(noisy);

        ASSERT_EQ(folded, expected) << "seed " << seed;
        ASSERT_EQ(std::hash<TroupeSnapshot>{}(folded), std::hash<TroupeSnapshot>{}(expected));
        ASSERT_EQ(folded, foldOneByOne(noisy)) << "seed " << seed;
        ASSERT_EQ(folded, foldOneByOne(noisy, true)) << "seed " << seed;
        ASSERT_EQ(TroupeSnapshot::fromJson(JsonReader(folded.toJson())), folded) << "seed " << seed;
    }
}

// The integer keys that the fold and the live fold sort by order as precedes() does: -0 as
// 0, infinities at the ends, NaN after them, ids byte by byte on equal times.
TEST(TroupeFoldOrderTest, OrderKeysOrderAsPrecedes) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<TroupeEvent> events;
    for (const double ts : {-inf, -1e300, -1.0, -0.0, 0.0, 5e-324, 1.0, 1e300, inf, std::nan("")}) {
        for (const Uuid& id : {uuidN(1), uuidN(2), uuidN(1, 0xF0), uuidN(0x100)})
            events.push_back(makeEvent(TroupeMilestoneEarned{"m"}, ts, id));
    }
    for (const TroupeEvent& a : events) {
        for (const TroupeEvent& b : events) {
            ASSERT_EQ(TroupeOrderKey::timeThenIdBefore(TroupeOrderKey::of(a, 0), TroupeOrderKey::of(b, 0)),
                      TroupeFold::precedes(a, b))
                << a.ts.seconds << " " << a.id.uuidString() << " / " << b.ts.seconds << " "
                << b.id.uuidString();
        }
    }
}

TEST(TroupeFoldOrderTest, LongConversationOfOneFleaMatchesOneByOneOrder) {
    // Many messages at a handful of times and in reverse id order: every append lands
    // in the middle of the list under a one-at-a-time sort.
    std::mt19937_64 rng(99);
    std::vector<TroupeEvent> events;
    for (std::uint64_t i = 0; i < 400; ++i) {
        Uuid messageId = uuidN(400 - i, 0x3E);
        TroupePayload body = TroupeFleaMessageFromUser{uuidN(1), messageId, "m", std::nullopt};
        events.push_back(makeEvent(std::move(body), double(rng() % 4), seededUuid(rng)));
        TroupePayload letter =
            TroupeLetterWritten{uuidN(1), uuidN(i, 0x1E), "l", Date{0}, Date{0}, std::nullopt};
        events.push_back(makeEvent(std::move(letter), double(rng() % 4), seededUuid(rng)));
    }
    TroupeSnapshot folded = TroupeFold::fold(events);
    EXPECT_EQ(folded, foldOneByOne(events));
    EXPECT_EQ(folded, foldOneByOne(events, true));
    EXPECT_EQ(folded.conversationsByFlea.at(uuidN(1)).size(), 400u);
    EXPECT_TRUE(std::is_sorted(folded.lettersByFlea.at(uuidN(1)).begin(),
                               folded.lettersByFlea.at(uuidN(1)).end(),
                               [](const auto& a, const auto& b) { return a.writtenAt < b.writtenAt; }));
}

}  // namespace
}  // namespace tw
