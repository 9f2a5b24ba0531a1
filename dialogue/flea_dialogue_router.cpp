#include "dialogue/flea_dialogue_router.h"

#include <cmath>

#include "dialogue/banned_word_lint.h"

namespace tw {

struct FleaDialogueRouter::Call {
    DialogueRequest request;
    std::string key;
    Date started;
    std::function<void(FleaDialogueResult)> done;
};

FleaDialogueRouter::FleaDialogueRouter(std::shared_ptr<FleaDialogueGenerator> llm,
                                       std::shared_ptr<FleaDialogueGenerator> templateGenerator,
                                       std::shared_ptr<DialogueCache> cache, const Clock& clock,
                                       TelemetrySink& telemetry, bool forceTemplateFallback,
                                       std::unique_ptr<SerialExecutor> executor)
    : llm_(std::move(llm)),
      template_(std::move(templateGenerator)),
      cache_(cache ? std::move(cache) : std::make_shared<DialogueCache>(std::nullopt, clock)),
      clock_(clock),
      telemetry_(telemetry),
      forceTemplateFallback_(forceTemplateFallback),
      executor_(std::move(executor)),
      life_(std::make_shared<ExecutorLifeline>(*executor_)) {}

FleaDialogueRouter::~FleaDialogueRouter() {
    life_->close();
    executor_->drain();
}

void FleaDialogueRouter::setForceTemplateFallback(bool on) {
    executor_->execute([this, on] { forceTemplateFallback_ = on; });
}

void FleaDialogueRouter::generate(DialogueRequest request, std::function<void(FleaDialogueResult)> done) {
    executor_->execute([this, request = std::move(request), done = std::move(done)]() mutable {
        auto call = std::make_shared<Call>();
        call->key = DialogueCache::makeCacheKey(request);
        call->started = clock_.now();
        call->request = std::move(request);
        call->done = std::move(done);
        cache_->get(call->key, [this, life = life_, call](std::optional<AgentDialogueLine> cached) {
            life->post([this, call, cached = std::move(cached)]() mutable {
                onCacheAnswer(call, std::move(cached));
            });
        });
    });
}

void FleaDialogueRouter::onCacheAnswer(const std::shared_ptr<Call>& call,
                                       std::optional<AgentDialogueLine> cached) {
    if (cached) {
        // Served as stored: it was validated when it went in.
        finish(call,
               FleaDialogueResult{std::move(*cached), FleaDialogueFallbackReason::noFallbackNeeded, true});
        return;
    }
    if (!forceTemplateFallback_ && llm_) {
        llm_->availability([this, life = life_, call](FleaDialogueAvailability availability) {
            life->post([this, call, availability] {
                if (availability == FleaDialogueAvailability::available) {
                    askModel(call);
                    return;
                }
                produceTemplate(call, [this, call](AgentDialogueLine line) {
                    finish(call, FleaDialogueResult{std::move(line),
                                                    FleaDialogueFallbackReason::llmUnavailable, false});
                });
            });
        });
        return;
    }
    produceTemplate(call, [this, call](AgentDialogueLine line) {
        // Read once the template is back: a switch flipped meanwhile decides the reason.
        const auto reason = forceTemplateFallback_ ? FleaDialogueFallbackReason::forcedByDevTools
                                                   : FleaDialogueFallbackReason::noFallbackNeeded;
        finish(call, FleaDialogueResult{std::move(line), reason, false});
    });
}

void FleaDialogueRouter::askModel(const std::shared_ptr<Call>& call) {
    const double startedAt = clock_.monotonic();
    auto onAnswer = [this, life = life_, clock = &clock_, call, startedAt](GenerationOutcome outcome) {
        const double elapsed = clock->monotonic() - startedAt;
        life->post([this, call, outcome = std::move(outcome), elapsed]() mutable {
            onModelAnswer(call, std::move(outcome), elapsed);
        });
    };
    try {
        llm_->generate(call->request, onAnswer);
    } catch (...) {
        onAnswer(GenerationOutcome::failure(std::current_exception()));
    }
}

void FleaDialogueRouter::onModelAnswer(const std::shared_ptr<Call>& call, GenerationOutcome outcome,
                                       double elapsed) {
    // The call was waited for to its end; the 5 seconds only decide the reason.
    if (elapsed < modelTimeoutSeconds && outcome.line) {
        AgentDialogueLine line = validate(*outcome.line);
        cache_->set(call->key, line, [this, life = life_, call, line] {
            life->post([this, call, line] {
                finish(call, FleaDialogueResult{line, FleaDialogueFallbackReason::noFallbackNeeded, false});
            });
        });
        return;
    }
    FleaDialogueFallbackReason reason = FleaDialogueFallbackReason::llmThrewError;
    if (elapsed >= modelTimeoutSeconds)
        reason = FleaDialogueFallbackReason::llmTimedOut;
    else if (auto error = outcome.generationError())
        reason = error->fallbackReason();
    produceTemplate(call, [this, call, reason](AgentDialogueLine line) {
        finish(call, FleaDialogueResult{std::move(line), reason, false});
    });
}

void FleaDialogueRouter::produceTemplate(const std::shared_ptr<Call>& call,
                                         std::function<void(AgentDialogueLine)> then) {
    auto store = [this, life = life_, call, then = std::move(then)](GenerationOutcome outcome) {
        life->post([this, life, call, then, outcome = std::move(outcome)] {
            AgentDialogueLine line = outcome.line
                                         ? *outcome.line
                                         : AgentDialogueLine{"...", AgentDialogueTone::cozy, std::nullopt,
                                                             AgentDialogueGenerator::template_, call->key};
            line = validate(line);
            cache_->set(call->key, line, [life, then, line] { life->post([then, line] { then(line); }); });
        });
    };
    try {
        template_->generate(call->request, store);
    } catch (...) {
        store(GenerationOutcome::failure(std::current_exception()));
    }
}

void FleaDialogueRouter::finish(const std::shared_ptr<Call>& call, FleaDialogueResult result) {
    emitTelemetry(*call, result);
    call->done(std::move(result));
}

void FleaDialogueRouter::emitTelemetry(const Call& call, const FleaDialogueResult& result) const {
    const double seconds = clock_.now().since(call.started);
    const auto latency = static_cast<std::int64_t>(std::isfinite(seconds) ? seconds * 1000.0 : 0.0);
    const std::string channel(rawValue(call.request.channel));
    telemetry_.track("flea_dialogue_generated",
                     TelemetryProperties{{"outcome_kind", call.request.outcome_kind},
                                         {"channel", channel},
                                         {"generator", std::string(rawValue(result.line.generated_by))},
                                         {"latency_ms", latency},
                                         {"cache_hit", result.cacheHit}});
    if (result.fallbackReason != FleaDialogueFallbackReason::noFallbackNeeded) {
        telemetry_.track("flea_dialogue_fallback",
                         TelemetryProperties{{"outcome_kind", call.request.outcome_kind},
                                             {"channel", channel},
                                             {"reason", std::string(rawValue(result.fallbackReason))}});
    }
}

AgentDialogueLine FleaDialogueRouter::validate(const AgentDialogueLine& line) {
    std::string text = cutToDialogueLength(line.text);
    if (BannedWordLint::violates(text)) text = "...";
    if (text == line.text) return line;
    AgentDialogueLine copy = line;
    copy.text = std::move(text);
    return copy;
}

}  // namespace tw
