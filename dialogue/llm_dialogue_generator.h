#pragma once
// Dialogue lines from the language model: one call at a time with a short waiting line,
// and a guard kept in the defaults that turns the model off for good when, before any
// call has ever answered, a call fails or the process ends while one runs.
#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "dialogue/executor_lifeline.h"
#include "dialogue/flea_dialogue_generator.h"
#include "platform/defaults.h"
#include "platform/language_model.h"
#include "platform/serial_executor.h"

namespace tw {

class LLMDialogueGenerator final : public FleaDialogueGenerator {
   public:
    static constexpr std::size_t maxWaiting = 8;
    static constexpr const char* armedKey = "tw_llm_first_call_armed";
    static constexpr const char* succeededKey = "tw_llm_first_call_succeeded_v1";

    // A model answer arriving after the generator is gone is dropped. `defaults` (the
    // standard suite) must outlive the generator; `settingsFile` is where it is stored,
    // named to the user when a failed first call turns the model off.
    static std::shared_ptr<LLMDialogueGenerator> create(
        std::shared_ptr<LanguageModel> model, Defaults& defaults,
        std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>(),
        std::filesystem::path settingsFile = {});
    ~LLMDialogueGenerator() override;

    // The launch's line about the model server `server` (as it may be shown): that lines
    // come from it, or, when an earlier first call left the model off, that they come from
    // the templates and how to try again.
    void announceServer(std::string server);

    void availability(AvailabilityCompletion done) override;
    // Answers with the line or a DialogueGenerationError; a ninth waiting request
    // evicts the oldest waiting one with providerError.
    void generate(DialogueRequest request, LineCompletion done) override;

    // The line made of one model answer for `request` (no guard, no queue).
    static GenerationOutcome interpretAnswer(const LanguageModelResult& result,
                                             const DialogueRequest& request);

   private:
    struct QueuedRequest {
        DialogueRequest request;
        LineCompletion done;
    };

    LLMDialogueGenerator(std::shared_ptr<LanguageModel> model, Defaults& defaults,
                         std::unique_ptr<SerialExecutor> executor, std::filesystem::path settingsFile);
    void drainIfPossible();
    void runOnce(QueuedRequest next);
    void finishCall(QueuedRequest call, const LanguageModelResult& result);
    void tellModelTurnedOff(const std::string& server = {});

    bool inFlight_ = false;
    std::deque<QueuedRequest> queue_;
    std::shared_ptr<LanguageModel> model_;
    Defaults& defaults_;
    std::filesystem::path settingsFile_;
    bool toldModelTurnedOff_ = false;
    std::unique_ptr<SerialExecutor> executor_;  // drained before the state goes
    std::shared_ptr<ExecutorLifeline> life_;    // model answers come back through this
};

}  // namespace tw
