#include "Tumblewick/colony/progression_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "Tumblewick/colony/mac_flea_levels.h"
#include "platform/log.h"

namespace tw {
namespace {

class ProgressionLoaderTest : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
        dir = std::filesystem::path(std::getenv("TW_TEST_OUTPUT_DIR") ? std::getenv("TW_TEST_OUTPUT_DIR")
                                                                      : "/tmp") /
              "progression_loader";
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        MacFleaLevels::thresholds() = MacFleaLevels::builtInThresholds();
    }
    std::filesystem::path write(const std::string& name, const std::string& text) {
        const auto path = dir / name;
        std::ofstream(path) << text;
        return path;
    }

    std::filesystem::path dir;
    std::vector<std::string> lines;
};

TEST_F(ProgressionLoaderTest, MissingCandidatesGiveTheEmptySpecAndKeepTheBuiltInTable) {
    EXPECT_EQ(loadProgressionSpec({dir / "nope.json", dir / "also-nope.json"}), ProgressionSpec());
    EXPECT_EQ(MacFleaLevels::thresholds().size(), 12u);
    // An unreadable first candidate (a directory) falls through to the next readable one.
    const auto good = write("good.json", R"({"propKinds": ["net"]})");
    EXPECT_EQ(loadProgressionSpec({dir, good}).propKinds, std::vector<std::string>{"net"});
}

TEST_F(ProgressionLoaderTest, AnUnparsableFirstDocumentStopsTheSearch) {
    const auto broken = write("broken.json", "{ not json");
    const auto good = write("good2.json", R"({"propKinds": ["net"]})");
    EXPECT_EQ(loadProgressionSpec({broken, good}), ProgressionSpec());
    const auto array = write("array.json", "[1, 2]");
    EXPECT_EQ(loadProgressionSpec({array, good}), ProgressionSpec());
}

TEST_F(ProgressionLoaderTest, ADocumentOverTheLimitIsRefusedUnreadAndStopsTheSearch) {
    const std::string huge =
        R"({"propKinds": ["net"], "pad": ")" + std::string(kProgressionDocumentLimit, 'x') + "\"}";
    const auto good = write("good3.json", R"({"propKinds": ["net"]})");
    const auto big = write("huge.json", huge);
    const std::vector<std::function<ProgressionSpec()>> readers = {
        [&] { return readProgressionSpec(huge); },
        [&] {
            return loadProgressionSpec({big, good});
        }};
    for (const auto& read : readers) EXPECT_EQ(read(), ProgressionSpec());
    std::filesystem::remove(big);
}

// Whatever went wrong (nothing there, a folder or a FIFO in the way, text that is no
// document, a document over the limit), the colony gets what it can and nothing is
// logged. A FIFO is passed over without waiting for a writer.
TEST_F(ProgressionLoaderTest, NothingIsLoggedWhateverWentWrong) {
    const auto good = write("good4.json", R"({"propKinds": ["net"]})");
    const auto fifo = dir / "fifo.json";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto broken = write("broken4.json", "{ not json");
    const auto array = write("array4.json", "[1, 2]");
    const auto big = write("huge4.json", std::string(kProgressionDocumentLimit + 1, ' '));
    const std::vector<std::string> net = {"net"};
    const struct {
        const char* what;
        std::function<ProgressionSpec()> read;
        std::vector<std::string> propKinds;
    } cases[] = {
        {"none there", [&] { return loadProgressionSpec({dir / "nope.json"}); }, {}},
        {"no candidates", [&] { return loadProgressionSpec({}); }, {}},
        {"a folder first",
         [&] {
             return loadProgressionSpec({dir, good});
         },
         net},
        {"a FIFO first",
         [&] {
             return loadProgressionSpec({fifo, good});
         },
         net},
        {"not JSON",
         [&] {
             return loadProgressionSpec({broken, good});
         },
         {}},
        {"not an object",
         [&] {
             return loadProgressionSpec({array, good});
         },
         {}},
        {"a file over the limit",
         [&] {
             return loadProgressionSpec({big, good});
         },
         {}},
        {"text over the limit",
         [&] { return readProgressionSpec(std::string(kProgressionDocumentLimit + 1, ' ')); },
         {}},
    };
    for (const auto& c : cases) {
        lines.clear();
        EXPECT_EQ(c.read().propKinds, c.propKinds) << c.what;
        EXPECT_EQ(lines, std::vector<std::string>{}) << c.what;
    }
    std::filesystem::remove(big);
    std::filesystem::remove(fifo);
}

