#include "dialogue/llm_dialogue_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "dialogue/dialogue_cache.h"
#include "dialogue/llm_dialogue_line_schema.h"
#include "dialogue/llm_dialogue_prompt.h"
#include "dialogue_test_support.h"
#include "platform/log.h"
#include "platform/testing/fake_language_model.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

using testing::makeRequest;
using testing::memory;
using Kind = DialogueGenerationError::Kind;

LanguageModelResult answer(std::string text, std::string tone = "proud",
                           std::optional<std::string> memoryId = std::nullopt) {
    return LanguageModelResult::answer(
        LLMDialogueLineSchema{std::move(text), std::move(tone), std::move(memoryId), "whatever", "made-up"}
            .toJson());
}

std::optional<Kind> errorKind(const GenerationOutcome& outcome) {
    if (auto error = outcome.generationError()) return error->kind;
    return std::nullopt;
}

bool flushedBool(const testing::InMemoryDefaults& defaults, const std::string& key) {
    const auto values = defaults.flushedValues();
    auto it = values.find(key);
    return it != values.end() && std::get<bool>(it->second);
}

class LLMDialogueGeneratorTest : public ::testing::Test {
   protected:
    std::shared_ptr<LLMDialogueGenerator> makeGenerator() {
        return LLMDialogueGenerator::create(model, defaults, std::make_unique<InlineSerialExecutor>());
    }
    static FleaDialogueAvailability availability(LLMDialogueGenerator& generator) {
        FleaDialogueAvailability out = FleaDialogueAvailability::loading;
        generator.availability([&](FleaDialogueAvailability a) { out = a; });
        return out;
    }

    std::shared_ptr<testing::FakeLanguageModel> model = std::make_shared<testing::FakeLanguageModel>();
    testing::InMemoryDefaults defaults;
};

TEST(LLMDialoguePromptText, InstructionsEndWithTheOutcomeLine) {
    const std::string expectedRules =
        "You write one short line of dialogue for a tiny circus flea\n"
        "performing on stage. Voice rules:\n"
        "- Brief: \u2264 140 characters. Often much less.\n"
        "- Theatrical, specific, in-character. Never clinical.\n"
        "- No shame or failure framing \u2014 even misses are tender.\n"
        "- Match the flea's voice_style + traits.\n"
        "- Tone field MUST be one of: tender, playful, brave, wistful,\n"
        "  proud, mysterious, cozy, electric.\n"
        "- generated_by MUST be the literal string \"llm\".\n"
        "- cache_key: a short stable identifier you choose.\n\n";
    EXPECT_EQ(LLMDialoguePrompt::instructions(makeRequest("pip", "Clean_Success")),
              expectedRules + "Outcome: the trick landed cleanly. Voice proud but understated.");
    EXPECT_EQ(LLMDialoguePrompt::outcomeLine("Juggle"), "Outcome: Juggle. Voice in-character.");
    EXPECT_EQ(LLMDialoguePrompt::outcomeLine("strange_magic"),
              "Outcome: something mysterious happened \u2014 a glimpse, an omen. Voice mysterious.");
}

TEST(LLMDialoguePromptText, PromptListsTheCardAndTheFirstThreeMemories) {
    DialogueRequest bare = makeRequest();
    bare.voice_card.traits.clear();
    EXPECT_EQ(LLMDialoguePrompt::prompt(bare),
              "Flea: Pip\nVoice style: earnest\nTraits: (none)\nAmbition: (none)\nSuperstitions: (none)"
              "\nChannel: thought_bubble\nRecent memories:\n(no recent memories)\n\nWrite Pip's line.");

    DialogueRequest full = makeRequest();
    full.voice_card.ambition = "";
    full.voice_card.superstitions = {"east first", "chalk"};
    full.channel = AgentDialogueChannel::gossip_line;
    full.recent_memories = {memory("1", "one"), memory("2", "two"), memory("3", "three"), memory("4", "four"),
                            memory("5", "five")};
    EXPECT_EQ(
        LLMDialoguePrompt::prompt(full),
        "Flea: Pip\nVoice style: earnest\nTraits: brave, anxious\nAmbition: \nSuperstitions: east first"
        " \u00b7 chalk\nChannel: gossip_line\nRecent memories:\n- one\n- two\n- three\n\nWrite Pip's line.");
}

