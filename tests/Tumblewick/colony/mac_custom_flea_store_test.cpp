#include "Tumblewick/colony/mac_custom_flea_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <thread>

#include "platform/settings_keys.h"
#include "tests/troupe/store/troupe_store_harness.h"

namespace tw {
namespace {

using testing::CapturedLog;
using testing::RecordingSink;
using testing::TroupeHarness;

const Uuid kPip = *Uuid::parse("00000000-0000-4000-8000-000000000001");
const Uuid kZing = *Uuid::parse("00000000-0000-4000-8000-000000000002");
const Uuid kStranger = *Uuid::parse("00000000-0000-4000-8000-0000000000ff");

MacCustomFlea flea(const Uuid& id, std::int64_t xp, std::vector<std::string> nodes = {}) {
    return MacCustomFlea{id, "Flea", 1, "crown", "trapeze", Date{700000000.25}, xp, std::move(nodes)};
}

// The store under test, appending to a troupe store of its own.
struct ColonyHarness {
    TroupeHarness troupe;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::unique_ptr<TroupeStore> troupeStore;
    std::unique_ptr<MacCustomFleaStore> store;

    explicit ColonyHarness(bool dualWrite, std::vector<MacCustomFlea> fleas = {}) {
        if (dualWrite) troupe.defaults.setBool(settings::troupeDualWrite.key, true);
        troupeStore = troupe.open();
        troupeStore->addSink(sink);
        store = std::make_unique<MacCustomFleaStore>(troupe.defaults, troupe.clock, troupe.mainQueue,
                                                     troupeStore.get());
        store->setFleas(std::move(fleas));
    }

