#include "dialogue/flea_dialogue_router.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "dialogue_test_support.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/recording_telemetry_sink.h"
#include "platform/unicode.h"

namespace tw {
namespace {

using testing::lineWithText;
using testing::makeRequest;
using testing::ScriptedGenerator;
using Reason = FleaDialogueFallbackReason;
using Kind = DialogueGenerationError::Kind;

AgentDialogueLine modelLine(std::string text) {
    AgentDialogueLine line = lineWithText(std::move(text));
    line.generated_by = AgentDialogueGenerator::llm;
    return line;
}

class FleaDialogueRouterTest : public ::testing::Test {
   protected:
    FleaDialogueRouterTest() {
        templates->immediate = GenerationOutcome::success(lineWithText("Template line."));
    }

    std::unique_ptr<FleaDialogueRouter> makeRouter(bool withModel = true, bool forced = false) {
        return std::make_unique<FleaDialogueRouter>(withModel ? llm : nullptr, templates, cache, clock,
                                                    telemetry, forced,
                                                    std::make_unique<InlineSerialExecutor>());
    }

    std::optional<FleaDialogueResult> run(FleaDialogueRouter& router, const DialogueRequest& request) {
        std::optional<FleaDialogueResult> out;
        router.generate(request, [&](FleaDialogueResult r) { out = std::move(r); });
        return out;
    }

    Reason reasonForModelFailure(GenerationOutcome failure) {
        events.clear();
        llm->immediate = std::move(failure);
        auto router = makeRouter();
        return run(*router, makeRequest("f" + std::to_string(++fleaCounter)))->fallbackReason;
    }

    testing::ManualClock clock;
    std::shared_ptr<ScriptedGenerator> llm = std::make_shared<ScriptedGenerator>();
    std::shared_ptr<ScriptedGenerator> templates = std::make_shared<ScriptedGenerator>();
    std::shared_ptr<DialogueCache> cache =
        std::make_shared<DialogueCache>(std::nullopt, clock, std::make_unique<InlineSerialExecutor>());
    testing::RecordingTelemetrySink telemetry;
    std::vector<testing::RecordingTelemetrySink::Event>& events = telemetry.events;
    int fleaCounter = 0;
};

TEST_F(FleaDialogueRouterTest, CacheHitWinsEvenWhenForcedAndSendsOneEvent) {
    const DialogueRequest request = makeRequest();
    const AgentDialogueLine stored = modelLine(std::string(150, 'x'));  // served as stored
    cache->set(DialogueCache::makeCacheKey(request), stored);
    auto router = makeRouter(true, true);
    const auto result = run(*router, request);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (FleaDialogueResult{stored, Reason::noFallbackNeeded, true}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "flea_dialogue_generated");
    EXPECT_EQ(events[0].properties.at("cache_hit"), TelemetryValue(true));
    EXPECT_EQ(events[0].properties.at("generator"), TelemetryValue("llm"));
    EXPECT_TRUE(llm->requests.empty());
}

TEST_F(FleaDialogueRouterTest, WithoutAModelEveryMissIsATemplateLineWithNoFallback) {
    auto router = makeRouter(false);
    const auto first = run(*router, makeRequest());
    EXPECT_EQ(*first, (FleaDialogueResult{lineWithText("Template line."), Reason::noFallbackNeeded, false}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].properties, (TelemetryProperties{{"outcome_kind", "clean_success"},
                                                         {"channel", "thought_bubble"},
                                                         {"generator", "template"},
                                                         {"latency_ms", 0},
                                                         {"cache_hit", false}}));
    // The template line was cached under the request's key.
    EXPECT_TRUE(run(*router, makeRequest())->cacheHit);
    EXPECT_EQ(templates->requests.size(), 1u);
}

TEST_F(FleaDialogueRouterTest, ForcedTemplatesReportTheSwitchInBothEvents) {
    auto router = makeRouter(true, true);
    const auto result = run(*router, makeRequest());
    EXPECT_EQ(result->fallbackReason, Reason::forcedByDevTools);
    EXPECT_TRUE(llm->requests.empty());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].name, "flea_dialogue_fallback");
    EXPECT_EQ(events[1].properties, (TelemetryProperties{{"outcome_kind", "clean_success"},
                                                         {"channel", "thought_bubble"},
                                                         {"reason", "forcedByDevTools"}}));
    router->setForceTemplateFallback(false);
    llm->immediate = GenerationOutcome::success(modelLine("From the model."));
    EXPECT_EQ(run(*router, makeRequest("zing"))->line.text, "From the model.");
}

TEST_F(FleaDialogueRouterTest, ModelLinesAreValidatedAndCached) {
    llm->immediate = GenerationOutcome::success(modelLine(std::string(150, 'm')));
    auto router = makeRouter();
    const auto result = run(*router, makeRequest());
    EXPECT_EQ(result->fallbackReason, Reason::noFallbackNeeded);
    EXPECT_EQ(result->line.text, std::string(139, 'm') + "\u2026");
    EXPECT_EQ(result->line.generated_by, AgentDialogueGenerator::llm);
    EXPECT_EQ(events.size(), 1u);
    const auto again = run(*router, makeRequest());
    EXPECT_TRUE(again->cacheHit);
    EXPECT_EQ(again->line, result->line);
    EXPECT_EQ(llm->requests.size(), 1u);
}

