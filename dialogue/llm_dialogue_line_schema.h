#pragma once
// The structured answer asked of the language model for one dialogue line.
#include <optional>
#include <string>

#include "platform/json.h"

namespace tw {

struct LLMDialogueLineSchema {
    static constexpr const char* name = "LLMDialogueLineSchema";

    std::string text;
    std::string tone;
    std::optional<std::string> refers_to_memory_id;
    std::string generated_by;
    std::string cache_key;

    // The five properties, in order, each with the description the model is given.
    static const OrderedJson& generationSchema();

    OrderedJson toJson() const;  // refers_to_memory_id left out when absent
    // Strict: throws JsonDecodeError on a missing or mistyped field (null reads as absent
    // for refers_to_memory_id only).
    static LLMDialogueLineSchema fromJson(const JsonReader& reader);

    friend bool operator==(const LLMDialogueLineSchema&, const LLMDialogueLineSchema&) = default;
};

}  // namespace tw