TEST_F(ProgressionLoaderTest, Thresholds) {
    auto spec = readProgressionSpec(R"({"levels": {"thresholds": [0, 10, 30.5]}})");
    EXPECT_TRUE(spec.levelThresholds.empty());
    EXPECT_EQ(MacFleaLevels::thresholds().size(), 12u);

    // Integers outside int64 are another type too.
    readProgressionSpec(R"({"levels": {"thresholds": [0, 9223372036854775808]}})");
    EXPECT_EQ(MacFleaLevels::thresholds().size(), 12u);
    readProgressionSpec(R"({"levels": {"thresholds": [0, 1e19]}})");
    EXPECT_EQ(MacFleaLevels::thresholds().size(), 12u);
    // Just below int64: the parser rounds this token to -2^63, which must not let it in.
    spec = readProgressionSpec(R"({"levels": {"thresholds": [0, -9223372036854775809]}})");
    EXPECT_TRUE(spec.levelThresholds.empty());
    EXPECT_EQ(MacFleaLevels::thresholds().size(), 12u);
    spec = readProgressionSpec(R"({"acts": {"cannon": {"techTree": [{"cost": -9223372036854775809}]}}})");
    EXPECT_EQ(spec.acts.at("cannon").techTree.at(0).cost, 0);

    spec = readProgressionSpec(R"({"levels": {"thresholds": [0, 10.0, 25, -9223372036854775808]}})");
    const std::vector<std::int64_t> expected = {0, 10, 25, std::numeric_limits<std::int64_t>::min()};
    EXPECT_EQ(spec.levelThresholds, expected);
    EXPECT_EQ(MacFleaLevels::thresholds(), expected);

    spec = readProgressionSpec(R"({"levels": {"thresholds": []}})");
    EXPECT_TRUE(spec.levelThresholds.empty());
    EXPECT_TRUE(MacFleaLevels::thresholds().empty());
    EXPECT_EQ(MacFleaLevels::level(500), 1);
}

TEST_F(ProgressionLoaderTest, PaletteAndHatDefaultsAndStrayElements) {
    auto spec =
        readProgressionSpec(R"({"bodyPalette": [{}, {"name": "Ink", "bodyRGB": [0.1], "headRGB": "red"}],
                                        "hatKinds": [{"label": 3}]})");
    ASSERT_EQ(spec.bodyPalette.size(), 2u);
    EXPECT_EQ(spec.bodyPalette[0], (ProgressionSpec::BodyColor{"", {0.18, 0.09, 0.06}, {0.29, 0.19, 0.13}}));
    // A short explicit list is kept as given; the painters make good the shortfall.
    EXPECT_EQ(spec.bodyPalette[1].bodyRGB, std::vector<double>{0.1});
    EXPECT_EQ(spec.bodyPalette[1].headRGB, (std::vector<double>{0.29, 0.19, 0.13}));
    EXPECT_EQ(spec.hatKinds, (std::vector<ProgressionSpec::HatKind>{{"none", ""}}));

    spec = readProgressionSpec(R"({"bodyPalette": [{"name": "A"}, 7], "propKinds": ["a", 1]})");
    EXPECT_TRUE(spec.bodyPalette.empty());
    EXPECT_TRUE(spec.propKinds.empty());
}

