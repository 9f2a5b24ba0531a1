// The colony windows' Qt-free logic: quiz and wizard steps, the tech tree's node
// states, the level bar and the preview's look.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "Tumblewick/colony/mac_flea_levels.h"
#include "Tumblewick/colony/ui/mac_flea_detail_model.h"
#include "Tumblewick/colony/ui/mac_flea_preview_look.h"
#include "Tumblewick/colony/ui/mac_tech_tree_model.h"
#include "Tumblewick/colony/ui/mac_wizard_model.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/recording_canvas.h"

namespace tw {
namespace {

using Node = ProgressionSpec::TechNode;

Node node(std::string id, std::int64_t cost, std::int64_t tier,
          std::optional<std::string> branch = std::nullopt, std::vector<std::string> prerequisites = {}) {
    Node n;
    n.id = std::move(id);
    n.cost = cost;
    n.tier = tier;
    n.branch = std::move(branch);
    n.prerequisites = std::move(prerequisites);
    return n;
}

// Always the same index, clamped or not by the caller.
class FixedRandom final : public RandomSource {
   public:
    explicit FixedRandom(std::int64_t value) : value_(value) {}
    double uniform(double lo, double) override { return lo; }
    std::int64_t uniformInt(std::int64_t, std::int64_t) override { return value_; }