TEST_F(LLMDialogueGeneratorTest, MapsAnswersToLines) {
    const DialogueRequest request = makeRequest();
    const std::string key = DialogueCache::makeCacheKey(request);

    auto line = LLMDialogueGenerator::interpretAnswer(answer("Bell hit clean.", "Cozy", "m7"), request).line;
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, (AgentDialogueLine{"Bell hit clean.", AgentDialogueTone::cozy, std::string("m7"),
                                        AgentDialogueGenerator::llm, key}));

    line = LLMDialogueGenerator::interpretAnswer(answer(std::string(200, 'a')), request).line;
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text, std::string(139, 'a') + "\u2026");
    EXPECT_EQ(LLMDialogueGenerator::interpretAnswer(answer(""), request).line->text, "");
    EXPECT_EQ(LLMDialogueGenerator::interpretAnswer(answer("  spaced  "), request).line->text, "  spaced  ");
}

TEST_F(LLMDialogueGeneratorTest, TurnsBadAnswersAndFailuresIntoErrorKinds) {
    const DialogueRequest request = makeRequest();
    auto kindOf = [&](const LanguageModelResult& result) {
        return errorKind(LLMDialogueGenerator::interpretAnswer(result, request));
    };
    EXPECT_EQ(kindOf(answer("hi", "happy")), Kind::invalidJSON);
    EXPECT_EQ(kindOf(LanguageModelResult::answer(OrderedJson{{"text", "hi"}})), Kind::invalidJSON);
    EXPECT_EQ(kindOf(answer("That was Skillful")), Kind::bannedWord);
    // The lint reads the cut text: a banned word past character 139 does not count.
    EXPECT_FALSE(kindOf(answer(std::string(139, 'a') + "xkill")));
    EXPECT_EQ(kindOf(LanguageModelResult::failure("exceededContextWindow: too long")), Kind::contextWindow);
    EXPECT_EQ(kindOf(LanguageModelResult::failure("providerError: connection refused")), Kind::providerError);
}

TEST_F(LLMDialogueGeneratorTest, GuardIsArmedOnDiskBeforeTheFirstCallAndClearedByAnAnswer) {
    auto generator = makeGenerator();
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::available);
    std::optional<GenerationOutcome> outcome;
    generator->generate(makeRequest(), [&](GenerationOutcome o) { outcome = o; });
    ASSERT_EQ(model->requests().size(), 1u);
    EXPECT_EQ(model->requests()[0].instructions, LLMDialoguePrompt::instructions(makeRequest()));
    EXPECT_EQ(model->requests()[0].prompt, LLMDialoguePrompt::prompt(makeRequest()));
    EXPECT_TRUE(flushedBool(defaults, LLMDialogueGenerator::armedKey));
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::unavailable);

    // An answer with a bad tone still proves the model works.
    model->complete(answer("hi", "happy"));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(errorKind(*outcome), Kind::invalidJSON);
    EXPECT_FALSE(flushedBool(defaults, LLMDialogueGenerator::armedKey));
    EXPECT_TRUE(flushedBool(defaults, LLMDialogueGenerator::succeededKey));
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::available);

    // Once it has answered, failures change nothing and "armed" is never written again.
    generator->generate(makeRequest(), [](GenerationOutcome) {});
    EXPECT_FALSE(defaults.boolForKey(LLMDialogueGenerator::armedKey));
    model->complete(LanguageModelResult::failure("providerError: boom"));
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::available);
}

TEST_F(LLMDialogueGeneratorTest, AFirstCallCutShortByARestartDisablesTheModelForGood) {
    {
        auto generator = makeGenerator();
        generator->generate(makeRequest(), [](GenerationOutcome) {});
        // The process ends here, the call still running.
    }
    testing::InMemoryDefaults afterRestart;
    for (const auto& [key, value] : defaults.flushedValues()) afterRestart.set(key, value);
    auto restarted =
        LLMDialogueGenerator::create(model, afterRestart, std::make_unique<InlineSerialExecutor>());
    EXPECT_EQ(availability(*restarted), FleaDialogueAvailability::unavailable);
    // The late answer of the old process reaches nobody.
    EXPECT_TRUE(model->complete(answer("late")));
}

