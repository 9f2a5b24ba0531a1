#pragma once
// Builders and fakes shared by the dialogue tests.
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/flea_dialogue_generator.h"

namespace tw::testing {

inline DialogueRequest makeRequest(std::string fleaId = "pip", std::string outcome = "clean_success",
                                   std::uint64_t seed = 7) {
    DialogueRequest request;
    request.flea_id = fleaId;
    request.voice_card.flea_id = fleaId;
    request.voice_card.name = "Pip";
    request.voice_card.voice_style = "earnest";
    request.voice_card.traits = {"brave", "anxious"};
    request.outcome_kind = std::move(outcome);
    request.channel = AgentDialogueChannel::thought_bubble;
    request.seed = seed;
    return request;
}

inline AgentMemory memory(std::string id, std::string summary = "") {
    AgentMemory m;
    m.id = std::move(id);
    m.summary = std::move(summary);
    return m;
}

inline AgentDialogueLine lineWithText(std::string text, std::string key = "twd:pip:0") {
    return AgentDialogueLine{std::move(text), AgentDialogueTone::proud, std::nullopt,
                             AgentDialogueGenerator::template_, std::move(key)};
}

// "t" + number, by appending: GCC 12 at -O3 raises a false -Wrestrict on
// `"t" + std::to_string(n)` in some loops.
inline std::string numbered(std::string_view prefix, long long n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

// A fresh, empty folder under the test output directory.
inline std::filesystem::path scratchDirectory(const std::string& name) {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    std::filesystem::path dir = std::filesystem::path(root ? root : "/tmp") / "dialogue" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A generator the test drives by hand: calls wait until answered, oldest first.
class ScriptedGenerator final : public FleaDialogueGenerator {
   public:
    FleaDialogueAvailability availabilityValue = FleaDialogueAvailability::available;
    std::optional<GenerationOutcome> immediate;  // answer at once when set
    std::vector<DialogueRequest> requests;

    void availability(AvailabilityCompletion done) override { done(availabilityValue); }
    void generate(DialogueRequest request, LineCompletion done) override {
        requests.push_back(request);
        if (immediate)
            done(*immediate);
        else
            pending_.push_back(std::move(done));
    }
    std::size_t pendingCount() const { return pending_.size(); }
    void answer(GenerationOutcome outcome) {
        auto done = std::move(pending_.front());
        pending_.pop_front();
        done(std::move(outcome));
    }

   private:
    std::deque<LineCompletion> pending_;
};

}  // namespace tw::testing