TEST_F(FleaDialogueRouterTest, EachModelFailureHasItsReason) {
    EXPECT_EQ(reasonForModelFailure(GenerationOutcome::failure(DialogueGenerationError{Kind::invalidJSON})),
              Reason::llmInvalidJSON);
    EXPECT_EQ(reasonForModelFailure(GenerationOutcome::failure(DialogueGenerationError{Kind::bannedWord})),
              Reason::llmBannedWord);
    EXPECT_EQ(reasonForModelFailure(GenerationOutcome::failure(DialogueGenerationError{Kind::contextWindow})),
              Reason::llmThrewError);
    EXPECT_EQ(reasonForModelFailure(GenerationOutcome::failure(DialogueGenerationError{Kind::providerError})),
              Reason::llmThrewError);
    EXPECT_EQ(reasonForModelFailure(
                  GenerationOutcome::failure(std::make_exception_ptr(std::runtime_error("cancelled")))),
              Reason::llmThrewError);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].properties.at("reason"), TelemetryValue("llmThrewError"));

    for (auto availability : {FleaDialogueAvailability::unavailable, FleaDialogueAvailability::loading}) {
        llm->availabilityValue = availability;
        EXPECT_EQ(reasonForModelFailure(GenerationOutcome::success(modelLine("never asked"))),
                  Reason::llmUnavailable);
    }
}

TEST_F(FleaDialogueRouterTest, ASlowModelTimesOutButIsWaitedFor) {
    auto router = makeRouter();
    std::optional<FleaDialogueResult> result;
    router->generate(makeRequest(), [&](FleaDialogueResult r) { result = std::move(r); });
    ASSERT_EQ(llm->pendingCount(), 1u);
    clock.advance(5.0);
    EXPECT_FALSE(result);  // the answer waits for the model call to end
    llm->answer(GenerationOutcome::success(modelLine("Too late.")));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->fallbackReason, Reason::llmTimedOut);
    EXPECT_EQ(result->line.text, "Template line.");
    EXPECT_EQ(events[0].properties.at("latency_ms"), TelemetryValue(5000));

    router->generate(makeRequest("zing"), [&](FleaDialogueResult r) { result = std::move(r); });
    clock.advance(4.9);
    llm->answer(GenerationOutcome::success(modelLine("Just in time.")));
    EXPECT_EQ(result->fallbackReason, Reason::noFallbackNeeded);
    EXPECT_EQ(result->line.text, "Just in time.");
}

TEST_F(FleaDialogueRouterTest, AFailingTemplateGivesACachedEllipsis) {
    templates->immediate = GenerationOutcome::failure(std::make_exception_ptr(std::runtime_error("no")));
    auto router = makeRouter(false);
    const DialogueRequest request = makeRequest();
    const auto result = run(*router, request);
    EXPECT_EQ(result->line,
              (AgentDialogueLine{"...", AgentDialogueTone::cozy, std::nullopt,
                                 AgentDialogueGenerator::template_, DialogueCache::makeCacheKey(request)}));
    EXPECT_TRUE(run(*router, request)->cacheHit);
}

TEST_F(FleaDialogueRouterTest, TemplateLinesAreLintedWithoutChangingTheReason) {
    templates->immediate = GenerationOutcome::success(lineWithText("New SKILLS tonight."));
    auto router = makeRouter(true, true);
    const auto result = run(*router, makeRequest());
    EXPECT_EQ(result->line.text, "...");
    EXPECT_EQ(result->fallbackReason, Reason::forcedByDevTools);
}

TEST(DialogueLineValidation, CutsByGraphemesAndLintsTheCutText) {
    const std::string exactly140(140, 'a');
    EXPECT_EQ(FleaDialogueRouter::validate(lineWithText(exactly140)).text, exactly140);

    // A family emoji is one character however many code points it has.
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    std::string emoji;
    for (int i = 0; i < 150; ++i) emoji += family;
    const std::string cut = FleaDialogueRouter::validate(lineWithText(emoji)).text;
    EXPECT_EQ(unicode::graphemeCount(cut), 140u);
    EXPECT_EQ(cut.substr(cut.size() - 3), "\u2026");
    EXPECT_EQ(cut.substr(0, family.size()), family);

    EXPECT_EQ(FleaDialogueRouter::validate(lineWithText(std::string(139, 'a') + "xkill")).text,
              std::string(139, 'a') + "\u2026");
    EXPECT_EQ(FleaDialogueRouter::validate(lineWithText("Whatever you say")).text, "...");
    EXPECT_EQ(FleaDialogueRouter::validate(lineWithText("\u00c9CHEC? No, a FAILURE")).text, "...");
}

}  // namespace
}  // namespace tw
