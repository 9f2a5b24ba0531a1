#pragma once
// A language model that answers one structured value per call: given instructions, a
// prompt and a JSON schema, it answers a JSON object shaped by that schema, or fails
// with a text that says why. No history carries over from one call to the next.
#include <functional>
#include <optional>
#include <string>

#include "platform/json.h"

namespace tw {

struct LanguageModelRequest {
    std::string instructions;
    std::string prompt;
    std::string schemaName;
    OrderedJson schema;  // a JSON schema object; property order is kept
    bool includeSchemaInPrompt = true;
};

struct LanguageModelResult {
    // The answer object on success; absent on failure.
    std::optional<OrderedJson> content;
    // The failure's description when there is no content.
    std::string errorDescription;

    static LanguageModelResult answer(OrderedJson value) { return {std::move(value), {}}; }
    static LanguageModelResult failure(std::string description) {
        return {std::nullopt, std::move(description)};
    }
};

// Failure descriptions of a prompt that does not fit the model's context contain this.
inline constexpr const char* kExceededContextWindow = "exceededContextWindow";

class LanguageModel {
   public:
    using Completion = std::function<void(LanguageModelResult)>;
    virtual ~LanguageModel() = default;
    // The completion runs exactly once, on any thread (possibly before respond returns).
    virtual void respond(LanguageModelRequest request, Completion completion) = 0;
};

}  // namespace tw
