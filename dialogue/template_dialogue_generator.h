#pragma once
// Lines without the language model: one of a fixed set of hand-written lines, picked by
// outcome kind (and for some fleas by name), avoiding the last six picks of the same
// flea in the same situation. Never fails and answers at once.
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "dialogue/flea_dialogue_generator.h"
#include "platform/serial_executor.h"
#include "platform/string_hash.h"

namespace tw {

class TemplateDialogueGenerator final : public FleaDialogueGenerator {
   public:
    static constexpr std::size_t ringCapacity = 6;

    // `hash` seeds the pick together with the request's seed; it is salted per process
    // by default, so picks repeat within one run, not across runs.
    explicit TemplateDialogueGenerator(
        StringHashFunction hash = processStringHashFunction(),
        std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>());
    ~TemplateDialogueGenerator() override;

    void availability(AvailabilityCompletion done) override;
    void generate(DialogueRequest request, LineCompletion done) override;
    // Forgets recent picks: of one flea (rings keyed "<id>:..."), or of all with nullopt.
    void clearRing(std::optional<std::string> fleaID, std::function<void()> done = {});

    // The line for `request`, run on the caller's thread (the executor's job body).
    AgentDialogueLine generateNow(const DialogueRequest& request);

   private:
    std::map<std::string, std::deque<std::size_t>> recentRings_;
    StringHashFunction hash_;
    std::unique_ptr<SerialExecutor> executor_;  // last: drained before the state goes
};

// "{flea}" becomes the voice card's name, "{partner}" the first word of the first
// non-empty memory summary (or "they").
std::string substituteTemplateTokens(const std::string& text, const DialogueRequest& request);

}  // namespace tw
