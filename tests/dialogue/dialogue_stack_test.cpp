// The whole dialogue stack on its real worker threads: router, cache on disk, model
// generator over a fake model, template generator.
#include <gtest/gtest.h>

#include <future>

#include "dialogue/flea_dialogue_router.h"
#include "dialogue/llm_dialogue_generator.h"
#include "dialogue/llm_dialogue_line_schema.h"
#include "dialogue/template_dialogue_generator.h"
#include "dialogue_test_support.h"
#include "platform/testing/fake_language_model.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using Reason = FleaDialogueFallbackReason;

class DialogueStackTest : public ::testing::Test {
   protected:
    std::unique_ptr<FleaDialogueRouter> makeRouter(std::shared_ptr<DialogueCache> cache) {
        auto llm = LLMDialogueGenerator::create(model, defaults);
        return std::make_unique<FleaDialogueRouter>(llm, std::make_shared<TemplateDialogueGenerator>(),
                                                    std::move(cache), clock, noTelemetry());
    }
    static FleaDialogueResult generate(FleaDialogueRouter& router, DialogueRequest request) {
        std::promise<FleaDialogueResult> promise;
        auto future = promise.get_future();
        router.generate(std::move(request), [&](FleaDialogueResult r) { promise.set_value(std::move(r)); });
        return future.get();
    }

    testing::ManualClock clock;
    testing::InMemoryDefaults defaults;
    std::shared_ptr<testing::FakeLanguageModel> model = std::make_shared<testing::FakeLanguageModel>();
};

TEST_F(DialogueStackTest, ServesModelTemplateAndCachedLinesAcrossThreadsAndRestarts) {
    const auto file = testing::scratchDirectory("stack") / DialogueCache::fileName;
    model->setAutoResult(LanguageModelResult::answer(
        LLMDialogueLineSchema{"Wire and breath.", "proud", std::nullopt, "llm", "k"}.toJson()));
    {
        auto router = makeRouter(std::make_shared<DialogueCache>(file, clock));
        const FleaDialogueResult first = generate(*router, testing::makeRequest("pip"));
        EXPECT_EQ(first.line.text, "Wire and breath.");
        EXPECT_EQ(first.fallbackReason, Reason::noFallbackNeeded);

        // Many requests at once, from several threads, all answered exactly once.
        std::vector<std::future<FleaDialogueResult>> results;
        std::vector<std::promise<FleaDialogueResult>> promises(40);
        for (auto& promise : promises) results.push_back(promise.get_future());
        std::vector<std::thread> callers;
        for (int t = 0; t < 4; ++t) {
            callers.emplace_back([&, t] {
                for (int i = 0; i < 10; ++i) {
                    const int n = t * 10 + i;
                    router->generate(
                        testing::makeRequest(testing::numbered("f", n)),
                        [&promises, n](FleaDialogueResult r) { promises[n].set_value(std::move(r)); });
                }
            });
        }
        for (auto& caller : callers) caller.join();
        for (auto& result : results) EXPECT_FALSE(result.get().line.text.empty());

        router->setForceTemplateFallback(true);
        const FleaDialogueResult forced = generate(*router, testing::makeRequest("zing", "comic_bit"));
        EXPECT_EQ(forced.fallbackReason, Reason::forcedByDevTools);
        EXPECT_EQ(forced.line.generated_by, AgentDialogueGenerator::template_);
    }
    // After a restart the lines come from the file.
    auto router = makeRouter(std::make_shared<DialogueCache>(file, clock));
    const FleaDialogueResult again = generate(*router, testing::makeRequest("pip"));
    EXPECT_TRUE(again.cacheHit);
    EXPECT_EQ(again.line.text, "Wire and breath.");
    EXPECT_TRUE(generate(*router, testing::makeRequest("zing", "comic_bit")).cacheHit);
}

}  // namespace
}  // namespace tw
