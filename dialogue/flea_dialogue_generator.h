#pragma once
// What every line source of the dialogue router has in common: its availability, the
// error it reports when it got no usable line, and the router's answer and reasons.
//
// Service objects here run one operation at a time on their own SerialExecutor and
// report through completions. A completion runs exactly once, on the callee's
// executor thread; a caller with state of its own hops back onto its own executor.
#include <array>
#include <exception>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "agent/dialogue_records.h"
#include "platform/raw_enum.h"

namespace tw {

enum class FleaDialogueAvailability { available, unavailable, loading };

template <>
struct RawEnumCases<FleaDialogueAvailability> {
    static constexpr std::array<std::pair<FleaDialogueAvailability, std::string_view>, 3> table{{
        {FleaDialogueAvailability::available, "available"},
        {FleaDialogueAvailability::unavailable, "unavailable"},
        {FleaDialogueAvailability::loading, "loading"},
    }};
};

// Why a line came from where it came from.
enum class FleaDialogueFallbackReason {
    llmUnavailable,
    llmThrewError,
    llmInvalidJSON,
    llmBannedWord,
    llmTimedOut,
    forcedByDevTools,
    noFallbackNeeded,
};

template <>
struct RawEnumCases<FleaDialogueFallbackReason> {
    static constexpr std::array<std::pair<FleaDialogueFallbackReason, std::string_view>, 7> table{{
        {FleaDialogueFallbackReason::llmUnavailable, "llmUnavailable"},
        {FleaDialogueFallbackReason::llmThrewError, "llmThrewError"},
        {FleaDialogueFallbackReason::llmInvalidJSON, "llmInvalidJSON"},
        {FleaDialogueFallbackReason::llmBannedWord, "llmBannedWord"},
        {FleaDialogueFallbackReason::llmTimedOut, "llmTimedOut"},
        {FleaDialogueFallbackReason::forcedByDevTools, "forcedByDevTools"},
        {FleaDialogueFallbackReason::noFallbackNeeded, "noFallbackNeeded"},
    }};
};

// A generator that got no usable line. Thrown (inside an exception_ptr) through
// GenerationOutcome so the router can tell it from any other failure.
struct DialogueGenerationError {
    enum class Kind { invalidJSON, bannedWord, contextWindow, providerError };
    Kind kind = Kind::providerError;

    FleaDialogueFallbackReason fallbackReason() const {
        switch (kind) {
            case Kind::invalidJSON:
                return FleaDialogueFallbackReason::llmInvalidJSON;
            case Kind::bannedWord:
                return FleaDialogueFallbackReason::llmBannedWord;
            case Kind::contextWindow:
            case Kind::providerError:
                break;
        }
        return FleaDialogueFallbackReason::llmThrewError;
    }

    friend bool operator==(const DialogueGenerationError&, const DialogueGenerationError&) = default;
};

// The answer of one generate call: a line, or the error that took its place.
struct GenerationOutcome {
    std::optional<AgentDialogueLine> line;
    std::exception_ptr error;  // set exactly when `line` is absent

    static GenerationOutcome success(AgentDialogueLine value) { return {std::move(value), nullptr}; }
    static GenerationOutcome failure(std::exception_ptr e) { return {std::nullopt, std::move(e)}; }
    static GenerationOutcome failure(DialogueGenerationError e) {
        return failure(std::make_exception_ptr(e));
    }
    // The generation error inside `error`, if that is what it holds.
    std::optional<DialogueGenerationError> generationError() const {
        if (!error) return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const DialogueGenerationError& e) {
            return e;
        } catch (...) {
        }
        return std::nullopt;
    }
};

// The answer of the router.
struct FleaDialogueResult {
    AgentDialogueLine line;
    FleaDialogueFallbackReason fallbackReason = FleaDialogueFallbackReason::noFallbackNeeded;
    bool cacheHit = false;

    friend bool operator==(const FleaDialogueResult&, const FleaDialogueResult&) = default;
};

// A line source.
class FleaDialogueGenerator {
   public:
    using AvailabilityCompletion = std::function<void(FleaDialogueAvailability)>;
    using LineCompletion = std::function<void(GenerationOutcome)>;

    virtual ~FleaDialogueGenerator() = default;
    virtual void availability(AvailabilityCompletion done) = 0;
    virtual void generate(DialogueRequest request, LineCompletion done) = 0;
};

}  // namespace tw