TEST_F(ProgressionLoaderTest, ActsNodesAndActions) {
    auto spec = readProgressionSpec(R"({"acts": {
        "cannon": {"techTree": [{"id": "n1"}, {"id": "n2", "cost": 12.0, "tier": 2, "branch": "alpha",
                     "prerequisites": ["n1"], "effect": {"type": "colorTint", "value": 5, "rgb": [1, 0.5, 0]}}],
                   "actions": [{"id": "a"}],
                   "signatureAction": {"id": "sig"}},
        "trapeze": {"callingName": "Flyer", "emoji": "🤸", "signatureAction": "big",
                    "techTree": [{"id": "x", "cost": 30.5, "tier": true}]}}})");
    ASSERT_EQ(spec.acts.size(), 2u);
    const auto& cannon = spec.acts.at("cannon");
    EXPECT_EQ(cannon.callingName, "cannon");
    EXPECT_EQ(cannon.emoji, "🎪");
    ASSERT_EQ(cannon.techTree.size(), 2u);
    const auto& bare = cannon.techTree[0];
    EXPECT_EQ(bare.cost, 0);
    EXPECT_EQ(bare.tier, 1);
    EXPECT_FALSE(bare.branch);
    EXPECT_TRUE(bare.prerequisites.empty());
    EXPECT_EQ(bare.effectType, "none");
    const auto& full = cannon.techTree[1];
    EXPECT_EQ(full.cost, 12);
    EXPECT_EQ(full.branch, "alpha");
    EXPECT_EQ(full.effectType, "colorTint");
    EXPECT_FALSE(full.effectValue);  // a number is not a string
    EXPECT_EQ(full.effectRGB, (std::vector<double>{1, 0.5, 0}));
    ASSERT_EQ(cannon.actions.size(), 1u);
    EXPECT_FALSE(cannon.actions[0].windsUp);
    EXPECT_EQ(cannon.actions[0].emoji, "");
    ASSERT_TRUE(cannon.signatureAction);
    EXPECT_TRUE(cannon.signatureAction->windsUp);
    EXPECT_EQ(cannon.signatureAction->emoji, "⭐");

    const auto& trapeze = spec.acts.at("trapeze");
    EXPECT_EQ(trapeze.callingName, "Flyer");
    EXPECT_FALSE(trapeze.signatureAction);
    EXPECT_EQ(trapeze.techTree[0].cost, 0);
    EXPECT_EQ(trapeze.techTree[0].tier, 1);

    // One non-object act value spoils the whole map.
    spec = readProgressionSpec(R"({"acts": {"cannon": {}, "oops": 3}})");
    EXPECT_TRUE(spec.acts.empty());
}

TEST_F(ProgressionLoaderTest, ShippedDocumentIsFoundAndComplete) {
    const auto spec = loadProgressionSpec();
    EXPECT_GE(spec.bodyPalette.size(), 8u);
    EXPECT_EQ(spec.hatKinds.size(), 6u);
    const char* acts[] = {"tightrope", "trapeze",  "cannon",      "strongman",
                          "unicycle",  "juggling", "firebreather"};
    const std::set<std::string> effects = {"sparkleTrail", "goldAccents", "scaleUp",
                                           "colorTint",    "auraGlow",    "hat"};
    for (const char* key : acts) {
        ASSERT_TRUE(spec.acts.contains(key)) << key;
        const auto& act = spec.acts.at(key);
        EXPECT_NE(act.callingName, key);
        EXPECT_TRUE(act.signatureAction);
        EXPECT_FALSE(act.actions.empty());
        EXPECT_GE(act.techTree.size(), 6u);
        std::set<std::string> seen;
        std::set<std::string> branches;
        std::set<std::string> ids;
        for (const auto& node : act.techTree) {
            seen.insert(node.effectType);
            if (node.branch) branches.insert(*node.branch);
            for (const auto& pre : node.prerequisites) EXPECT_TRUE(ids.contains(pre)) << node.id;
            ids.insert(node.id);
            if (node.effectType == "colorTint" || node.effectType == "auraGlow") {
                ASSERT_TRUE(node.effectRGB);
                EXPECT_EQ(node.effectRGB->size(), 3u);
            }
        }
        EXPECT_EQ(seen, effects) << key;
        EXPECT_EQ(branches, (std::set<std::string>{"alpha", "beta"})) << key;
    }
}

}  // namespace
}  // namespace tw