// The failure is told once, at the failed call and at every later launch, without the
// call's own error; a request that was already waiting and gets an answer brings it back.
TEST_F(LLMDialogueGeneratorTest, AFailedFirstCallLeavesTheModelUnavailableAndSaysHowToRetry) {
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    const auto count = [&](const std::string& part) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(part) != std::string::npos; });
    };
    const std::string told =
        "could not be used at the first call, so lines come from templates from now on. To try again, quit, "
        "remove \"tw_llm_first_call_armed\" from /home/u/.config/tumblewick/standard.json";
    const auto create = [&](Defaults& suite) {
        return LLMDialogueGenerator::create(model, suite, std::make_unique<InlineSerialExecutor>(),
                                            "/home/u/.config/tumblewick/standard.json");
    };
    auto generator = create(defaults);
    generator->announceServer("http://127.0.0.1:9");
    std::optional<GenerationOutcome> outcome;
    generator->generate(makeRequest(), [&](GenerationOutcome o) { outcome = o; });
    generator->generate(makeRequest(), [](GenerationOutcome) {});  // already waiting
    model->complete(LanguageModelResult::failure("providerError: refused"));
    EXPECT_EQ(errorKind(*outcome), Kind::providerError);
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::unavailable);
    EXPECT_TRUE(flushedBool(defaults, LLMDialogueGenerator::armedKey));
    EXPECT_EQ(count(told), 1) << ::testing::PrintToString(lines);

    // Every later launch says so in the line that names the server, and only there.
    for (int launch = 0; launch < 2; ++launch) {
        testing::InMemoryDefaults afterRestart;
        for (const auto& [key, value] : defaults.flushedValues()) afterRestart.set(key, value);
        create(afterRestart)->announceServer("http://127.0.0.1:9");
    }
    EXPECT_EQ(count("Dialogue: the model server at http://127.0.0.1:9 " + told), 2)
        << ::testing::PrintToString(lines);

    model->complete(answer("back"));
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::available);
    EXPECT_EQ(count("the model server answers again"), 1) << ::testing::PrintToString(lines);
    EXPECT_EQ(count("lines come from the model server at http://127.0.0.1:9"), 1);  // the first launch
    EXPECT_EQ(count("refused"), 0);
    log::setSinkForTesting(nullptr);
}

TEST_F(LLMDialogueGeneratorTest, RunsOneCallAtATimeAndEvictsTheOldestOfEightWaiting) {
    auto generator = makeGenerator();
    std::vector<std::optional<GenerationOutcome>> outcomes(10);
    for (int i = 0; i < 10; ++i) {
        DialogueRequest request = makeRequest("f" + std::to_string(i));
        request.voice_card.name = "N" + std::to_string(i);
        generator->generate(request, [&outcomes, i](GenerationOutcome o) { outcomes[i] = std::move(o); });
    }
    // One in flight, eight waiting: the ninth arrival pushed out the first waiter.
    EXPECT_EQ(model->requests().size(), 1u);
    ASSERT_TRUE(outcomes[1]);
    EXPECT_EQ(errorKind(*outcomes[1]), Kind::providerError);
    for (int i : {0, 2, 9}) EXPECT_FALSE(outcomes[i]) << i;

    while (model->complete(answer("ok"))) {
    }
    ASSERT_EQ(model->requests().size(), 9u);
    EXPECT_EQ(model->requests()[1].prompt.rfind("Flea: N2\n", 0), 0u);  // arrival order
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(outcomes[i]) << i;
        if (i != 1) {
            EXPECT_TRUE(outcomes[i]->line) << i;
        }
    }
}

// A model whose respond() throws instead of answering.
class ThrowingModel final : public LanguageModel {
   public:
    int calls = 0;
    void respond(LanguageModelRequest, Completion) override {
        if (++calls == 1) throw std::runtime_error("exceededContextWindow (4096 tokens)");
        throw 42;  // not even a std::exception
    }
};

TEST_F(LLMDialogueGeneratorTest, AModelThatThrowsFailsTheCallWithoutStallingTheQueue) {
    auto throwing = std::make_shared<ThrowingModel>();
    auto generator =
        LLMDialogueGenerator::create(throwing, defaults, std::make_unique<InlineSerialExecutor>());
    std::vector<std::optional<GenerationOutcome>> outcomes(3);
    for (int i = 0; i < 3; ++i)
        generator->generate(makeRequest(),
                            [&outcomes, i](GenerationOutcome o) { outcomes[i] = std::move(o); });
    EXPECT_EQ(throwing->calls, 3);
    ASSERT_TRUE(outcomes[0] && outcomes[1] && outcomes[2]);
    EXPECT_EQ(errorKind(*outcomes[0]), Kind::contextWindow);
    EXPECT_EQ(errorKind(*outcomes[1]), Kind::providerError);
    EXPECT_EQ(errorKind(*outcomes[2]), Kind::providerError);
    EXPECT_EQ(availability(*generator), FleaDialogueAvailability::unavailable);
}

}  // namespace
}  // namespace tw
