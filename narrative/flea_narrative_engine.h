#pragma once
// The narrative engine: turns each event a flea lives through into an interpretation,
// love statistics, pair bonds, a memory, canned lines, a diary sentence and, now and
// then, a troupe myth, all inside the caller's FleaNarrativeState. The engine keeps
// nothing between calls; it only holds what it needs from outside (clock, calendar,
// where the latest thought goes).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "narrative/flea_narrative_state.h"
#include "narrative/interpretation_records.h"
#include "narrative/narrative_event_record.h"
#include "narrative/narrative_result_records.h"
#include "platform/calendar.h"
#include "platform/clock.h"

namespace tw {

// Where the latest thought of a processed event goes (the agent pulse in the app).
using AgentThoughtRecorder = std::function<void(const std::string& line, const std::string& fleaName, Date at,
                                                const Calendar& calendar)>;

class FleaNarrativeEngine {
   public:
    static constexpr std::size_t maxRecentEvents = 30;
    static constexpr std::size_t maxMemories = 80;
    static constexpr std::size_t maxDiarySentencesPerDay = 12;
    static constexpr std::size_t maxConversations = 20;

    // The wall clock, the user's calendar and no thought recorder.
    FleaNarrativeEngine();
    // `clock` must outlive the engine.
    FleaNarrativeEngine(const Clock& clock, Calendar calendar, AgentThoughtRecorder recordThought = nullptr);

    // The engine the agent host keeps; main thread only. The host plugs in the pulse.
    static FleaNarrativeEngine& shared();
    void setThoughtRecorder(AgentThoughtRecorder recordThought) { recordThought_ = std::move(recordThought); }

    // The one entry: runs every stage in order on `state` and reports what the event meant.
    FleaNarrativeResult process(const TumblewickEventRecord& event, FleaNarrativeState& state) const;

    // Holds a three-line scripted conversation, records it and warms the pair's bond.
    // `seed` is accepted for callers that pass one; the canned lines do not depend on it.
    FleaConversationExchange triggerConversation(const FleaReference& primary, const FleaReference& partner,
                                                 FleaNarrativeState& state, const std::string& setting = "",
                                                 std::uint64_t seed = 0) const;

    // --- Stages of process(), exposed so each can be checked on its own. ---

    // Pure: reads the event, the current tuning and the state's recent events.
    static FleaInterpretation interpret(const TumblewickEventRecord& event, const FleaNarrativeState& state);
    // Ages an importance by 5% per 30 days; never raises it for a creation time in the future.
    static double decayedImportance(double original, Date createdAt, Date now);

    static FleaLoveStats statsFor(const FleaReference& flea, const FleaNarrativeState& state);
    static void store(const FleaLoveStats& stats, const FleaReference& flea, FleaNarrativeState& state);

    // Both fleas' id texts (or names), sorted and joined with "::".
    static std::string relationshipKey(const FleaReference& a, const FleaReference& b);
    void updatePairBonds(const TumblewickEventRecord& event, const FleaInterpretation& interpretation,
                         FleaNarrativeState& state) const;

    std::optional<FleaMemory> makeMemoryCandidate(const TumblewickEventRecord& event,
                                                  const FleaInterpretation& interpretation) const;
    static void evolveMemories(const FleaMemory& added, FleaNarrativeState& state);
    static std::vector<FleaMemory> prunedMemories(std::vector<FleaMemory> memories);

    static FleaDialogue generateDialogue(const TumblewickEventRecord& event,
                                         const FleaInterpretation& interpretation,
                                         const std::optional<FleaMemory>& memory);
    static void store(const FleaDialogue& dialogue, const FleaReference& flea, FleaNarrativeState& state);

    // Files a sentence under its day in `calendar`'s zone; returns the day key, or "" when the
    // sentence is blank or the moment lies on no day. Defaults: now, in the user's calendar.
    static std::string appendDiarySentence(const std::string& sentence, FleaNarrativeState& state,
                                           Date at = SystemClock().now(),
                                           const Calendar& calendar = Calendar());
    static std::string diaryVerb(FleaOutcome outcome);

    static void promoteTroupeMythIfReady(const TumblewickEventRecord& event, FleaNarrativeState& state);

   private:
    // Drops entries from the front until at most `cap` remain (the oldest go first).
    template <typename T>
    static void keepLast(std::vector<T>& list, std::size_t cap) {
        if (list.size() > cap) list.erase(list.begin(), list.end() - static_cast<std::ptrdiff_t>(cap));
    }
    // The pair's bond (a new one at 0.2 when the pair has none yet), with `delta` added to its
    // affection within 0..1, stamped `at` and counted once more. The caller sets its line.
    FleaPairBond& touchedBond(const std::string& key, double delta, Date at, FleaNarrativeState& state) const;
    static std::string fileDiarySentence(std::string trimmed, std::string dayKey, FleaNarrativeState& state);

    static double importance(const TumblewickEventRecord& event, const std::vector<FleaOutcome>& outcomes,
                             const FleaNarrativeState& state);

    const Clock* clock_;
    Calendar calendar_;
    AgentThoughtRecorder recordThought_;
};

}  // namespace tw
