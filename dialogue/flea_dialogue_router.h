#pragma once
// One dialogue request in, one short in-character line out: from the cache, from the
// language model within 5 seconds, or from the templates. Never fails outward: every
// failure becomes a fallback reason and a template line (or "..." as a last resort).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dialogue/dialogue_cache.h"
#include "dialogue/executor_lifeline.h"
#include "dialogue/flea_dialogue_generator.h"
#include "platform/clock.h"
#include "platform/serial_executor.h"
#include "platform/telemetry_sink.h"

namespace tw {

class FleaDialogueRouter {
   public:
    static constexpr double modelTimeoutSeconds = 5.0;

    // `llm` may be absent (no model on this machine). Without a cache the router keeps
    // its own in memory. `clock` decides the model time-out and the latency; it and
    // `telemetry` (told of every line, on the router's executor) must outlive the router.
    FleaDialogueRouter(std::shared_ptr<FleaDialogueGenerator> llm,
                       std::shared_ptr<FleaDialogueGenerator> templateGenerator,
                       std::shared_ptr<DialogueCache> cache, const Clock& clock, TelemetrySink& telemetry,
                       bool forceTemplateFallback = false,
                       std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>());
    ~FleaDialogueRouter();
    FleaDialogueRouter(const FleaDialogueRouter&) = delete;
    FleaDialogueRouter& operator=(const FleaDialogueRouter&) = delete;

    void setForceTemplateFallback(bool on);
    // `done` runs once, on the router's executor. A model call that outlives the
    // time-out is still waited for; the 5 seconds decide only the reason.
    void generate(DialogueRequest request, std::function<void(FleaDialogueResult)> done);

    // The length cut, then the banned-word lint ("..." for a line that breaks it).
    static AgentDialogueLine validate(const AgentDialogueLine& line);

    const std::shared_ptr<DialogueCache>& cache() const { return cache_; }

   private:
    struct Call;
    void onCacheAnswer(const std::shared_ptr<Call>& call, std::optional<AgentDialogueLine> cached);
    void askModel(const std::shared_ptr<Call>& call);
    void onModelAnswer(const std::shared_ptr<Call>& call, GenerationOutcome outcome, double elapsed);
    void produceTemplate(const std::shared_ptr<Call>& call, std::function<void(AgentDialogueLine)> then);
    void finish(const std::shared_ptr<Call>& call, FleaDialogueResult result);
    void emitTelemetry(const Call& call, const FleaDialogueResult& result) const;

    std::shared_ptr<FleaDialogueGenerator> llm_;
    std::shared_ptr<FleaDialogueGenerator> template_;
    std::shared_ptr<DialogueCache> cache_;
    const Clock& clock_;
    TelemetrySink& telemetry_;
    bool forceTemplateFallback_;
    std::unique_ptr<SerialExecutor> executor_;  // drained before the state goes
    // Callee completions arrive on the callee's executor and come back through this.
    std::shared_ptr<ExecutorLifeline> life_;
};

}  // namespace tw
