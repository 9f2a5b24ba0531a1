#include "dialogue/template_dialogue_generator.h"

#include <gtest/gtest.h>

#include <set>

#include "agent/split_mix64.h"
#include "dialogue/dialogue_cache.h"
#include "dialogue/template_dialogue_banks.h"
#include "dialogue_test_support.h"

namespace tw {
namespace {

using testing::makeRequest;
using testing::memory;

std::size_t lineCount(const TemplateBank& bank) {
    std::size_t n = 0;
    for (const auto& [key, lines] : bank) n += lines.size();
    return n;
}

std::size_t indexIn(const std::vector<CandidateLine>& lines, const std::string& text) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].text == text) return i;
    return lines.size();
}

class TemplateDialogueGeneratorTest : public ::testing::Test {
   protected:
    TemplateDialogueGenerator generator{
        [](std::string_view text) { return static_cast<std::int64_t>(text.size() * 1000003); },
        std::make_unique<InlineSerialExecutor>()};
};

TEST(TemplateBanks, HoldTheWrittenCountsAndOrder) {
    EXPECT_EQ(genericBank().size(), 14u);
    EXPECT_EQ(lineCount(genericBank()), 85u);
    EXPECT_EQ(residentBank().size(), 21u);
    EXPECT_EQ(lineCount(residentBank()), 27u);
    EXPECT_EQ(defaultCandidateLines().size(), 3u);
    EXPECT_EQ(genericBank().at("clean_success").front(),
              (CandidateLine{"That's exactly the line.", AgentDialogueTone::proud}));
    EXPECT_EQ(genericBank().at("player_gift").front().text, "Oh \u2014 for me?");
    EXPECT_EQ(genericBank().at("bonding_moment")[1].text, "{partner} stayed close.");
    EXPECT_EQ(residentBank().at("bugg_brave_attempt")[1].tone, AgentDialogueTone::playful);
}

TEST_F(TemplateDialogueGeneratorTest, CyclesThroughAllSevenLinesThenRepeatsInOrder) {
    // No resident lines for this name; the ring of six leaves one fresh line per pick.
    DialogueRequest request = makeRequest("f1", "clean_success");
    request.voice_card.name = "Nobody";
    std::vector<std::string> picks;
    for (int i = 0; i < 14; ++i) {
        request.seed = static_cast<std::uint64_t>(i * 7919);
        picks.push_back(generator.generateNow(request).text);
    }
    EXPECT_EQ(std::set<std::string>(picks.begin(), picks.begin() + 7).size(), 7u);
    for (int i = 7; i < 14; ++i) EXPECT_EQ(picks[i], picks[i - 7]) << i;
}

TEST_F(TemplateDialogueGeneratorTest, ResidentLinesComeFirstAndStayEligible) {
    // Pip's two lines, then the seven generic ones. From an empty ring the pick is the
    // candidate at SplitMix64(hash of "<flea>:<outcome>" + seed) mod nine.
    DialogueRequest request = makeRequest("pip", "Clean_Success");
    std::vector<std::string> order;
    for (const auto& line : residentBank().at("pip_clean_success")) order.push_back(line.text);
    for (const auto& line : genericBank().at("clean_success"))
        order.push_back(substituteTemplateTokens(line.text, request));
    ASSERT_EQ(order.size(), 9u);
    const auto ringHash = static_cast<std::uint64_t>(std::string("pip:Clean_Success").size() * 1000003);
    std::set<std::size_t> drawn;
    for (std::uint64_t seed = 1; seed <= 200 && drawn.size() < order.size(); ++seed) {
        generator.clearRing(std::string("pip"));
        request.seed = seed;
        const std::size_t position = SplitMix64(ringHash + seed).next() % order.size();
        drawn.insert(position);
        EXPECT_EQ(generator.generateNow(request).text, order[position]) << "seed " << seed;
    }
    EXPECT_EQ(drawn.size(), order.size());  // every line, Pip's own among them, can be drawn
}

TEST_F(TemplateDialogueGeneratorTest, UnknownOutcomeUsesTheDefaultListAndLineFields) {
    DialogueRequest request = makeRequest("pip", "juggle");
    request.recent_memories = {memory("m9", "Zing waved"), memory("m2")};
    const AgentDialogueLine line = generator.generateNow(request);
    EXPECT_LT(indexIn(defaultCandidateLines(), line.text), 3u);
    EXPECT_EQ(line.generated_by, AgentDialogueGenerator::template_);
    EXPECT_EQ(line.refers_to_memory_id, std::optional<std::string>("m9"));
    EXPECT_EQ(line.cache_key, DialogueCache::makeCacheKey(request));
}

TEST_F(TemplateDialogueGeneratorTest, RingsAreKeyedByExactOutcomeKindAndClearedPerFlea) {
    // The pinned hash depends on length only, so these ring keys all seed alike.
    DialogueRequest lower = makeRequest("pip", "soft_miss");
    DialogueRequest upper = makeRequest("pip", "Soft_Miss");
    DialogueRequest other = makeRequest("pi2", "soft_miss");
    const std::string first = generator.generateNow(lower).text;
    EXPECT_NE(generator.generateNow(lower).text, first);  // same draw, but now in the ring
    EXPECT_EQ(generator.generateNow(upper).text, first);  // its own, empty ring
    EXPECT_EQ(generator.generateNow(other).text, first);

    generator.clearRing(std::string("pip"));
    EXPECT_EQ(generator.generateNow(lower).text, first);
    EXPECT_EQ(generator.generateNow(upper).text, first);
    EXPECT_NE(generator.generateNow(other).text, first);  // pi2 kept its ring

    generator.clearRing(std::nullopt);
    EXPECT_EQ(generator.generateNow(other).text, first);
}

TEST(TemplateTokens, FillFleaAndPartner) {
    DialogueRequest request = makeRequest();
    request.voice_card.name = "Nova";
    EXPECT_EQ(substituteTemplateTokens("{flea} and {flea}", request), "Nova and Nova");
    EXPECT_EQ(substituteTemplateTokens("{partner} stayed close.", request), "They stayed close.");
    EXPECT_EQ(substituteTemplateTokens("Leaned in. {partner} leaned back.", request),
              "Leaned in. They leaned back.");
    request.recent_memories = {memory("a", ""), memory("b", "  Zing  caught me"), memory("c", "Rex")};
    EXPECT_EQ(substituteTemplateTokens("Leaned in. {partner} leaned back.", request),
              "Leaned in. Zing leaned back.");
    request.recent_memories = {memory("a", "   ")};
    EXPECT_EQ(substituteTemplateTokens("{partner} stayed close.", request), "They stayed close.");
    EXPECT_EQ(substituteTemplateTokens("{Flea}", request), "{Flea}");
    // Only a sentence's first word takes a capital.
    request.recent_memories = {memory("a", "\u00e9lan met Pip")};
    EXPECT_EQ(substituteTemplateTokens("{partner}. {partner} and {partner}.{partner}", request),
              "\u00c9lan. \u00c9lan and \u00e9lan.\u00e9lan");
}

}  // namespace
}  // namespace tw