    std::vector<MacCustomFlea> saved() const {
        auto text = troupe.defaults.dataStringForKey(MacCustomFleaStore::key);
        if (!text) return {{}};  // a marker list: nothing saved
        return decodeMacCustomFleas(JsonReader(parseJson(*text)));
    }
    std::vector<TroupePayload> emitted() const {
        std::vector<TroupePayload> payloads;
        for (const auto& event : sink->events) payloads.push_back(event.payload);
        return payloads;
    }
};

TEST(MacCustomFleaStore, OperationsChangeSaveAndEmit) {
    using Op = std::function<void(MacCustomFleaStore&)>;
    struct Case {
        const char* name;
        bool dualWrite;
        std::vector<MacCustomFlea> before;
        Op op;
        std::vector<MacCustomFlea> after;
        bool saved;
        std::vector<TroupePayload> events;
        int changes;
    };
    const auto created = TroupeFleaCreated{kPip, "Flea", 1, "crown", "trapeze", Date{700000000.0}, {}};
    const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const std::vector<Case> cases = {
        {"add twice keeps both",
         true,
         {flea(kPip, 0)},
         [](auto& s) { s.add(flea(kPip, 0)); },
         {flea(kPip, 0), flea(kPip, 0)},
         true,
         {created},
         1},
        {"remove drops every entry with the id",
         true,
         {flea(kPip, 1), flea(kZing, 2), flea(kPip, 3)},
         [](auto& s) { s.remove(flea(kPip, 0)); },
         {flea(kZing, 2)},
         true,
         {TroupeFleaIdOnly{kPip}},
         1},
        {"remove of a stranger still saves and emits",
         true,
         {flea(kZing, 2)},
         [](auto& s) { s.remove(flea(kStranger, 0)); },
         {flea(kZing, 2)},
         true,
         {TroupeFleaIdOnly{kStranger}},
         1},
        {"addXP to one flea",
         true,
         {flea(kPip, 1), flea(kZing, 2)},
         [](auto& s) { s.addXP(10, kZing); },
         {flea(kPip, 1), flea(kZing, 12)},
         true,
         {TroupeXPEarned{kZing, 10, TroupeXPSource::practice}},
         1},
        {"arguments may be elements of the list itself",
         true,
         {flea(kPip, 1), flea(kZing, 2), flea(kPip, 3)},
         [](auto& s) {
             s.addXP(10, s.fleas()[1].id);
             s.remove(s.fleas()[0]);
         },
         {flea(kZing, 12)},
         true,
         {TroupeXPEarned{kZing, 10, TroupeXPSource::practice}, TroupeFleaIdOnly{kPip}},
         2},
        {"addXP to a stranger does nothing",
         true,
         {flea(kPip, 1)},
         [](auto& s) { s.addXP(5, kStranger); },
         {flea(kPip, 1)},
         false,
         {},
         0},
        {"addXP of 0 saves without an event",
         true,
         {flea(kPip, 1)},
         [](auto& s) { s.addXP(0, kPip); },
         {flea(kPip, 1)},
         true,
         {},
         1},
        {"addXP of -3 lowers XP without an event",
         true,
         {flea(kPip, 1)},
         [](auto& s) { s.addXP(-3, kPip); },
         {flea(kPip, -2)},
         true,
         {},
         1},
        {"addXP saturates at the top",
         true,
         {flea(kPip, kMax - 1)},
         [](auto& s) { s.addXP(10, kPip); },
         {flea(kPip, kMax)},
         true,
         {TroupeXPEarned{kPip, 10, TroupeXPSource::practice}},
         1},
        {"addXPToAll changes each flea once",
         true,
         {flea(kPip, 1), flea(kZing, 2)},
         [](auto& s) { s.addXPToAll(2); },
         {flea(kPip, 3), flea(kZing, 4)},
         true,
         {TroupeXPEarned{std::nullopt, 2, TroupeXPSource::click}},
         2},
        {"addXPToAll with no fleas saves [] and emits",
         true,
         {},
         [](auto& s) { s.addXPToAll(1); },
         {},
         true,
         {TroupeXPEarned{std::nullopt, 1, TroupeXPSource::click}},
         0},
        {"dual writing off emits nothing",
         false,
         {flea(kPip, 1)},
         [](auto& s) {
             s.add(flea(kZing, 0));
             s.addXPToAll(1);
             s.remove(flea(kPip, 0));
         },
         {flea(kZing, 1)},
         true,
         {},
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ColonyHarness h(c.dualWrite, c.before);
        h.troupe.defaults.remove(MacCustomFleaStore::key);
        int changes = 0;
        h.store->observeFleas([&](const std::vector<MacCustomFlea>&) { ++changes; });
        c.op(*h.store);
        EXPECT_EQ(h.store->fleas(), c.after);
        if (c.saved)
            EXPECT_EQ(h.saved(), c.after);
        else
            EXPECT_FALSE(h.troupe.defaults.hasKey(MacCustomFleaStore::key));
        // The troupe log keeps whole seconds.
        EXPECT_EQ(h.emitted(), c.events);
        for (const auto& event : h.sink->events) EXPECT_EQ(event.ts, h.troupe.clock.now());
        EXPECT_EQ(changes, c.changes);
    }
}

TEST(MacCustomFleaStore, UnlockFollowsCostPrerequisitesAndBranches) {
    auto node = [](std::string id, std::int64_t cost, std::optional<std::string> branch = std::nullopt,
                   std::vector<std::string> prerequisites = {}) {
        ProgressionSpec::TechNode n;
        n.id = std::move(id);
        n.cost = cost;
        n.branch = std::move(branch);
        n.prerequisites = std::move(prerequisites);
        return n;
    };
    ProgressionSpec spec;
    spec.acts["trapeze"].techTree = {node("base", 10),
                                     node("twice", 5),
                                     node("twice", 99),
                                     node("a1", 1, "alpha"),
                                     node("a2", 1, "alpha"),
                                     node("b1", 1, "beta"),
                                     node("needs", 1, {}, {"base"}),
                                     node("ghost", 1, {}, {"gone"}),
                                     node("gift", -5)};
    struct Case {
        const char* name;
        MacCustomFlea flea;
        std::string nodeId;
        bool unlocked;
        std::int64_t xpAfter;
    };
    MacCustomFlea otherAct = flea(kPip, 50);
    otherAct.discoveredAct = "cannon";
    const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const std::vector<Case> cases = {
        {"cost equal to XP is enough", flea(kPip, 10), "base", true, 0},
        {"too little XP", flea(kPip, 9), "base", false, 9},
        {"already unlocked", flea(kPip, 50, {"base"}), "base", false, 50},
        {"a node listed twice costs its first entry", flea(kPip, 50), "twice", true, 45},
        {"unknown node", flea(kPip, 50), "nope", false, 50},
        {"act missing from the document", otherAct, "base", false, 50},
        {"missing prerequisite", flea(kPip, 50), "needs", false, 50},
        {"met prerequisite", flea(kPip, 50, {"base"}), "needs", true, 49},
        {"other branch refused", flea(kPip, 50, {"b1"}), "a1", false, 50},
        {"same branch allowed", flea(kPip, 50, {"a1"}), "a2", true, 49},
        {"no branch yet: either", flea(kPip, 50), "b1", true, 49},
        {"branchless node while committed", flea(kPip, 50, {"a1"}), "base", true, 40},
        {"prerequisite outside the tree held from before", flea(kPip, 50, {"gone"}), "ghost", true, 49},
        {"prerequisite outside the tree never held", flea(kPip, 50), "ghost", false, 50},
        {"negative cost saturates", flea(kPip, kMax), "gift", true, kMax},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ColonyHarness h(true, {c.flea});
        EXPECT_EQ(h.store->unlock(c.nodeId, kPip, spec), c.unlocked);
        EXPECT_EQ(h.store->fleas()[0].xp, c.xpAfter);
        const auto& nodes = h.store->fleas()[0].unlockedNodeIDs;
        EXPECT_EQ(!nodes.empty() && nodes.back() == c.nodeId && c.flea.unlockedNodeIDs.size() < nodes.size(),
                  c.unlocked);
        if (c.unlocked) {
            const auto cost =
                std::find_if(spec.acts["trapeze"].techTree.begin(), spec.acts["trapeze"].techTree.end(),
                             [&](const auto& n) { return n.id == c.nodeId; })
                    ->cost;
            const std::vector<TroupePayload> expected{TroupeNodeUnlocked{kPip, "trapeze", c.nodeId, cost}};
            EXPECT_EQ(h.emitted(), expected);
        } else {
            EXPECT_TRUE(h.emitted().empty());
        }
    }
    EXPECT_EQ(MacCustomFleaStore::committedBranch(flea(kPip, 0, {"b1", "a1"}), spec.acts["trapeze"].techTree),
              "alpha");  // tree order, not unlock order
}

// Whatever the settings file holds under the key, the first save moves it aside
// verbatim, past the backups already there, and says so.
TEST(MacCustomFleaStore, UnreadableSavedFleasAreKeptBeforeTheFirstSave) {
    struct Case {
        const char* name;
        std::string entry;  // the raw settings entry under the key
    };
    const std::vector<Case> cases = {
        {"data that is no flea list", R"({"type":"data","value":"W3siaWQiOiJub3QgYSB1dWlkIn1d"})"},
        {"a string instead of data", R"({"type":"string","value":"[]"})"},
        {"base64 broken by a line break", R"({"type":"data","value":"W3siaWQi\nOiJ4In1d"})"},
        {"base64 without its padding", R"({"type":"data","value":"W10"})"},
        {"base64 with a stray character", R"({"type":"data","value":"W1*="})"},
    };
    const std::string older = R"({"type":"string","value":"an older backup"})";
    const std::string olderUnreadable = R"({"type":"data","value":"!"})";
    const std::string key = MacCustomFleaStore::key;
    const std::string backup = MacCustomFleaStore::unreadableKey;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TroupeHarness h;
        const auto file = h.xdg.root() / "standard.json";
        std::ofstream(file) << "{\"" << key << "\":" << c.entry << ",\"" << backup << "\":" << older << ",\""
                            << backup << "_2\":" << olderUnreadable << "}";
        CapturedLog log;
        {
            JsonFileDefaults defaults(file, 3600);
            MacCustomFleaStore store(defaults, h.clock, h.mainQueue);
            EXPECT_TRUE(store.fleas().empty());
            store.add(flea(kPip, 0));
            EXPECT_TRUE(defaults.flush());
        }
        const OrderedJson saved = parseJson(testing::readFile(file));
        EXPECT_EQ(saved.value(backup + "_3", OrderedJson()), parseJson(c.entry));
        EXPECT_EQ(saved.value(backup, OrderedJson()), parseJson(older));
        EXPECT_EQ(saved.value(backup + "_2", OrderedJson()), parseJson(olderUnreadable));
        JsonFileDefaults reopened(file);
        EXPECT_EQ(MacCustomFleaStore(reopened, h.clock, h.mainQueue).fleas(),
                  std::vector<MacCustomFlea>{flea(kPip, 0)});  // with its fractional creation time
        EXPECT_EQ(log.count("starting with none"), 1);
        EXPECT_EQ(log.count("kept under \"" + backup + "_3\""), 1);
    }
}

TEST(MacCustomFleaStore, OffTheMainThreadTheEventIsAppendedLaterOnIt) {
    ColonyHarness h(true, {flea(kPip, 0)});
    std::thread([&] { h.store->addXPToAll(1); }).join();
    EXPECT_TRUE(h.sink->events.empty());
    h.troupe.clock.advance(30);
    h.troupe.mainQueue.runPending();
    ASSERT_EQ(h.sink->events.size(), 1u);
    EXPECT_EQ(h.sink->events[0].ts, h.troupe.clock.now());
    EXPECT_EQ(h.store->fleas()[0].xp, 1);
}

TEST(MacCustomFleaStore, ObserversSeeTheUpcomingListBeforeItTakesEffect) {
    ColonyHarness h(false, {flea(kPip, 0), flea(kZing, 0)});
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;  // (current, upcoming) XP of the first flea
    const auto token = h.store->observeFleas([&](const std::vector<MacCustomFlea>& upcoming) {
        seen.emplace_back(h.store->fleas()[0].xp, upcoming[0].xp);
    });
    h.store->addXPToAll(2);
    EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 2}, {2, 2}}));
    h.store->removeObserver(token);
    h.store->addXPToAll(2);
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace tw