   private:
    std::int64_t value_;
};

TEST(MacWizardModelTest, QuizTallyPicksTheMostVotedActAndTheFirstAnsweredOnATie) {
    struct Case {
        std::vector<std::string> answers;
        std::optional<std::string> revealed;
    };
    const std::vector<Case> cases = {
        {{"tightrope", "tightrope", "tightrope"}, "tightrope"},
        {{"cannon", "cannon", "juggling"}, "cannon"},
        {{"juggling", "cannon", "cannon"}, "cannon"},
        {{"firebreather", "strongman", "trapeze"}, "firebreather"},
        {{}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tallyQuizAnswers(c.answers), c.revealed) << ::testing::PrintToString(c.answers);
}

TEST(MacWizardModelTest, StepsForwardOnlyAndMakesAFleaOnlyForAKnownAct) {
    ProgressionSpec spec;
    spec.acts["cannon"].callingName = "Human Cannonball";
    testing::ManualClock clock;

    MacWizardModel model;
    EXPECT_FALSE(model.canFindAct());
    model.answer("cannon");  // no question shown yet: ignored
    EXPECT_TRUE(model.quizAnswers.empty());
    model.name = " ";
    ASSERT_TRUE(model.canFindAct());
    model.bodyColorIndex = 3;
    model.hatKindID = "crown";
    model.findMyAct();
    EXPECT_EQ(model.questionIndex(), 0);
    EXPECT_FALSE(model.makeFlea(spec, clock));
    // "Charge straight ahead", "Launched like a projectile", "My humour".
    for (int i : {2, 2, 5})
        model.answer(quizQuestions[static_cast<std::size_t>(*model.questionIndex())]
                         .answers[static_cast<std::size_t>(i)]
                         .actKey);
    EXPECT_EQ(model.step, MacWizardModel::revealStep);
    EXPECT_EQ(model.questionIndex(), std::nullopt);
    EXPECT_EQ(model.revealedAct, "cannon");
    model.answer("juggling");  // after the reveal nothing is recorded
    EXPECT_EQ(model.quizAnswers.size(), 3u);

    const auto flea = model.makeFlea(spec, clock);
    ASSERT_TRUE(flea);
    EXPECT_EQ(flea->name, " ");
    EXPECT_EQ(flea->bodyColorIndex, 3);
    EXPECT_EQ(flea->hatKind, "crown");
    EXPECT_EQ(flea->discoveredAct, "cannon");
    EXPECT_EQ(flea->createdAt, clock.now());
    EXPECT_EQ(flea->xp, 0);
    EXPECT_TRUE(flea->unlockedNodeIDs.empty());

    // A document without the act (or without any acts) leaves nothing to create.
    EXPECT_FALSE(model.makeFlea(ProgressionSpec{}, clock));
    EXPECT_EQ(model.revealedActSpec(ProgressionSpec{}), nullptr);
}

TEST(MacWizardModelTest, TextsAndSampleNames) {
    EXPECT_EQ(questionCounterText(1), "Question 2 of 3");
    EXPECT_EQ(welcomeButtonText("Zest"), "Welcome Zest to the Circus");
    FixedRandom first(0), last(13), wild(99);
    EXPECT_EQ(randomSampleName(first), "Zest");
    EXPECT_EQ(randomSampleName(last), "Bean");
    EXPECT_EQ(randomSampleName(wild), "Bean");  // a source out of range never reads past the list
}

TEST(MacTechTreeModelTest, NodeStates) {
    struct Case {
        const char* what;
        Node node;
        std::set<std::string> unlocked;
        std::optional<std::string> committed;
        std::int64_t xp;
        TechNodeState state;
    };
    const std::vector<Case> cases = {
        {"affordable at exactly its cost", node("a", 10, 1), {}, std::nullopt, 10, TechNodeState::enabled},
        {"one XP short", node("a", 10, 1), {}, std::nullopt, 9, TechNodeState::unaffordable},
        {"unlocked wins over everything",
         node("a", 10, 2, "beta"),
         {"a"},
         "alpha",
         0,
         TechNodeState::unlocked},
        {"other branch", node("b", 0, 2, "beta"), {}, "alpha", 100, TechNodeState::branchLocked},
        {"own branch", node("b", 0, 2, "alpha"), {}, "alpha", 100, TechNodeState::enabled},
        {"no branch is never locked", node("t", 0, 1), {}, "alpha", 100, TechNodeState::enabled},
        {"before any commitment", node("b", 0, 2, "beta"), {}, std::nullopt, 0, TechNodeState::enabled},
        {"prerequisite missing",
         node("c", 0, 2, "alpha", {"a"}),
         {},
         std::nullopt,
         1000,
         TechNodeState::prerequisiteMissing},
        {"prerequisite outside the tree, held from before",
         node("c", 0, 2, "alpha", {"gone"}),
         {"gone"},
         std::nullopt,
         0,
         TechNodeState::enabled},
        {"branch lock shows over a missing prerequisite",
         node("c", 0, 2, "beta", {"x"}),
         {},
         "alpha",
         0,
         TechNodeState::branchLocked},
    };
    for (const auto& c : cases)
        EXPECT_EQ(techNodeState(c.node, c.unlocked, c.committed, c.xp), c.state) << c.what;

    // Only an enabled card takes a press; only an unlocked one hides its cost.
    for (auto state : {TechNodeState::unlocked, TechNodeState::enabled, TechNodeState::unaffordable,
                       TechNodeState::branchLocked, TechNodeState::prerequisiteMissing}) {
        const auto style = techNodeCardStyle(state);
        EXPECT_EQ(style.pressable, state == TechNodeState::enabled);
        EXPECT_EQ(style.costLine.has_value(), state != TechNodeState::unlocked);
    }
    EXPECT_EQ(techNodeCardStyle(TechNodeState::enabled).costLine->tone, Tone::yellow);
    EXPECT_EQ(techNodeCardStyle(TechNodeState::unaffordable).border, (ToneColor{Tone::grey, 0.2}));
    EXPECT_EQ(techNodeCardStyle(TechNodeState::branchLocked).symbol, TechNodeSymbol::lock);
    EXPECT_EQ(techNodeCardStyle(TechNodeState::unlocked).borderWidth, 2);
    EXPECT_EQ(branchHeadingTone("alpha", "alpha").tone, Tone::yellow);
    EXPECT_EQ(branchHeadingTone("alpha", "beta").tone, Tone::secondary);
}

TEST(MacTechTreeModelTest, SplitKeepsDocumentOrderAndDropsWhatHasNoPlace) {
    const std::vector<Node> tree = {
        node("a3", 0, 3, "alpha"), node("t1", 0, 1, "beta"), node("a2", 0, 2, "alpha"),
        node("b2", 0, 2, "beta"),  node("t4", 0, 4),         node("n2", 0, 2),
        node("g2", 0, 2, "gamma"), node("n3", 0, 3),         node("t1b", 0, 1),
        node("A2", 0, 2, "Alpha"), node("b3", 0, 3, "beta"),
    };
    const auto columns = splitTechTree(tree);
    auto ids = [](const std::vector<Node>& nodes) {
        std::vector<std::string> out;
        for (const auto& n : nodes) out.push_back(n.id);
        return out;
    };
    EXPECT_THAT(ids(columns.tier1), ::testing::ElementsAre("t1", "t1b"));
    EXPECT_THAT(ids(columns.alpha), ::testing::ElementsAre("a2", "a3"));
    EXPECT_THAT(ids(columns.beta), ::testing::ElementsAre("b2", "b3"));
    EXPECT_EQ(splitTechTree({}), TechTreeColumns{});
}

class LevelTableTest : public ::testing::Test {
   protected:
    void TearDown() override { MacFleaLevels::thresholds() = MacFleaLevels::builtInThresholds(); }
};

TEST_F(LevelTableTest, LevelBarAndBadge) {
    struct Case {
        std::int64_t xp;
        std::int64_t level;
        double fraction;
    };
    const auto max = std::numeric_limits<std::int64_t>::max();
    const auto min = std::numeric_limits<std::int64_t>::min();
    for (auto c : std::vector<Case>{
             {0, 1, 0}, {27, 2, 0.48}, {2600, 12, 0}, {2601, 12, 1}, {min, 1, 0}, {max, 12, 1}}) {
        const auto bar = levelBarFor(c.xp);
        EXPECT_EQ(bar.level, c.level) << c.xp;
        EXPECT_DOUBLE_EQ(bar.fraction, c.fraction) << c.xp;
        EXPECT_EQ(bar.xpText, std::to_string(c.xp) + " XP");
    }
    EXPECT_EQ(levelBarFor(27).levelText, "Level 2");
    EXPECT_EQ(levelBadgeText(15), "Lv 2");
    EXPECT_EQ(levelBadgeText(14), "Lv 1");

    MacFleaLevels::thresholds() = {};  // an empty table from the document
    EXPECT_EQ(levelBarFor(500).level, 1);
    EXPECT_EQ(levelBarFor(0).fraction, 0);
    EXPECT_EQ(levelBarFor(500).fraction, 1);
}

TEST(MacFleaDetailModelTest, LiveFleaActLabelAndPracticeTitle) {
    ProgressionSpec spec;
    spec.acts["trapeze"].callingName = "Flying Trapeze";
    MacCustomFlea chosen;
    chosen.id = Uuid::random();
    chosen.discoveredAct = "strongman";
    auto live = chosen;
    live.xp = 40;
    MacCustomFlea other;
    other.id = Uuid::random();
    other.discoveredAct = "trapeze";

    EXPECT_EQ(currentFlea({other, live}, chosen).xp, 40);
    EXPECT_EQ(&currentFlea({other}, chosen), &chosen);
    EXPECT_EQ(colonyRowActLabel(spec, chosen), "strongman");
    EXPECT_EQ(colonyRowActLabel(spec, other), "Flying Trapeze");
    EXPECT_EQ(practiceButtonTitle("Zest"), "Practice with Zest  (+10 XP)");
}

TEST(MacFleaPreviewLookTest, PaletteColoursFallBackLikeTheStage) {
    ProgressionSpec spec;
    spec.bodyPalette = {{"Full", {0.5, 0.25, 1}, {0.1, 0.2, 0.3}}, {"Short", {0.5}, {}}};
    struct Case {
        std::int64_t index;
        Color body;
        Color head;
    };
    for (auto c : std::vector<Case>{{0, Color::rgb(0.5, 0.25, 1), Color::rgb(0.1, 0.2, 0.3)},
                                    {1, Colors::flea, Colors::fleaLight},
                                    {-1, Colors::flea, Colors::fleaLight},
                                    {2, Colors::flea, Colors::fleaLight}}) {
        MacCustomFlea flea;
        flea.bodyColorIndex = c.index;
        const auto look = previewLookFor(flea, spec);
        EXPECT_EQ(look.bodyColor, c.body) << c.index;
        EXPECT_EQ(look.headColor, c.head) << c.index;
    }
    EXPECT_EQ(swatchColor(spec.bodyPalette[1]), Colors::flea);
    MacCustomFlea hatted;
    hatted.hatKind = "Crown";  // raw values are case-sensitive
    EXPECT_EQ(previewLookFor(hatted, spec).hatKind, std::nullopt);
    hatted.hatKind = "crown";
    EXPECT_EQ(previewLookFor(hatted, std::nullopt).hatKind, MacFleaHatKind::crown);
}

TEST(MacFleaPreviewLookTest, PaintsAtTheCentreWithScaleAndTint) {
    struct Case {
        MacFleaEffectFlags effects;
        double scale;
        Color body;
        Color head;
    };
    MacFleaEffectFlags tinted;
    tinted.tint = Color::rgb(0.2, 0.8, 0.4);
    tinted.scaleMultiplier = 1.2;
    MacFleaEffectFlags huge;
    huge.scaleMultiplier = std::numeric_limits<double>::max();
    const std::vector<Case> cases = {
        {{}, 5, Colors::flea, Colors::fleaLight},
        {tinted, 6, Color::rgb(0.2, 0.8, 0.4), Color::rgb(0.2, 0.8, 0.4, 0.82)},
        {huge, 5, Colors::flea, Colors::fleaLight},
    };
    for (const auto& c : cases) {
        RecordingCanvas canvas;
        MacFleaPreviewLook look;
        look.effectFlags = c.effects;
        paintFleaPreview(canvas, 300, 120, look, 0);
        const auto ops = canvas.drawingOps();
        ASSERT_GE(ops.size(), 2u);
        // The body ellipse first, then the head: centred at (150, 70), 12 units wide.
        const auto& body = ops[0];
        EXPECT_DOUBLE_EQ(body.rect.x + body.rect.width / 2, 150);
        EXPECT_DOUBLE_EQ(body.rect.y + body.rect.height / 2, 70);
        EXPECT_NEAR(body.rect.width, 12 * c.scale, 1e-9);
        EXPECT_EQ(body.color, c.body);
        EXPECT_EQ(ops[1].color, c.head);
    }
}

}  // namespace
}  // namespace tw
