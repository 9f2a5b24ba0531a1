#include "dialogue/llm_dialogue_generator.h"

#include <atomic>

#include "dialogue/banned_word_lint.h"
#include "dialogue/dialogue_cache.h"
#include "dialogue/llm_dialogue_line_schema.h"
#include "dialogue/llm_dialogue_prompt.h"
#include "platform/log.h"
#include "platform/unicode.h"

namespace tw {

namespace {

GenerationOutcome failure(DialogueGenerationError::Kind kind) {
    return GenerationOutcome::failure(DialogueGenerationError{kind});
}

}  // namespace

std::shared_ptr<LLMDialogueGenerator> LLMDialogueGenerator::create(std::shared_ptr<LanguageModel> model,
                                                                   Defaults& defaults,
                                                                   std::unique_ptr<SerialExecutor> executor,
                                                                   std::filesystem::path settingsFile) {
    return std::shared_ptr<LLMDialogueGenerator>(
        new LLMDialogueGenerator(std::move(model), defaults, std::move(executor), std::move(settingsFile)));
}

LLMDialogueGenerator::LLMDialogueGenerator(std::shared_ptr<LanguageModel> model, Defaults& defaults,
                                           std::unique_ptr<SerialExecutor> executor,
                                           std::filesystem::path settingsFile)
    : model_(std::move(model)),
      defaults_(defaults),
      settingsFile_(std::move(settingsFile)),
      executor_(std::move(executor)),
      life_(std::make_shared<ExecutorLifeline>(*executor_)) {}

LLMDialogueGenerator::~LLMDialogueGenerator() {
    life_->close();
    executor_->drain();
}

void LLMDialogueGenerator::announceServer(std::string server) {
    executor_->execute([this, server = std::move(server)] {
        if (defaults_.boolForKey(armedKey) && !defaults_.boolForKey(succeededKey))
            tellModelTurnedOff(server);
        else
            log::info("Dialogue: lines come from the model server at " + server);
    });
}

void LLMDialogueGenerator::availability(AvailabilityCompletion done) {
    executor_->execute([this, done = std::move(done)] {
        const bool armed = defaults_.boolForKey(armedKey);
        const bool succeeded = defaults_.boolForKey(succeededKey);
        done(armed && !succeeded ? FleaDialogueAvailability::unavailable
                                 : FleaDialogueAvailability::available);
    });
}

void LLMDialogueGenerator::generate(DialogueRequest request, LineCompletion done) {
    executor_->execute([this, request = std::move(request), done = std::move(done)]() mutable {
        if (queue_.size() >= maxWaiting) {
            QueuedRequest evicted = std::move(queue_.front());
            queue_.pop_front();
            evicted.done(failure(DialogueGenerationError::Kind::providerError));
        }
        queue_.push_back(QueuedRequest{std::move(request), std::move(done)});
        drainIfPossible();
    });
}

void LLMDialogueGenerator::drainIfPossible() {
    if (inFlight_ || queue_.empty()) return;
    inFlight_ = true;
    QueuedRequest next = std::move(queue_.front());
    queue_.pop_front();
    runOnce(std::move(next));
}

void LLMDialogueGenerator::runOnce(QueuedRequest next) {
    if (!defaults_.boolForKey(succeededKey)) {
        defaults_.setBool(armedKey, true);
        // A crash during the call must find the guard armed after the restart.
        if (!defaults_.flush()) log::warning("The model guard could not be saved before the call");
    }

    LanguageModelRequest call;
    call.instructions = LLMDialoguePrompt::instructions(next.request);
    call.prompt = LLMDialoguePrompt::prompt(next.request);
    call.schemaName = LLMDialogueLineSchema::name;
    call.schema = LLMDialogueLineSchema::generationSchema();
    call.includeSchemaInPrompt = true;

    // Answered once: by the model's completion, or here when respond() itself throws.
    struct Pending {
        QueuedRequest call;
        std::atomic<bool> claimed{false};
    };
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(next);
    try {
        model_->respond(std::move(call), [this, life = life_, pending](LanguageModelResult result) {
            if (pending->claimed.exchange(true)) return;
            // Dropped when the generator is gone: nobody waits for this answer then.
            life->post([this, pending, result = std::move(result)] {
                finishCall(std::move(pending->call), result);
            });
        });
    } catch (const std::exception& error) {
        if (!pending->claimed.exchange(true))
            finishCall(std::move(pending->call), LanguageModelResult::failure(error.what()));
    } catch (...) {
        // Anything else must not leave the call in flight for good and stall the queue.
        if (!pending->claimed.exchange(true))
            finishCall(std::move(pending->call), LanguageModelResult::failure("the model call failed"));
    }
}

void LLMDialogueGenerator::finishCall(QueuedRequest call, const LanguageModelResult& result) {
    if (result.content) {
        // A request that was waiting when the first call failed brings the model back.
        if (toldModelTurnedOff_ && !defaults_.boolForKey(succeededKey))
            log::info("Dialogue: the model server answers again, so lines come from it again");
        // Any answer counts as a successful call, before its contents are checked.
        defaults_.setBool(succeededKey, true);
        defaults_.setBool(armedKey, false);
        if (!defaults_.flush()) log::warning("The model guard could not be saved after the call");
    } else if (!defaults_.boolForKey(succeededKey)) {
        tellModelTurnedOff();
    }
    call.done(interpretAnswer(result, call.request));
    inFlight_ = false;
    drainIfPossible();
}

// The guard stays armed, so this process and every later one speak from the templates;
// without this line the user would only ever see the call's own error (or, at a later
// launch, nothing). The call's error is not repeated here.
void LLMDialogueGenerator::tellModelTurnedOff(const std::string& server) {
    if (toldModelTurnedOff_) return;
    toldModelTurnedOff_ = true;
    const std::string at = server.empty() ? "" : " at " + server;
    const std::string where = settingsFile_.empty() ? "the settings" : settingsFile_.string();
    log::warning("Dialogue: the model server" + at +
                 " could not be used at the first call, so lines come from templates from now on. To try "
                 "again, quit, remove \"" +
                 armedKey + "\" from " + where + " and start again with the server up");
}

GenerationOutcome LLMDialogueGenerator::interpretAnswer(const LanguageModelResult& result,
                                                        const DialogueRequest& request) {
    using Kind = DialogueGenerationError::Kind;
    if (!result.content) {
        const bool overflow = result.errorDescription.find(kExceededContextWindow) != std::string::npos;
        return failure(overflow ? Kind::contextWindow : Kind::providerError);
    }
    LLMDialogueLineSchema answer;
    try {
        answer = LLMDialogueLineSchema::fromJson(JsonReader(*result.content));
    } catch (const JsonDecodeError&) {
        return failure(Kind::invalidJSON);
    }
    const auto tone = fromRawValue<AgentDialogueTone>(unicode::lowercased(answer.tone));
    if (!tone) return failure(Kind::invalidJSON);
    std::string text = cutToDialogueLength(answer.text);
    if (BannedWordLint::violates(text)) return failure(Kind::bannedWord);
    return GenerationOutcome::success(AgentDialogueLine{std::move(text), *tone, answer.refers_to_memory_id,
                                                        AgentDialogueGenerator::llm,
                                                        DialogueCache::makeCacheKey(request)});
}

}  // namespace tw
